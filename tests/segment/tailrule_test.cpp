// Where a reading stops, over synthetic sample lists: L = loud, . = silent.
#include <gtest/gtest.h>

#include <string>

#include "segment/tailrule.h"

using vorel::segment::ColumnMsOf;
using vorel::segment::ReadingStopMs;
using vorel::segment::TStrings;

namespace {

// One column per character: '.' 0, 'L' 5000, 'q' -1800 (exactly the level), 'p'
// 1799 (just under it); room noise 'n' 200 and 'm' 260; a fading sentence 'd'
// 900; a soft onset rising 'r' 320, 's' 450, 'S' 700.
TStrings columns(const std::string &pattern) {
    TStrings out;
    for (const char c : pattern)
        out.push_back(c == 'L'   ? "5000"
                      : c == 'q' ? "-1800"
                      : c == 'p' ? "1799"
                      : c == 'n' ? "200"
                      : c == 'm' ? "260"
                      : c == 'd' ? "900"
                      : c == 'r' ? "320"
                      : c == 's' ? "450"
                      : c == 'S' ? "700"
                                 : "0");
    return out;
}

} // namespace

TEST(TailRule, Cases) {
    struct Case {
        const char *what;
        std::string pattern; // column 10 begins at 400 ms
        int32_t endMs;
        double columnMs;
        int32_t stop;
    };
    const std::vector<Case> cases = {
        {"silence for the whole tail", "LLLLLLLLLL......LLLL", 400, 40, 500},
        {"sound in the column at the end", "LLLLLLLLLLLLLL", 400, 40, 400},
        {"sound in the third column after", "LLLLLLLLLL..LLLL", 400, 40, 480},
        {"column at end + 100 is past the tail", "LLLLLLLLLL...L", 420, 40, 520},
        {"end inside the loud column: never before the end", "LLLLLLLLLLLLLL", 410, 40, 410},
        {"end inside a silent column", "LLLLLLLLLL.LLL", 410, 40, 440},
        {"exactly the level is sound", "LLLLLLLLLL.q..", 400, 40, 440},
        {"just under the level after digital silence is an onset", "LLLLLLLLLL.p..LL", 400, 40, 440},
        {"just under the level, not rising, is no onset", "LLLLLLLLLLpp..LL", 400, 40, 500},
        {"room noise over the whole tail keeps it", "LLLLLLLLLLnmnmnmLL", 400, 40, 500},
        {"a soft onset under the level after room noise", "LLLLLLLLLLnnsLLL", 400, 40, 480},
        {"a sentence fading into the tail is no onset", "LLLLLLLLLLdnnnnnLL", 400, 40, 500},
        {"a rise over two columns stops where it began", "LLLLLLLLLLnrSLL", 400, 40, 440},
        {"tail past the last column", "LLLLLLLLLL", 400, 40, 500},
        {"end before the recording", "LLLL", -50, 40, 50},
        // Columns of 40.5 ms: column 12 begins at 486 ms, not 480.
        {"long columns", "LLLLLLLLLL..LLLL", 405, 40.5, 486},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ReadingStopMs(columns(c.pattern), 1800, c.endMs, c.columnMs), c.stop) << c.what;
    EXPECT_EQ(ReadingStopMs(columns("LL...L"), 6000, 40, 40), 140) << "a higher level hears no sound";
    EXPECT_EQ(ReadingStopMs({}, 1800, INT32_MAX - 10, 40), INT32_MAX) << "no overflow";
}

TEST(TailRule, ColumnLength) {
    vorel::audio::TChannelInfo info;
    EXPECT_EQ(ColumnMsOf(info), 40) << "no audio";
    // 60 s of 44.1 kHz 16-bit stereo: 1498 blocks of 7064 bytes, 40.045 ms each.
    info.duration = 60000;
    info.byteLength = 60 * 44100 * 4;
    info.sampleRate = 44100;
    info.channels = 2;
    info.bitsPerSample = 16;
    EXPECT_NEAR(ColumnMsOf(info), 7064 / 176.4, 1e-9);
    info.channels = 1;
    info.byteLength /= 2;
    EXPECT_NEAR(ColumnMsOf(info), (5292000 / 1498 & ~3) / 88.2, 1e-9);
}
