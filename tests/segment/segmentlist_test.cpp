// The breakpoint list: LRC reading, editing and lookup rules.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "segment/breakpointfile.h"
#include "segment/segmentlist.h"
#include "segment/subtitlereader.h"
#include "testfiles.h"

using vorel::segment::ESegmentError;
using vorel::segment::TSegmentList;
using vorel::segment::TSegmentRec;
using vorel::segment::TStrings;
using vorel::test::TempDir;

namespace {

std::vector<int32_t> times(const TSegmentList &list) {
    std::vector<int32_t> out;
    for (int32_t i = 0; i < list.Count(); ++i)
        out.push_back(list.Items(i).TimeMs);
    return out;
}

TSegmentList listAt(const std::vector<int32_t> &ms) {
    TSegmentList list;
    for (int32_t t : ms)
        list.Add({t, TSegmentList::MakeStamp(t), ""});
    return list;
}

std::string errorOf(const std::function<void()> &f) {
    try {
        f();
    } catch (const ESegmentError &e) {
        return e.what();
    }
    return "(no error)";
}

TSegmentList loadBytes(const std::string &bytes) {
    TempDir dir;
    const std::string path = dir.file("a.lrc");
    vorel::test::writeText(path, bytes);
    TSegmentList list;
    list.LoadFromFile(path);
    return list;
}

} // namespace

TEST(LrcReading, LineForms) {
    struct Case {
        std::string line;
        bool read;
        int32_t ms;
        std::string stamp, text;
    };
    const std::vector<Case> cases = {
        {"[01:02.34]How are you?", true, 62340, "[01:02.34]", "How are you?"},
        {"[01:02]How are you?", true, 62000, "[01:02]", "How are you?"},
        {"[01:02.345]How are you?", true, 62345, "[01:02.345]", "How are you?"},
        {"[00:00.00]", true, 0, "[00:00.00]", ""},
        {" \t[00:03.10]  padded,text.  \x01", true, 3100, "[00:03.10]", "padded, text."},
        {"[00:04.00][00:05.00]two stamps", true, 4000, "[00:04.00]", "[00:05. 00]two stamps"},
        {"[59:59.99]", true, 3599990, "[59:59.99]", ""},
        {"[75:10.00]", true, 4510000, "[75:10.00]", ""},
        {"[99:59.999]", true, 5999999, "[99:59.999]", ""},
        // Books of many hours count minutes on past 99; the fraction keeps its scale.
        {"[100:00.00]", true, 6000000, "[100:00.00]", ""},
        {"[100:00]a", true, 6000000, "[100:00]", "a"},
        {"[600:00.50]", true, 36000500, "[600:00.50]", ""},
        {"[1234:56.789]", true, 74096789, "[1234:56.789]", ""},
        {"[35791:23.647]", true, 2147483647, "[35791:23.647]", ""},
        {"[100:0.5]", false, 0, "", ""},
        {"[ti:A title]", false, 0, "", ""},
        {"[ar:Someone]", false, 0, "", ""},
        {"[offset:500]", false, 0, "", ""},
        {"[1:02.34]one-digit minute", false, 0, "", ""},
        {"[01:02.3]one-digit fraction", false, 0, "", ""},
        {"[01:02:34]no point at 7", false, 0, "", ""},
        {"[0102.345]point elsewhere", false, 0, "", ""},
        {"text [01:02.34]", false, 0, "", ""},
        {"[01:02.34", false, 0, "", ""},
        {"", false, 0, "", ""},
    };
    for (const auto &c : cases) {
        TSegmentList list;
        list.LoadFromStrings({c.line});
        if (!c.read) {
            EXPECT_EQ(list.Count(), 0) << c.line;
            continue;
        }
        ASSERT_EQ(list.Count(), c.ms == 0 ? 1 : 2) << c.line;
        const TSegmentRec &r = list.Items(list.Count() - 1);
        EXPECT_EQ(r.TimeMs, c.ms) << c.line;
        EXPECT_EQ(r.Stamp, c.stamp) << c.line;
        EXPECT_EQ(r.Text, c.text) << c.line;
    }
}

