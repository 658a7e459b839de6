#include "sentencesplitter.h"

#include <algorithm>
#include <set>

#include "utf8.h"

namespace vorel::align {

namespace {

using TCodes = std::u32string;

bool isSpace(char32_t c) { return c == ' ' || c == '\t' || c == 0xA0 || c == 0x3000 || c == 0x202F || c == 0x2009; }

bool isCjkTerminator(char32_t c) { return c == U'。' || c == U'？' || c == U'！' || c == U'．'; }

bool isTerminator(char32_t c) { return c == '.' || c == '?' || c == '!' || c == U'…' || isCjkTerminator(c); }

bool isCloser(char32_t c) {
    switch (c) {
    case '"': case '\'': case ')': case ']': case '}': case U'”': case U'’': case U'»': case U'」': case U'』':
    case U'》': case U'）': case U'〉': case U'】': case U'〕':
        return true;
    default:
        return false;
    }
}

bool isLetter(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) ||
           (c >= 0x370 && c <= 0x52F) || (c >= 0x1E00 && c <= 0x1EFF) || IsCjk(c);
}

// Lower case in the Latin, Greek and Cyrillic letters that texts use. Latin
// Extended-A pairs capital and small as even and odd, except in two runs that
// start on an odd code (Ĺ..ň, Ź..ž): a sentence of Czech or Polish may begin
// with Ž, Ł or Ź.
bool isLower(char32_t c) {
    if (c >= 'a' && c <= 'z')
        return true;
    if (c >= 0xDF && c <= 0xFF)
        return c != 0xF7;
    if (c == 0x138 || c == 0x149 || c == 0x17F) // ĸ, ŉ, ſ
        return true;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return c % 2 == 0;
    if (c >= 0x100 && c <= 0x177)
        return c % 2 == 1;
    if (c >= 0x1CD && c <= 0x1DC) // pinyin's ǎ ǐ ǒ ǔ ǖ ǘ ǚ ǜ
        return c % 2 == 0;
    if ((c >= 0x200 && c <= 0x233) || (c >= 0x1E00 && c <= 0x1EFF)) // ș ț; Vietnamese
        return c % 2 == 1;
    return (c >= 0x3AC && c <= 0x3CE) || (c >= 0x430 && c <= 0x45F);
}

bool isDigit(char32_t c) { return c >= '0' && c <= '9'; }

// Words after which a full stop never ends the sentence: titles and the like,
// which stand before a name or a phrase. Words that may end a sentence ("etc.")
// are left out: the case of the next word decides for them.
const std::set<std::string> &titleAbbreviations() {
    static const std::set<std::string> words{
        // English
        "mr", "mrs", "ms", "dr", "prof", "st", "mt", "messrs", "vs", "cf", "approx", "e.g", "i.e", "gen", "col",
        "capt", "lt", "sgt", "rev", "hon", "gov", "sen", "rep",
        // French
        "m", "mme", "mmes", "mlle", "mlles", "me", "pr", "ste", "p.ex",
        // Spanish
        "sr", "sra", "srta", "sres", "dra", "ud", "uds", "vd", "vds", "p.ej", "lic", "ing",
        // German
        "z.b", "d.h", "u.a", "bzw", "vgl", "ca", "hr", "fr", "str", "evtl", "ggf", "inkl", "z.t", "s.o", "s.u"};
    return words;
}

// Words that stand before a number: "No. 5", "S. 12".
const std::set<std::string> &numberAbbreviations() {
    static const std::set<std::string> words{"no", "nr", "núm", "fig", "vol", "ch", "p", "pp", "art", "s", "n°", "bd",
                                             "abs"};
    return words;
}

std::string lowerAscii(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The word that ends just before position end: letters and inner full stops.
TCodes wordBefore(const TCodes &p, size_t end) {
    size_t b = end;
    while (b > 0 && (isLetter(p[b - 1]) || p[b - 1] == '.' || p[b - 1] == U'°' || isDigit(p[b - 1])))
        --b;
    while (b < end && p[b] == '.')
        ++b;
    return p.substr(b, end - b);
}

bool allDigits(const TCodes &w) { return !w.empty() && std::all_of(w.begin(), w.end(), isDigit); }

struct TRules {
    bool german = false;
};

// Whether the terminator group p[i, j) ends a sentence; next is the first
// character after it that is not a space (0 at the end).
bool endsSentence(const TCodes &p, size_t i, size_t j, char32_t next, const TRules &rules) {
    bool cjk = false;
    for (size_t k = i; k < j; ++k)
        cjk = cjk || isCjkTerminator(p[k]);
    if (cjk)
        return true;
    if (j < p.size() && !isSpace(p[j]) && !IsCjk(p[j]))
        return false; // "3.14", "U.S.A", "www.example"
    if (next == 0)
        return true;
    if (isLower(next))
        return false; // "e.g. this", "Wait... what", "« Oui ! » dit-il"
    const bool singleStop = j == i + 1 && p[i] == '.';
    if (!singleStop)
        return true;
    const TCodes word = wordBefore(p, i);
    const std::string w = lowerAscii(ToUtf8(word));
    if (titleAbbreviations().count(w))
        return false;
    if (isDigit(next) && numberAbbreviations().count(w))
        return false;
    const size_t at = i - word.size();
    const bool elided = at > 0 && (p[at - 1] == '\'' || p[at - 1] == U'’'); // "Paul's."
    if (word.size() == 1 && isLetter(word[0]) && !IsCjk(word[0]) && !elided)
        return false; // an initial or a part of one: "J. K. Rowling", "z. B."
    if (rules.german && allDigits(word) && word.size() <= 2)
        return false; // an ordinal: "am 3. Oktober"
    return true;
}

bool hasWords(const TCodes &s) { return std::any_of(s.begin(), s.end(), [](char32_t c) { return isLetter(c) || isDigit(c); }); }

TCodes trimmed(const TCodes &s) {
    size_t b = 0, e = s.size();
    while (b < e && isSpace(s[b]))
        ++b;
    while (e > b && isSpace(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

void splitParagraph(const TCodes &p, int paragraph, bool heading, const TRules &rules,
                    std::vector<TSentence> &out) {
    size_t start = 0;
    auto emit = [&](size_t end) {
        const TCodes s = trimmed(p.substr(start, end - start));
        if (hasWords(s))
            out.push_back({ToUtf8(s), paragraph, heading});
        start = end;
    };
    for (size_t i = 0; i < p.size();) {
        if (!isTerminator(p[i])) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < p.size() && isTerminator(p[j]))
            ++j;
        for (;;) {
            if (j < p.size() && isCloser(p[j])) {
                ++j;
                continue;
            }
            // French spacing: "Bonjour ! »"
            size_t k = j;
            while (k < p.size() && isSpace(p[k]))
                ++k;
            if (k > j && k < p.size() && p[k] == U'»') {
                j = k + 1;
                continue;
            }
            break;
        }
        size_t k = j;
        while (k < p.size() && isSpace(p[k]))
            ++k;
        if (endsSentence(p, i, j, k < p.size() ? p[k] : 0, rules))
            emit(j);
        i = j;
    }
    emit(p.size());
}

} // namespace

std::vector<TSentence> SplitSentences(std::string_view text, const std::string &lang) {
    std::vector<TCodes> lines;
    {
        const TCodes all = FromUtf8(text);
        TCodes line;
        for (size_t i = 0; i < all.size(); ++i) {
            const char32_t c = all[i];
            if (c == '\r' || c == '\n' || c == 0x2029) {
                if (c == '\r' && i + 1 < all.size() && all[i + 1] == '\n')
                    ++i;
                lines.push_back(trimmed(line));
                line.clear();
            } else if (c == 0xFEFF) {
                continue;
            } else {
                line += c == '\t' ? U' ' : c;
            }
        }
        lines.push_back(trimmed(line));
    }
    // Hard-wrapped text: most lines are long, and a line break is only a space.
    size_t nonBlank = 0, longLines = 0;
    for (const TCodes &l : lines)
        if (!l.empty()) {
            ++nonBlank;
            longLines += l.size() >= 50 ? 1 : 0;
        }
    const bool wrapped = nonBlank >= 3 && longLines * 2 > nonBlank;

    TRules rules;
    rules.german = lang == "de";
    std::vector<TSentence> out;
    int paragraph = 0;
    TCodes para;
    int paraLines = 0;
    auto flush = [&] {
        if (paraLines == 0)
            return;
        const bool heading = paraLines == 1 && para.size() <= 60 && !isTerminator(para.back()) &&
                             !(isCloser(para.back()) && para.size() > 1 && isTerminator(para[para.size() - 2]));
        const size_t before = out.size();
        splitParagraph(para, paragraph, heading, rules, out);
        if (out.size() > before)
            ++paragraph;
        para.clear();
        paraLines = 0;
    };
    for (const TCodes &l : lines) {
        if (l.empty()) {
            flush();
            continue;
        }
        if (paraLines > 0) {
            if (!wrapped) {
                flush();
            } else if (!(IsCjk(para.back()) && IsCjk(l.front()))) {
                para += U' ';
            }
        }
        para += l;
        ++paraLines;
    }
    flush();
    // Runs of spaces inside a sentence become one.
    for (TSentence &s : out) {
        std::string t;
        for (const char c : s.Text)
            if (!(c == ' ' && !t.empty() && t.back() == ' '))
                t += c;
        s.Text = t;
    }
    return out;
}

} // namespace vorel::align
