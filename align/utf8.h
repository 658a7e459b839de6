// Code points of UTF-8 text, for the rules that look at characters. Any thread.
#pragma once

#include <string>
#include <string_view>

namespace vorel::align {

// Invalid sequences become U+FFFD, one per byte.
std::u32string FromUtf8(std::string_view s);
std::string ToUtf8(std::u32string_view s);

// Han, kana, CJK punctuation and full-width forms: text written without spaces.
inline bool IsCjk(char32_t c) {
    return (c >= 0x3000 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF) ||
           (c >= 0x20000 && c <= 0x2FFFF);
}

} // namespace vorel::align
