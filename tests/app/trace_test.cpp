#include "testfiles.h"
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
    const std::vector<uint8_t> bytes = vorel::test::readFile(path); // flushed at once
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_TRUE(std::regex_match(text, std::regex("earlier\n[0-9]+\terror\t第一行 第二行 end \n[0-9]+\tstatus\t\n")))
        << text;
}
