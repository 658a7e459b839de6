// A transcript file's bytes to UTF-8 text, and the language the text is in. Any
// thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorel::align {

// Larger transcripts are refused: a ten-hour book is a few megabytes.
inline constexpr int64_t MaxTextFileBytes = 64ll << 20;

// UTF-8 (a byte-order mark dropped) when the bytes are valid UTF-8, UTF-16 when
// they begin with its byte-order mark, else GBK (bytes GBK cannot decode become
// U+FFFD).
std::string DecodeText(std::string_view bytes);

// DecodeText of the file. Throws std::runtime_error with a message for the user
// when it cannot be read or is larger than MaxTextFileBytes.
std::string ReadTextFile(const std::string &path);

// The audio path with its last extension replaced by ".txt".
std::string TextFileFor(const std::string &audioPath);

// The eSpeak NG voice for the text: from its script (Han "cmn", kana "ja", Hangul
// "ko", Cyrillic "ru", Greek "el", Arabic "ar"), for Latin script from its most
// frequent words ("en", "fr", "es", "de", "it", "pt", "nl"); "en" when nothing
// decides.
std::string DetectLanguage(std::string_view utf8);

} // namespace vorel::align