TEST(LrcReading, InvalidTimesSkipTheLine) {
    const std::vector<std::string> bad = {"[12:60.00]",     "[12345]",     "[01:02:345]",       "[1:02.3456]",
                                          "[100:60.00]", "[35791:23.648]", "[99999999:00.00]"};
    for (const auto &line : bad) {
        TSegmentList list;
        list.LoadFromStrings({"[00:05.00]kept", "[ti:x]", line + "lost", "[00:09.00]read"});
        EXPECT_EQ(times(list), (std::vector<int32_t>{0, 5000, 9000})) << line;
        EXPECT_EQ(list.SkippedLines, (std::vector<int32_t>{3})) << line;
        EXPECT_EQ(list.Items(2).Text, "read") << line;
    }
    TSegmentList good;
    good.LoadFromStrings({"[00:01.00]a"});
    EXPECT_TRUE(good.SkippedLines.empty());
}

TEST(LrcReading, TimeOrderAndDuplicates) {
    struct Case {
        const char *what;
        TStrings lines;
        std::vector<int32_t> times;
        std::vector<std::string> texts;
    };
    const std::vector<Case> cases = {
        {"out of order, the zero supplied", {"[00:05.00]b", "[ti:x]", "[00:03.00]a"}, {0, 3000, 5000}, {"", "a", "b"}},
        {"a later line stamped earlier", {"[00:00.00]a", "[00:06.00]c", "[00:02.00]b"}, {0, 2000, 6000}, {"a", "b", "c"}},
        {"a late zero joins the supplied one", {"[00:05.00]b", "[00:00.00]c"}, {0, 5000}, {"c", "b"}},
        {"exact duplicates", {"[00:00.00]a", "[00:02.00]b", "[00:02.00]b"}, {0, 2000}, {"a", "b"}},
        {"same time, texts kept in file order", {"[00:02.00]x", "[00:00.00]", "[00:02.000]y"}, {0, 2000}, {"", "x y"}},
        {"already in order", {"[00:00.00]a", "[00:02.00]b"}, {0, 2000}, {"a", "b"}},
        {"no stamp line", {"[ti:x]", "just text", ""}, {}, {}},
    };
    for (const auto &c : cases) {
        TSegmentList list;
        list.LoadFromStrings(c.lines);
        EXPECT_EQ(times(list), c.times) << c.what;
        std::vector<std::string> texts;
        for (int32_t i = 0; i < list.Count(); ++i)
            texts.push_back(list.Items(i).Text);
        EXPECT_EQ(texts, c.texts) << c.what;
    }
    TSegmentList late;
    late.LoadFromStrings({"[00:05.00]b", "[00:03.00]a"});
    EXPECT_EQ(late.Items(0).Stamp, "[00:00.00]");
    EXPECT_EQ(late.Items(2).Stamp, "[00:05.00]");
}

