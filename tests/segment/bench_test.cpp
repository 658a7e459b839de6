// vorel-bench's default mode end to end: one JSON line per file, breakpoints from
// the LRC file beside the audio or from the splitter, errors as lines of their own.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "testfiles.h"

using vorel::test::shellQuote;

namespace {

struct Output {
    std::vector<std::string> lines;
    int status = -1;
};

Output runBench(const std::vector<std::string> &files) {
    std::string cmd = shellQuote(VOREL_BENCH_PATH);
    for (const auto &f : files)
        cmd += " " + shellQuote(f);
    Output out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[65536];
    while (std::fgets(buf, sizeof buf, p)) {
        std::string line(buf);
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        out.lines.push_back(line);
    }
    const int rc = pclose(p);
    out.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

// The raw JSON text of one field's value (strings keep their quotes).
std::string field(const std::string &json, const std::string &name) {
    const std::string key = "\"" + name + "\":";
    const size_t at = json.find(key);
    if (at == std::string::npos)
        return "(missing)";
    const size_t v = at + key.size();
    size_t end = v;
    if (json[v] == '"') {
        for (end = v + 1; end < json.size() && json[end] != '"'; ++end)
            if (json[end] == '\\')
                ++end;
        ++end;
    } else if (json[v] == '[') {
        end = json.find(']', v) + 1;
    } else {
        end = json.find_first_of(",}", v);
    }
    return json.substr(v, end - v);
}

} // namespace

TEST(Bench, LoadsLikeTheProgram) {
    vorel::test::TempDir dir;
    // 2 s of tone, 0.6 s silence, 2 s of tone: the splitter breaks in the pause.
    auto pcm = vorel::test::tone(440, 2, 44100, 2);
    vorel::test::append(pcm, vorel::test::silence(0.6, 44100, 2));
    vorel::test::append(pcm, vorel::test::tone(440, 2, 44100, 2));
    for (const char *name : {"split", "lrc", "nostamp", "badtime"})
        vorel::test::writeWav16(dir.file(std::string(name) + ".wav"), pcm, 44100, 2);
    vorel::test::writeText(dir.file("lrc.lrc"), "[ti:x]\r\n[00:01.00]one\r\n[00:03.00]two\r\n");
    vorel::test::writeText(dir.file("nostamp.lrc"), "[ti:only tags]\n");
    vorel::test::writeText(dir.file("badtime.lrc"), "[00:01.00]a\n[12:60.00]b\n");

    const Output out = runBench({dir.file("split.wav"), dir.file("lrc.wav"), dir.file("nostamp.wav"),
                                 dir.file("missing.wav"), dir.file("badtime.wav")});
    ASSERT_EQ(out.lines.size(), 5u);
    EXPECT_EQ(out.status, 1); // some files failed

    for (int i : {0, 1, 2}) {
        const std::string &l = out.lines[static_cast<size_t>(i)];
        EXPECT_EQ(field(l, "duration_ms"), "4600") << l;
        EXPECT_EQ(field(l, "samples"), "113") << l;
        for (const char *f : {"open_ms", "sample_ms", "split_ms", "total_ms", "peak_rss_kb"})
            EXPECT_NE(field(l, f), "(missing)") << f << " in " << l;
    }
    EXPECT_EQ(field(out.lines[0], "source"), "\"split\"");
    EXPECT_EQ(field(out.lines[0], "breakpoints_ms"), "[0,2240,4520]");
    EXPECT_EQ(field(out.lines[0], "threshold"), "1800");
    EXPECT_EQ(field(out.lines[1], "source"), "\"lrc\"");
    EXPECT_EQ(field(out.lines[1], "threshold"), "null");
    EXPECT_EQ(field(out.lines[1], "breakpoints_ms"), "[0,1000,3000,4600]");
    // The first reading's tail fits in the pause; a reading that ends inside the
    // tone stops at its end; the last one, past the samples, keeps its tail.
    EXPECT_EQ(field(out.lines[0], "stops_ms"), "[2340,4520]");
    EXPECT_EQ(field(out.lines[1], "stops_ms"), "[1000,3000,4700]");
    EXPECT_EQ(field(out.lines[2], "source"), "\"split\"");
    EXPECT_EQ(field(out.lines[2], "breakpoints_ms"), "[0,2240,4520]");

    EXPECT_EQ(field(out.lines[3], "file"), "\"" + dir.file("missing.wav") + "\"");
    EXPECT_EQ(field(out.lines[3], "error").rfind("\"不能打开文件", 0), 0u) << out.lines[3];
    // A mistyped stamp costs its line only.
    EXPECT_EQ(field(out.lines[4], "source"), "\"lrc\"");
    EXPECT_EQ(field(out.lines[4], "breakpoints_ms"), "[0,1000,4600]");
}

// A transcript beside the recording: aligned after the breakpoint files.
TEST(Bench, AlignsATextBesideTheRecordingAfterTheBreakpointFiles) {
    vorel::test::TempDir dir;
    const std::string text = "Good morning. How are you today? I am fine, thank you.";
    ASSERT_TRUE(vorel::test::mustRun("espeak-ng -v en-us+f2 -s 150 -w " + shellQuote(dir.file("talk.wav")) + " " +
                                     shellQuote(text)));
    ASSERT_TRUE(vorel::test::mustRun("cp " + shellQuote(dir.file("talk.wav")) + " " + shellQuote(dir.file("both.wav"))));
    vorel::test::writeText(dir.file("talk.txt"), text);
    vorel::test::writeText(dir.file("both.txt"), text);
    vorel::test::writeText(dir.file("both.lrc"), "[00:00.00]one\n[00:01.00]two\n");
    const Output out = runBench({dir.file("talk.wav"), dir.file("both.wav")});
    ASSERT_EQ(out.lines.size(), 2u);
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(field(out.lines[0], "source"), "\"txt\"");
    EXPECT_EQ(field(out.lines[0], "voice"), "\"en\"");
    EXPECT_NE(field(out.lines[0], "align_ms"), "null");
    // Three sentences and the end of the audio; the first begins at the start.
    const std::string bps = field(out.lines[0], "breakpoints_ms");
    EXPECT_EQ(std::count(bps.begin(), bps.end(), ','), 3) << bps;
    EXPECT_EQ(field(out.lines[1], "source"), "\"lrc\"");
    EXPECT_EQ(field(out.lines[1], "align_ms"), "null");
}
