// A ten-hour audiobook opens at once: play works on the first sentence while the
// rest is still being sampled, and the load ends with the breakpoints that
// vorel-bench finds for the same file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "e2esupport.h"

using namespace vorel::test;

namespace {

// A minute of tone bursts between pauses, 128 kbit/s without a tag, joined 600
// times: ten hours of one MP3 stream.
std::string makeTenHours(const TempDir &dir) {
    std::vector<int16_t> pcm;
    for (int s = 0; s < 20; ++s) {
        append(pcm, tone(250 + 30 * (s % 9), 2.2, 44100, 2, 14000));
        append(pcm, silence(0.8, 44100, 2));
    }
    writeWav16(dir.file("minute.wav"), pcm, 44100, 2);
    if (!mustRun("lame --quiet -t -b 128 " + shellQuote(dir.file("minute.wav")) + " " +
                 shellQuote(dir.file("minute.mp3"))))
        return "";
    const std::vector<uint8_t> minute = readFile(dir.file("minute.mp3"));
    const std::string path = dir.file("book.mp3");
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 600; ++i)
        out.write(reinterpret_cast<const char *>(minute.data()), static_cast<std::streamsize>(minute.size()));
    return out ? path : "";
}

std::string benchBreakpoints(const std::string &file) {
    std::string line;
    if (FILE *p = popen((shellQuote(VOREL_BENCH) + " " + shellQuote(file)).c_str(), "r")) {
        char buf[1 << 16];
        while (std::fgets(buf, sizeof buf, p))
            line += buf;
        pclose(p);
    }
    const size_t from = line.find("\"breakpoints_ms\":[");
    if (from == std::string::npos)
        return "";
    const size_t start = from + 18, end = line.find(']', start);
    std::string list = line.substr(start, end - start);
    for (char &c : list)
        if (c == ',')
            c = ' ';
    return list;
}

} // namespace

TEST(LongLoadE2E, TenHoursPlayAtOnceAndEndAsTheBenchmarkDoes) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    const std::string book = makeTenHours(dir);
    ASSERT_FALSE(book.empty());
    {
        std::ifstream warm(book, std::ios::binary); // from the cache, as a file opened a second time
        std::vector<char> buf(1 << 20);
        while (warm.read(buf.data(), static_cast<std::streamsize>(buf.size())))
            ;
    }
    TVorelRun run(x, dir, shellQuote(book), true);
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // a learner's first click
    run.click(at::play.first, at::play.second);
    ASSERT_TRUE(run.waitFor("read", "", 10000)) << run.stderrText();
    long firstRead = -1;
    std::string detail;
    for (const TraceLine &l : run.trace())
        if (l.kind == "read" && firstRead < 0) {
            firstRead = l.ms;
            detail = l.detail;
        }
    EXPECT_EQ(detail.rfind("0 ", 0), 0u) << detail; // the first sentence, from its start
    EXPECT_EQ(run.count("load"), 0u) << "the load had ended before the first reading";

    ASSERT_TRUE(run.waitFor("load", "book.mp3", 240000)) << run.stderrText();
    // Play works at once, not after the load: measured on the program's own clock
    // against the load's length, which a busy machine stretches alike (the
    // wall-clock figure is vorel-bench's open_ms).
    long loaded = -1;
    for (const TraceLine &l : run.trace())
        if (l.kind == "load")
            loaded = l.ms;
    EXPECT_LT(firstRead * 10, loaded) << firstRead << " " << loaded;
    ASSERT_TRUE(run.waitFor("break", "", 5000)); // the list follows its load line
    std::string shown;
    for (const TraceLine &l : run.trace())
        if (l.kind == "break")
            shown = l.detail;
    const std::string benched = benchBreakpoints(book);
    EXPECT_GT(benched.size(), 10000u);
    // Ten hours of breakpoints: say where they part, not all of them.
    const auto parted = std::mismatch(shown.begin(), shown.end(), benched.begin(), benched.end());
    EXPECT_TRUE(shown == benched) << "the lists part at character " << (parted.first - shown.begin()) << " of "
                                  << shown.size() << " / " << benched.size();
}

// A million cues (an SRT of 46 MB, under the 64 MB limit): the transcript holds
// them all, and the window answers while the file is read and after: the file is
// read beside the window, the rows are made when shown. Measured on the program's
// own clock (its "stall" lines) against the whole load, which a busy machine
// stretches alike; bench/million_cues.sh gives the figures.
TEST(LongLoadE2E, AMillionCuesAndTheWindowAnswersThroughout) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    {
        std::ofstream srt(dir.file("lesson.srt"), std::ios::binary);
        char cue[96];
        const auto stamp = [](int ms, char *out) {
            std::snprintf(out, 13, "%02d:%02d:%02d,%03d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
        };
        for (int i = 0; i < 1000000; ++i) {
            char from[16], to[16];
            stamp(i * 4, from);
            stamp(i * 4 + 3, to);
            srt.write(cue, std::snprintf(cue, sizeof cue, "%d\n%s --> %s\nw%d\n\n", i + 1, from, to, i));
        }
        ASSERT_TRUE(srt.good());
    }
    ASSERT_TRUE(mustRun("sox -n -r 8000 -c 1 -b 16 " + shellQuote(dir.file("lesson.wav")) + " synth 4001 sine 300"));
    TVorelRun run(x, dir, shellQuote(dir.file("lesson.wav")), true);
    ASSERT_TRUE(run.waitFor("load", "lesson.wav", 240000)) << run.stderrText();
    ASSERT_TRUE(run.waitFor("rows", "1000000", 30000));
    long begun = -1, rowsAt = -1;
    for (const TraceLine &l : run.trace()) {
        if (l.kind == "status" && begun < 0)
            begun = l.ms;
        if (l.kind == "rows" && l.detail == "1000000" && rowsAt < 0)
            rowsAt = l.ms;
    }
    ASSERT_GE(begun, 0);
    ASSERT_GT(rowsAt, begun);
    // A stall is written once the window is back: wait a moment for one the rows end in.
    long longest = 0;
    bool after = false;
    for (int tries = 0; !after && tries < 30; ++tries) {
        longest = 0;
        for (const TraceLine &l : run.trace()) {
            if (l.kind == "stall") {
                longest = std::max(longest, std::stol(l.detail));
                after = after || l.ms > rowsAt;
            }
        }
        if (!after)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // Read on the window's own thread, the file held it for the whole load.
    EXPECT_LT(longest * 3, rowsAt - begun) << "load " << rowsAt - begun << " ms, longest stall " << longest;
}