TEST(LrcReading, FileBytes) {
    struct Case {
        const char *what;
        std::string bytes;
        std::vector<int32_t> times;
        std::string firstText;
    };
    const std::string gbk = "\xC4\xE3\xBA\xC3";       // 你好 in GBK
    const std::string utf8 = "\xE4\xBD\xA0\xE5\xA5\xBD"; // 你好 in UTF-8
    const std::vector<Case> cases = {
        {"LF", "[00:00.00]a\n[00:01.00]b\n", {0, 1000}, "a"},
        {"CR", "[00:00.00]a\r[00:01.00]b\r", {0, 1000}, "a"},
        {"CRLF", "[00:00.00]a\r\n[00:01.00]b\r\n\r\n", {0, 1000}, "a"},
        {"no final line end", "[00:00.00]a\n[00:01.00]b", {0, 1000}, "a"},
        {"a NUL is skipped, what follows it read", std::string("[00:00.00]a\n[00:01.00]b\n\0[00:02.00]c\n", 37),
         {0, 1000, 2000}, "a"},
        // Decided for the file: a GBK line that happens to be valid UTF-8 ("元" is D4 AA).
        {"GBK file, one line valid UTF-8", "[00:00.00]1,000\xD4\xAA\n[00:01.00]" + gbk + "\n[00:02.00]" + gbk + "\n",
         {0, 1000, 2000}, "1, 000元"},
        {"UTF-8 BOM", "\xEF\xBB\xBF[00:00.00]a\n[00:01.00]b\n", {0, 1000}, "a"},
        {"GBK text", "[00:00.00]" + gbk + "\n", {0}, "你好"},
        {"UTF-8 text", "[00:00.00]" + utf8 + "\n", {0}, "你好"},
        {"UTF-8 with BOM", "\xEF\xBB\xBF[00:00.00]" + utf8 + "\n", {0}, "你好"},
        {"bad GBK byte", "[00:00.00]a\xFF" "b\n", {0}, "a\xEF\xBF\xBD" "b"},
        {"empty file", "", {}, ""},
        // What Windows Notepad writes as "Unicode", and its big-endian form.
        {"UTF-16 LE", std::string("\xFF\xFE[\0" "0\0" "0\0:\0" "0\0" "0\0]\0`O}Y\n\0", 22), {0}, "你好"},
        {"UTF-16 BE", std::string("\xFE\xFF\0[\0" "0\0" "0\0:\0" "0\0" "0\0]O`Y}\0\n", 22), {0}, "你好"},
        {"UTF-16 surrogate pair", std::string("\xFF\xFE[\0" "0\0" "0\0:\0" "0\0" "0\0]\0=\xD8\0\xDE", 20), {0},
         "\xF0\x9F\x98\x80"},
    };
    for (const auto &c : cases) {
        const TSegmentList list = loadBytes(c.bytes);
        EXPECT_EQ(times(list), c.times) << c.what;
        if (list.Count() > 0) {
            EXPECT_EQ(list.Items(0).Text, c.firstText) << c.what;
        }
    }
}

TEST(LrcReading, MissingFileIsAnError) {
    TempDir dir;
    TSegmentList list;
    EXPECT_THROW(list.LoadFromFile(dir.file("missing.lrc")), ESegmentError);
    EXPECT_EQ(list.Count(), 0);
}

TEST(SegmentList, InsertBreakpoint) {
    struct Case {
        const char *what;
        int32_t t, tolerance, index;
        std::vector<int32_t> after;
    };
    const std::vector<Case> cases = {
        {"199 ms after a breakpoint: refused", 1199, 200, -1, {0, 1000, 5000}},
        {"200 ms after: inserted", 1200, 200, 2, {0, 1000, 1200, 5000}},
        {"10 ms before the next: still inserted", 4990, 200, 2, {0, 1000, 4990, 5000}},
        {"tolerance 0 at an existing time: after it", 1000, 0, 2, {0, 1000, 1000, 5000}},
        {"past the end", 6000, 0, 3, {0, 1000, 5000, 6000}},
        {"before the first", -5, 0, -1, {0, 1000, 5000}},
    };
    for (const auto &c : cases) {
        TSegmentList list = listAt({0, 1000, 5000});
        EXPECT_EQ(list.InsertBreakpoint(c.t, c.tolerance), c.index) << c.what;
        EXPECT_EQ(times(list), c.after) << c.what;
        if (c.index >= 0) {
            EXPECT_EQ(list.Items(c.index).Stamp, TSegmentList::MakeStamp(c.t)) << c.what;
        }
    }
}

