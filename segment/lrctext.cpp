#include "lrctext.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace vorel::segment {

TStrings SplitTextLines(std::string_view text, const TStopFlag *stop) {
    // A NUL (a damaged or padded file) is no text, and nothing after it is lost.
    std::string kept;
    if (text.find('\0') != std::string_view::npos) {
        kept.reserve(text.size());
        for (const char c : text)
            if (c != '\0')
                kept += c;
        text = kept;
    }
    std::string_view bytes = text;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);

    TStrings lines;
    size_t start = 0;
    while (start < bytes.size()) {
        if (lines.size() % 65536 == 0)
            StopIfAsked(stop);
        size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(bytes.substr(start));
            break;
        }
        lines.emplace_back(bytes.substr(start, end - start));
        if (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

bool IsValidUtf8(std::string_view s) {
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i < len)
            return false;
        for (size_t k = 1; k < len; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF.
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

namespace {

class Converter {
public:
    Converter() : cd_(iconv_open("UTF-8", "GBK")) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd_);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

constexpr const char *Replacement = "\xEF\xBF\xBD";

} // namespace

void AppendUtf8(std::string &out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Utf16ToUtf8(std::string_view bytes) {
    const bool le = bytes.substr(0, 2) == "\xFF\xFE";
    const bool be = bytes.substr(0, 2) == "\xFE\xFF";
    if (!le && !be)
        return std::string(bytes);
    const auto unit = [&](size_t i) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<uint32_t>(le ? a | (b << 8) : (a << 8) | b);
    };
    std::string out;
    out.reserve(bytes.size());
    // A trailing odd byte is no code unit.
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            const uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
    }
    return out;
}

std::string TextToUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    return GbkToUtf8(bytes);
}

bool IsGbkFile(const TStrings &lines) {
    size_t utf8 = 0, other = 0;
    for (const std::string &line : lines) {
        if (std::all_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            continue;
        ++(IsValidUtf8(line) ? utf8 : other);
    }
    return other > utf8;
}

void LinesToUtf8(TStrings &lines) {
    const bool gbk = IsGbkFile(lines);
    for (std::string &line : lines)
        if (!std::all_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            line = gbk ? GbkToUtf8(line) : TextToUtf8(line); // ASCII reads the same in both
}

bool Utf8ToGbk(std::string_view text, std::string &out) {
    out.clear();
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string in(text);
    char *inPtr = in.data();
    size_t inLeft = in.size();
    char buf[256];
    bool ok = true;
    while (inLeft > 0 && ok) {
        char *outPtr = buf;
        size_t outLeft = sizeof buf;
        const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buf, static_cast<size_t>(outPtr - buf));
        ok = rc != static_cast<size_t>(-1) || errno == E2BIG;
    }
    iconv_close(cd);
    return ok;
}

std::string GbkToUtf8(std::string_view bytes) {
    // Opening a conversion loads its tables: once per thread, not once per line.
    thread_local Converter conv;
    std::string out;
    if (!conv.ok()) {
        // No GBK table installed: keep ASCII, mark the rest.
        for (const char c : bytes)
            out += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : std::string(Replacement);
        return out;
    }
    iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
    std::string in(bytes);
    char *inPtr = in.data();
    size_t inLeft = in.size();
    char buf[256];
    while (inLeft > 0) {
        char *outPtr = buf;
        size_t outLeft = sizeof buf;
        const size_t rc = iconv(conv.get(), &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buf, static_cast<size_t>(outPtr - buf));
        if (rc == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or a truncated sequence at the end: skip one byte.
            out += Replacement;
            ++inPtr;
            --inLeft;
            iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

} // namespace vorel::segment
