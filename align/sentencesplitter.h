// Plain text to sentences: where a reader of the text would pause. Pure rules over
// UTF-8; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vorel::align {

struct TSentence {
    std::string Text;      // UTF-8, whitespace runs made one space (none between CJK)
    int Paragraph = 0;     // 0-based paragraph of the text it came from
    bool Heading = false;  // a paragraph of one line without closing punctuation: a
                           // title the recording may or may not speak
};

// Splits at . ? ! … 。？！ and at paragraph breaks. Closing quotes and brackets
// stay with their sentence; no split after a listed abbreviation, an initial, inside
// a number, or where the next word begins in lower case. A blank line always ends a
// paragraph; a single line break does too unless the text is hard-wrapped (most of
// its lines long), where it is a space. lang ("en", "fr", "de", ...) adds that
// language's abbreviations and, for German, ordinals ("am 3. Mai"); empty: all.
std::vector<TSentence> SplitSentences(std::string_view text, const std::string &lang = "");

} // namespace vorel::align