TEST(SegmentList, DeleteBreakpointNear) {
    struct Case {
        const char *what;
        std::vector<int32_t> before;
        int32_t t;
        int32_t result;
        std::vector<int32_t> after;
    };
    const std::vector<Case> cases = {
        {"exactly 200 ms before", {0, 1000, 2000, 5000}, 800, 0, {0, 2000, 5000}},
        {"exactly 200 ms after", {0, 1000, 2000, 5000}, 1200, 0, {0, 2000, 5000}},
        {"201 ms away", {0, 1000, 2000, 5000}, 1201, -1, {0, 1000, 2000, 5000}},
        {"earliest within tolerance goes", {0, 1000, 1100, 5000}, 1050, 0, {0, 1100, 5000}},
        {"never the first", {0, 1000, 5000}, 0, -1, {0, 1000, 5000}},
        {"never the last", {0, 1000, 5000}, 5000, -1, {0, 1000, 5000}},
        {"two records", {0, 5000}, 0, -1, {0, 5000}},
    };
    for (const auto &c : cases) {
        TSegmentList list = listAt(c.before);
        EXPECT_EQ(list.DeleteBreakpointNear(c.t, 200), c.result) << c.what;
        EXPECT_EQ(times(list), c.after) << c.what;
    }
}

TEST(SegmentList, JoiningSentencesKeepsBothTexts) {
    struct Case {
        std::string first, second, joined;
    };
    const std::vector<Case> cases = {
        {"第一句", "Second one", "第一句 Second one"},
        {"", "Second one", "Second one"},
        {"第一句", "", "第一句"},
        {"", "", ""},
    };
    for (const auto &c : cases) {
        TSegmentList list = listAt({0, 1000, 2000, 3000});
        list.Items(1).Text = c.first;
        list.Items(2).Text = c.second;
        list.Items(3).Text = "last";
        ASSERT_EQ(list.DeleteBreakpointNear(2000, 200), 1);
        EXPECT_EQ(list.Items(1).Text, c.joined) << c.first << "|" << c.second;
        EXPECT_EQ(list.Items(2).Text, "last");
    }
}

TEST(SegmentList, FindSentence) {
    const TSegmentList list = listAt({0, 1000, 1000, 3000});
    struct Case {
        int32_t t, index, start, end;
    };
    const std::vector<Case> cases = {
        {0, 0, 0, 1000},   {999, 0, 0, 1000},     {1000, 2, 1000, 3000}, // later of equal times
        {2999, 2, 1000, 3000}, {3000, 3, 3000, 3000}, {3001, -1, 3001, 3000}, {-1, -1, -1, 3000},
    };
    for (const auto &c : cases) {
        int32_t start = 42, end = 42;
        EXPECT_EQ(list.FindSentence(c.t, start, end), c.index) << c.t;
        EXPECT_EQ(start, c.start) << c.t;
        EXPECT_EQ(end, c.end) << c.t;
    }
    TSegmentList empty;
    int32_t s, e;
    EXPECT_EQ(errorOf([&] { empty.FindSentence(0, s, e); }), "List index out of bounds (-1)");
}

