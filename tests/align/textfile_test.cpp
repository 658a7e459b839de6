#include <gtest/gtest.h>

#include "align/textfile.h"

using namespace vorel::align;

TEST(TextFile, Decoding) {
    const struct {
        const char *name;
        std::string bytes;
        std::string text;
    } cases[] = {
        {"utf-8", "caf\xC3\xA9 \xE4\xBD\xA0\xE5\xA5\xBD", "café 你好"},
        {"utf-8 with BOM", "\xEF\xBB\xBFHi.", "Hi."},
        {"gbk", "\xC4\xE3\xBA\xC3\xA1\xA3", "你好。"},
        {"utf-16 LE with BOM", std::string("\xFF\xFE\x60\x4F\x7D\x59\x2E\x00", 8), "你好."},
        {"utf-16 BE with BOM", std::string("\xFE\xFF\x4F\x60\x59\x7D\x00\x2E", 8), "你好."},
        {"empty", "", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DecodeText(c.bytes), c.text) << c.name;
}

TEST(TextFile, Language) {
    const struct {
        const char *text, *voice;
    } cases[] = {
        {"The cat sat on the mat and it was happy with the day.", "en"},
        {"Le chat est dans la maison et il ne veut pas sortir pour le moment.", "fr"},
        {"El perro está en la casa y no quiere salir por la puerta con los niños.", "es"},
        {"Der Hund ist nicht im Haus und die Katze ist auf dem Dach mit den Vögeln.", "de"},
        {"Il gatto è sul tetto e non vuole scendere per la cena con gli amici.", "it"},
        {"我们今天去公园散步。", "cmn"},
        {"今日はいい天気ですね。私は学校に行きます。", "ja"},
        {"안녕하세요. 만나서 반갑습니다.", "ko"},
        {"Привет, как дела? Всё хорошо.", "ru"},
        {"12345 ...", "en"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DetectLanguage(c.text), c.voice) << c.text;
}

TEST(TextFile, CompanionName) {
    EXPECT_EQ(TextFileFor("/a/b/lesson.mp3"), "/a/b/lesson.txt");
    EXPECT_EQ(TextFileFor("/a/b.c/lesson"), "/a/b.c/lesson.txt");
}
