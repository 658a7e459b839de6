#include "textfile.h"

#include <array>
#include <fstream>
#include <map>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "breakpointfile.h"
#include "lrctext.h"
#include "utf8.h"

namespace vorel::align {

std::string DecodeText(std::string_view bytes) {
    const auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && ((at(0) == 0xFF && at(1) == 0xFE) || (at(0) == 0xFE && at(1) == 0xFF)))
        return segment::Utf16ToUtf8(bytes);
    if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF)
        bytes.remove_prefix(3);
    return segment::TextToUtf8(bytes);
}

std::string ReadTextFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("不能打开文本文件" + path);
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0)
        throw std::runtime_error("不能读取文本文件" + path);
    if (size > MaxTextFileBytes)
        throw std::runtime_error("文本文件过大：" + path);
    in.seekg(0);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!in.read(bytes.data(), size))
        throw std::runtime_error("不能读取文本文件" + path);
    return DecodeText(bytes);
}

std::string TextFileFor(const std::string &audioPath) { return segment::CompanionFileFor(audioPath, ".txt"); }

namespace {

const std::map<std::string, std::vector<std::string>> &commonWords() {
    static const std::map<std::string, std::vector<std::string>> words{
        {"en", {"the", "and", "of", "to", "is", "that", "it", "was", "he", "for", "with", "you", "this", "are"}},
        {"fr", {"le", "les", "et", "des", "est", "une", "dans", "que", "il", "pas", "pour", "qui", "sur", "je"}},
        {"es", {"el", "los", "las", "que", "y", "es", "una", "por", "con", "para", "del", "se", "no", "muy"}},
        {"de", {"der", "die", "das", "und", "ist", "nicht", "ein", "eine", "ich", "zu", "mit", "sie", "den", "auf"}},
        {"it", {"il", "di", "che", "è", "non", "per", "sono", "della", "gli", "una", "con", "ho", "anche"}},
        {"pt", {"o", "os", "que", "não", "uma", "para", "com", "é", "do", "da", "em", "você", "muito"}},
        {"nl", {"het", "een", "en", "van", "ik", "niet", "dat", "is", "je", "op", "te", "zijn", "met"}},
    };
    return words;
}

} // namespace

std::string DetectLanguage(std::string_view utf8) {
    const std::u32string text = FromUtf8(utf8);
    int64_t han = 0, kana = 0, hangul = 0, cyrillic = 0, greek = 0, arabic = 0, latin = 0;
    for (const char32_t c : text) {
        if (c >= 0x4E00 && c <= 0x9FFF)
            ++han;
        else if (c >= 0x3040 && c <= 0x30FF)
            ++kana;
        else if (c >= 0xAC00 && c <= 0xD7AF)
            ++hangul;
        else if (c >= 0x400 && c <= 0x4FF)
            ++cyrillic;
        else if (c >= 0x370 && c <= 0x3FF)
            ++greek;
        else if (c >= 0x600 && c <= 0x6FF)
            ++arabic;
        else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0x24F))
            ++latin;
    }
    // Japanese writes Han with kana; a few kana in Chinese text are quotations.
    if (kana * 10 > han + kana && kana > 0)
        return "ja";
    const std::array<std::pair<int64_t, const char *>, 6> scripts{
        {{han, "cmn"}, {hangul, "ko"}, {cyrillic, "ru"}, {greek, "el"}, {arabic, "ar"}, {latin, ""}}};
    const auto *best = &scripts[5];
    for (const auto &s : scripts)
        if (s.first > best->first)
            best = &s;
    if (*best->second)
        return best->second;

    // Latin script: the language whose common words occur most often.
    std::unordered_map<std::string, int> counts;
    std::u32string word;
    auto take = [&] {
        if (!word.empty())
            ++counts[ToUtf8(word)];
        word.clear();
    };
    for (const char32_t c : text) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0x24F);
        if (!letter) {
            take();
            continue;
        }
        char32_t l = c;
        if (c >= 'A' && c <= 'Z')
            l = c - 'A' + 'a';
        else if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
            l = c + 0x20;
        word += l;
    }
    take();
    std::string lang = "en";
    int bestScore = 0;
    for (const auto &[code, list] : commonWords()) {
        int score = 0;
        for (const std::string &w : list)
            if (const auto it = counts.find(w); it != counts.end())
                score += it->second;
        if (score > bestScore) {
            bestScore = score;
            lang = code;
        }
    }
    return lang;
}

} // namespace vorel::align