TEST(SegmentList, IndexErrors) {
    TSegmentList list = listAt({0, 1000});
    EXPECT_EQ(errorOf([&] { list.Items(2); }), "索引越界错误！");
    EXPECT_EQ(errorOf([&] { list.Items(-1); }), "索引越界错误！");
    EXPECT_EQ(errorOf([&] { list.Delete(2); }), "List index out of bounds (2)");
    EXPECT_EQ(errorOf([&] { list.Insert(3, {}); }), "List index out of bounds (3)");
    EXPECT_EQ(errorOf([&] { list.RefreshStamp(-1); }), "List index out of bounds (-1)");
    list.Insert(2, {7, "", ""});
    list.Items(2).TimeMs = 3725000;
    list.RefreshStamp(2);
    EXPECT_EQ(list.Items(2).Stamp, "[02:05.00]");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(SegmentList, AutoSplitReplacesTheContent) {
    TSegmentList list = listAt({0, 77});
    TStrings samples(40, "5000");
    samples.insert(samples.end(), 10, "0");
    samples.insert(samples.end(), 50, "5000");
    list.AutoSplit(samples);
    EXPECT_EQ(times(list), (std::vector<int32_t>{0, 1800, 4000}));
    EXPECT_EQ(list.Items(1).Stamp, "[00:01.80]");
    EXPECT_EQ(list.Items(1).Text, "");
}

TEST(SegmentTexts, MakeStampNormalizeTextIsTimeText) {
    const std::vector<std::pair<int32_t, std::string>> stamps = {
        {3725000, "[02:05.00]"}, {1239, "[00:01.23]"}, {0, "[00:00.00]"}, {59999, "[00:59.99]"}, {4510000, "[15:10.00]"}};
    for (const auto &[ms, stamp] : stamps)
        EXPECT_EQ(TSegmentList::MakeStamp(ms), stamp) << ms;

    const std::vector<std::pair<std::string, std::string>> texts = {
        {" a.b,c   d ", "a. b, c d"},
        {"Hello,world.How are  you?", "Hello, world. How are you?"},
        {"end.", "end."},
        {"", ""},
        {"     ", ""},
    };
    for (const auto &[in, out] : texts)
        EXPECT_EQ(TSegmentList::NormalizeText(in), out) << in;

    EXPECT_TRUE(TSegmentList::IsTimeText("00:01:02.340"));
    EXPECT_TRUE(TSegmentList::IsTimeText(""));
    EXPECT_FALSE(TSegmentList::IsTimeText("00:by:xx.000"));
    EXPECT_FALSE(TSegmentList::IsTimeText("00:01 02"));
}

TEST(BreakpointFile, NameEndFixAndFallback) {
    EXPECT_EQ(vorel::segment::BreakpointFileFor("/a/b.c/talk.mp3"), "/a/b.c/talk.lrc");
    EXPECT_EQ(vorel::segment::BreakpointFileFor("/a/b.c/talk"), "/a/b.c/talk.lrc");
    EXPECT_EQ(vorel::segment::BreakpointFileFor("x.tar.wav"), "x.tar.lrc");

    struct Case {
        const char *what;
        std::vector<int32_t> before;
        std::vector<int32_t> after;
    };
    const std::vector<Case> cases = {
        {"last before the end: end appended", {0, 3000}, {0, 3000, 10000}},
        {"last just past the end: dropped", {0, 3000, 10150}, {0, 3000, 10000}},
        {"last at the end: the end stands once", {0, 3000, 10000}, {0, 3000, 10000}},
        // Two stamps past the end used to leave a sentence of negative length.
        {"several past the end: all dropped", {0, 3000, 16500, 17000}, {0, 3000, 10000}},
        {"out of order, one past the end: dropped", {0, 12000, 3000}, {0, 3000, 10000}},
        {"only the first is kept", {0, 11000}, {0, 10000}},
    };
    for (const auto &c : cases) {
        TSegmentList list = listAt(c.before);
        vorel::segment::EndAtDuration(list, 10000);
        EXPECT_EQ(times(list), c.after) << c.what;
        EXPECT_EQ(list.Items(list.Count() - 1).Stamp, TSegmentList::MakeStamp(c.after.back())) << c.what;
    }

    TempDir dir;
    const TStrings samples(100, "5000");
    using vorel::segment::TBreakpointSource;
    TSegmentList split;
    EXPECT_EQ(vorel::segment::LoadBreakpoints(split, dir.file("talk.wav"), samples, 4080).Source,
              TBreakpointSource::Split);
    EXPECT_EQ(times(split), (std::vector<int32_t>{0, 4000}));

    vorel::test::writeText(dir.file("talk.lrc"), "[ti:no stamps]\n");
    TSegmentList fallback;
    EXPECT_EQ(vorel::segment::LoadBreakpoints(fallback, dir.file("talk.wav"), samples, 4080).Source,
              TBreakpointSource::Split);
    EXPECT_EQ(times(fallback), (std::vector<int32_t>{0, 4000}));

    vorel::test::writeText(dir.file("talk.lrc"), "[00:01.50]a\n[00:03.00]b\n");
    TSegmentList lrc;
    EXPECT_EQ(vorel::segment::LoadBreakpoints(lrc, dir.file("talk.wav"), samples, 4080).Source,
              TBreakpointSource::Lrc);
    EXPECT_EQ(times(lrc), (std::vector<int32_t>{0, 1500, 3000, 4080}));
    EXPECT_EQ(lrc.Items(3).Stamp, "[00:04.08]");
}

TEST(BreakpointFile, RefusedOrDamagedFilesStillOpenTheRecording) {
    TempDir dir;
    const TStrings samples(100, "5000");
    const std::string lrc = dir.file("talk.lrc");
    struct Case {
        const char *what;
        std::function<void()> make;
        vorel::segment::TBreakpointSource source;
        std::vector<int32_t> times;
        std::string notice;
    };
    const auto write = [&](const std::string &text) { return [&, text] { vorel::test::writeText(lrc, text); }; };
    using vorel::segment::TBreakpointSource;
    const std::string tooLarge = "断点文件" + lrc + "超过64 MB，已按停顿自动断句。";
    const std::vector<Case> cases = {
        {"one bad stamp", write("[00:01.00]a\n[00:60.00]b\n[00:02.00]c\n"), TBreakpointSource::Lrc,
         {0, 1000, 2000, 4080}, "断点文件talk.lrc第2行的时间标签无效，已跳过。"},
        {"many bad stamps", write("[00:61]\n\n[00:62]\n[00:63]\n[00:64]\n[00:65]\n[00:66]\n[00:01.00]a\n"),
         TBreakpointSource::Lrc, {0, 1000, 4080}, "断点文件talk.lrc第1、3、4、5、6等共6行的时间标签无效，已跳过。"},
        {"only bad stamps", write("[00:61]\n"), TBreakpointSource::Split, {0, 4000},
         "断点文件talk.lrc第1行的时间标签无效，已跳过。"},
        // Sparse: a 64 MB + 1 file costs no disk.
        {"too large", [&] {
             vorel::test::writeText(lrc, "[00:01.00]a\n");
             ASSERT_EQ(truncate(lrc.c_str(), TSegmentList::MaxFileBytes + 1), 0);
         },
         TBreakpointSource::Split, {0, 4000}, tooLarge},
        {"at the limit", [&] {
             vorel::test::writeText(lrc, "[00:01.00]a\n");
             ASSERT_EQ(truncate(lrc.c_str(), TSegmentList::MaxFileBytes), 0);
         },
         TBreakpointSource::Lrc, {0, 1000, 4080}, ""},
        // Subtitles as large fall back the same way.
        {"subtitles too large", [&] {
             std::filesystem::remove(lrc);
             vorel::test::writeText(dir.file("talk.srt"), "1\n00:00:01,000 --> 00:00:02,000\na\n");
             ASSERT_EQ(truncate(dir.file("talk.srt").c_str(), vorel::segment::MaxTextFileBytes + 1), 0);
         },
         TBreakpointSource::Split, {0, 4000}, "字幕文件" + dir.file("talk.srt") + "超过64 MB，已按停顿自动断句。"},
    };
    for (const auto &c : cases) {
        c.make();
        TSegmentList list;
        const auto how = vorel::segment::LoadBreakpoints(list, dir.file("talk.wav"), samples, 4080);
        EXPECT_EQ(how.Source, c.source) << c.what;
        EXPECT_EQ(times(list), c.times) << c.what;
        EXPECT_EQ(vorel::segment::NoticeSummary(how.Notices), c.notice) << c.what;
    }
}

// A million stamps past the end of the audio: the end fix-up drops them at once.
TEST(BreakpointFile, EndFixUpOverManyStampsPastTheEnd) {
    TSegmentList list = listAt({0, 1000});
    for (int32_t i = 0; i < 1000000; ++i)
        list.Add({5000 + i, "", ""});
    vorel::segment::EndAtDuration(list, 4000);
    EXPECT_EQ(times(list), (std::vector<int32_t>{0, 1000, 4000}));
}
