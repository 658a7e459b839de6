#include "testfiles.h"
#include "textcap.h"
#include "trace.h"

#include <gtest/gtest.h>

#include <regex>

// Tests and tools split trace lines on tabs and newlines: a detail never adds fields.
TEST(Trace, OneLinePerEventOfThreeFields) {
    vorel::test::TempDir t;
    const std::string path = t.file("trace");
    vorel::test::writeText(path, "earlier\n"); // appended to, never truncated
    setenv("VORELPLAY_TRACE", path.c_str(), 1);
    vorel::app::TraceStart();
    unsetenv("VORELPLAY_TRACE");
    ASSERT_TRUE(vorel::app::TraceEnabled());
    vorel::app::Trace("error", "第一行\n第二行\tend\r");
    vorel::app::Trace("status", "");
    const std::string huge(50 << 20, 'x'); // one cue of 50 MB: a line of its first characters
    vorel::app::Trace("text", huge);
    vorel::app::Trace("break", std::string(5000, '7')); // the program's own list stays whole
    const std::vector<uint8_t> bytes = vorel::test::readFile(path); // flushed at once
    const std::string text(bytes.begin(), bytes.end());
    const size_t last = text.rfind('\n', text.size() - 2) + 1;
    EXPECT_TRUE(std::regex_match(text.substr(0, last), std::regex("earlier\n[0-9]+\terror\t第一行 第二行 end \n[0-9]+\tstatus\t\n[0-9]+\ttext\tx{2000}…\n")))
        << text.substr(0, 300);
    EXPECT_EQ(text.substr(text.find('\t', last)), "\tbreak\t" + std::string(5000, '7') + "\n");
}

TEST(TextCap, CutsAtACharacterWithAnEllipsis) {
    const struct {
        std::string text;
        size_t cap;
        std::string expected;
    } cases[] = {
        {"short", 5, "short"},
        {"longer", 5, "longe…"},
        {"第一句话", 2, "第一…"},         // three bytes a character
        {"a😀b", 2, "a😀…"},              // four bytes
        {"\xC3\xA9\xA9x", 1, "\xC3\xA9\xA9…"}, // a stray continuation byte stays with its character
        {"", 0, ""},
        {"x", 0, "…"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vorel::app::CapText(c.text, c.cap), c.expected) << c.text << " " << c.cap;
}
