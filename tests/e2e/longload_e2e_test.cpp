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
