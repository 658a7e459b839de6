// Subtitle files as breakpoints and texts, and the LRC file written back.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "segment/breakpointfile.h"
#include "segment/lrcwriter.h"
#include "segment/subtitlereader.h"
#include "testfiles.h"

using namespace vorel::segment;
using vorel::test::TempDir;

namespace {

struct Cue {
    int32_t start, end;
    std::string text;
    bool operator==(const Cue &) const = default;
};

std::vector<Cue> cuesOf(const TSubtitleRead &read) {
    std::vector<Cue> out;
    for (const TCue &c : read.Cues)
        out.push_back({c.StartMs, c.EndMs, c.Text});
    return out;
}

struct Record {
    int32_t ms;
    std::string text;
    bool operator==(const Record &) const = default;
};

std::vector<Record> recordsOf(const TSegmentList &list) {
    std::vector<Record> out;
    for (int32_t i = 0; i < list.Count(); ++i)
        out.push_back({list.Items(i).TimeMs, list.Items(i).Text});
    return out;
}

std::ostream &operator<<(std::ostream &o, const Cue &c) { return o << c.start << "-" << c.end << " '" << c.text << "'"; }
std::ostream &operator<<(std::ostream &o, const Record &r) { return o << r.ms << " '" << r.text << "'"; }

const std::string gbkNihao = "\xC4\xE3\xBA\xC3"; // 你好 in GBK

// ASCII text as UTF-16 with its byte-order mark.
std::string utf16(const std::string &ascii, bool le) {
    std::string out = le ? "\xFF\xFE" : "\xFE\xFF";
    for (const char c : ascii)
        out += le ? std::string{c, '\0'} : std::string{'\0', c};
    return out;
}

} // namespace

TEST(SubtitleReading, CueTimes) {
    struct Case {
        const char *text;
        int32_t ms;
    };
    const std::vector<Case> cases = {
        {"00:01:02,345", 62345}, {"00:01:02.345", 62345}, {"01:02.345", 62345},  {"1:00:00,000", 3600000},
        {" 00:00:01,5 ", 1500},  {"00:00:01.05", 1050},   {"00:00:01", 1000},    {"100:00.000", 6000000},
        {"00:60:00,000", -1},    {"00:00:60,000", -1},    {"00:00:01,2345", -1}, {"00:00:01,", -1},
        {"00:01", 1000},         {"1:2:3:4", -1},         {"ab:cd,efg", -1},     {"", -1},
        {"999:00:00,000", -1}, // past 2^31 - 1 ms
    };
    for (const auto &c : cases)
        EXPECT_EQ(ReadCueTime(c.text), c.ms) << c.text;
}

TEST(SubtitleReading, Markup) {
    struct Case {
        const char *line, *text;
    };
    const std::vector<Case> cases = {
        {"<i>Hello</i> there", "Hello there"},
        {"<v Roger Bingham>We are in New York City", "We are in New York City"},
        {"<c.yellow.bg_blue>This</c> is <b>bold</b>", "This is bold"},
        {"Never <00:00:01.500>drink", "Never drink"},
        {"{\\an8}<font color=\"#ffff00\">Top</font>", "Top"},
        {"Tom &amp; Jerry &lt;i&gt;", "Tom & Jerry <i>"},
        {"a < b, {not code}", "a < b, {not code}"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(StripCueMarkup(c.line), c.text) << c.line;
}

TEST(SubtitleReading, Files) {
    struct Case {
        const char *what;
        TSubtitleFormat format;
        std::string bytes;
        std::vector<Cue> cues;
        std::vector<std::string> notices;
    };
    const auto srt = TSubtitleFormat::Srt;
    const auto vtt = TSubtitleFormat::Vtt;
    const std::vector<Case> cases = {
        {"SRT, CRLF, comma decimals, numbers",
         srt,
         "1\r\n00:00:01,000 --> 00:00:02,500\r\nHello\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,000\r\nWorld\r\n",
         {{1000, 2500, "Hello"}, {3000, 4000, "World"}},
         {}},
        {"SRT lines joined, tags dropped, BOM",
         srt,
         "\xEF\xBB\xBF" "1\n00:00:01,000 --> 00:00:02,000\n<i>How are</i>\n  you?  \n",
         {{1000, 2000, "How are you?"}},
         {}},
        {"SRT in GBK", srt, "1\n00:00:01,000 --> 00:00:02,000\n" + gbkNihao + "\n", {{1000, 2000, "你好"}}, {}},
        {"SRT without numbers and a cue without text",
         srt,
         "00:00:01,000 --> 00:00:02,000\n\n00:00:03,000 --> 00:00:04,000\nb\n",
         {{1000, 2000, ""}, {3000, 4000, "b"}},
         {}},
        {"SRT without blank lines between cues",
         srt,
         "1\n00:00:01,000 --> 00:00:02,000\na\n2\n00:00:03,000 --> 00:00:04,000\nb\n",
         {{1000, 2000, "a"}, {3000, 4000, "b"}},
         {}},
        {"SRT damaged cues skipped with file and line",
         srt,
         "1\n00:00:01,000 --> 00:00:02,000\na\n\n2\n00:0x:03,000 --> 00:00:04,000\nb\n\n3\n00:00:06,000 --> "
         "00:00:05,000\nc\n\n4\n00:00:07,000 -> 00:00:08,000\nd\n\n5\n00:00:09,000 --> 00:00:10,000\ne\n",
         {{1000, 2000, "a"}, {9000, 10000, "e"}},
         {"t.srt 第6行：字幕时间无法识别，已跳过。", "t.srt 第10行：字幕结束早于开始，已跳过。",
          "t.srt 第13行：字幕没有可读的时间行，已跳过。"}},
        {"WebVTT header, NOTE, STYLE, identifiers, settings, voices",
         vtt,
         "WEBVTT - a talk\nKind: captions\nLanguage: en\n\nSTYLE\n::cue { color: red }\n\nNOTE this is\na comment\n\n"
         "intro\n00:01.000 --> 00:02.500 align:start position:10%\n<v Ann>Hi <c.loud>there</c>\n\n"
         "00:00:03.000 --> 00:00:04.000 line:0\nSecond &amp; last\nline\n",
         {{1000, 2500, "Hi there"}, {3000, 4000, "Second & last line"}},
         {}},
        {"WebVTT damaged timing", vtt, "WEBVTT\n\n1\n00:01.0000 --> 00:02.000\nx\n", {}, {"t.srt 第4行：字幕时间无法识别，已跳过。"}},
        {"empty file", srt, "", {}, {}},
        {"SRT in UTF-16 LE", srt, utf16("1\r\n00:00:01,000 --> 00:00:02,000\r\nHi\r\n", true), {{1000, 2000, "Hi"}}, {}},
        {"WebVTT in UTF-16 BE", vtt, utf16("WEBVTT\n\n00:01.000 --> 00:02.000\nHi\n", false), {{1000, 2000, "Hi"}}, {}},
        {"a NUL after the first cue", srt,
         std::string("1\n00:00:01,000 --> 00:00:02,000\na\n\n\0" "2\n00:00:03,000 --> 00:00:04,000\nb\n", 70),
         {{1000, 2000, "a"}, {3000, 4000, "b"}}, {}},
    };
    for (const auto &c : cases) {
        const TSubtitleRead read = ReadSubtitles(c.bytes, c.format, "t.srt");
        EXPECT_EQ(cuesOf(read), c.cues) << c.what;
        EXPECT_EQ(read.Notices, c.notices) << c.what;
    }
}

TEST(SubtitleReading, CuesToBreakpoints) {
    struct Case {
        const char *what;
        std::vector<TCue> cues;
        int32_t duration;
        std::vector<Record> records;
    };
    const std::vector<Case> cases = {
        {"first cue later: a record at 0, short gaps no breakpoint",
         {{500, 2000, "a"}, {3500, 5000, "b"}},
         6000,
         {{0, ""}, {500, "a"}, {3500, "b"}}},
        {"gap of more than 2 s: the end starts a silent sentence",
         {{0, 1000, "a"}, {3001, 4000, "b"}},
         5000,
         {{0, "a"}, {1000, ""}, {3001, "b"}}},
        {"exactly 2 s is no gap", {{0, 1000, "a"}, {3000, 4000, "b"}}, 5000, {{0, "a"}, {3000, "b"}}},
        {"recording goes on after the last cue", {{0, 1000, "a"}}, 3500, {{0, "a"}, {1000, ""}}},
        {"out of order cues sorted", {{3000, 4000, "b"}, {0, 1000, "a"}}, 4000, {{0, "a"}, {3000, "b"}}},
        // The long first cue runs past the short second one: no gap after it.
        {"overlap: the latest end counts",
         {{0, 9000, "a"}, {1000, 2000, "b"}, {10000, 11000, "c"}},
         11000,
         {{0, "a"}, {1000, "b"}, {10000, "c"}}},
        {"equal starts share one breakpoint",
         {{0, 1000, "Hello"}, {0, 1200, "你好"}, {0, 1200, "你好"}},
         1200,
         {{0, "Hello 你好"}}},
        {"no cues: an empty list", {}, 1000, {}},
    };
    for (const auto &c : cases) {
        TSegmentList list;
        CuesToBreakpoints(list, c.cues, c.duration);
        EXPECT_EQ(recordsOf(list), c.records) << c.what;
    }
    // A hundred thousand cues at one time (each written twice): one sentence
    // holding each text once, in order; a merge that searched the texts joined so
    // far took 25 s here.
    std::vector<TCue> same;
    std::string joined;
    for (int i = 0; i < 100000; ++i) {
        const std::string text = "c" + std::to_string(i);
        same.push_back({1000, 2000, text});
        same.push_back({1000, 2000, text});
        joined += (i ? " " : "") + text;
    }
    TSegmentList list;
    CuesToBreakpoints(list, std::move(same), 3000);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(1).Text, joined);
}

TEST(SubtitleReading, LoadPrecedenceAndEnd) {
    struct Case {
        const char *what;
        std::vector<std::pair<const char *, std::string>> files;
        TBreakpointSource source;
        std::vector<Record> records;
        size_t notices;
    };
    const std::string srt = "1\n00:00:01,000 --> 00:00:02,000\nsrt\n";
    const std::string vtt = "WEBVTT\n\n00:01.000 --> 00:02.000\nvtt\n";
    const std::vector<Case> cases = {
        {"lrc first", {{".lrc", "[00:01.00]lrc\n"}, {".srt", srt}, {".vtt", vtt}}, TBreakpointSource::Lrc,
         {{0, ""}, {1000, "lrc"}, {3000, ""}}, 0},
        {"srt before vtt, end fix-up", {{".srt", srt}, {".vtt", vtt}}, TBreakpointSource::Srt,
         {{0, ""}, {1000, "srt"}, {3000, ""}}, 0},
        {"lrc without stamps: the subtitles", {{".lrc", "[ti:x]\n"}, {".vtt", vtt}}, TBreakpointSource::Vtt,
         {{0, ""}, {1000, "vtt"}, {3000, ""}}, 0},
        {"srt without cues: vtt, with a notice", {{".srt", "garbage\n"}, {".vtt", vtt}}, TBreakpointSource::Vtt,
         {{0, ""}, {1000, "vtt"}, {3000, ""}}, 2},
        {"cue past the end dropped", {{".srt", srt + "\n00:00:02,500 --> 00:00:04,000\nlate\n"}}, TBreakpointSource::Srt,
         {{0, ""}, {1000, "srt"}, {2500, "late"}, {3000, ""}}, 0},
    };
    const TStrings samples(75, "0");
    for (const auto &c : cases) {
        TempDir dir;
        for (const auto &[ext, bytes] : c.files)
            vorel::test::writeText(dir.file(std::string("talk") + ext), bytes);
        TSegmentList list;
        const TBreakpointLoad how = LoadBreakpoints(list, dir.file("talk.mp3"), samples, 3000);
        EXPECT_EQ(how.Source, c.source) << c.what;
        EXPECT_EQ(recordsOf(list), c.records) << c.what;
        EXPECT_EQ(how.Notices.size(), c.notices) << c.what;
    }
    EXPECT_EQ(NoticeSummary({"a", "b", "c"}), "a（另有2处）");
}

// What ffmpeg writes from one SubRip file as SubRip and as WebVTT reads as the
// original does.
TEST(SubtitleReading, FilesWrittenByFfmpeg) {
    TempDir dir;
    const std::string src = dir.file("in.srt");
    vorel::test::writeText(src, "1\n00:00:01,250 --> 00:00:02,500\n<i>First</i> line\nsecond line\n\n"
                                "2\n00:01:03,000 --> 00:01:04,040\n你好，世界\n");
    const std::vector<Cue> expected = {{1250, 2500, "First line second line"}, {63000, 64040, "你好，世界"}};
    for (const auto &[ext, format] : {std::pair{".srt", TSubtitleFormat::Srt}, std::pair{".vtt", TSubtitleFormat::Vtt}}) {
        const std::string out = dir.file(std::string("out") + ext);
        ASSERT_TRUE(vorel::test::mustRun("ffmpeg -loglevel error -y -i " + vorel::test::shellQuote(src) + " " +
                                         vorel::test::shellQuote(out)));
        const TSubtitleRead read = ReadSubtitleFile(out, format);
        EXPECT_EQ(cuesOf(read), expected) << ext;
        EXPECT_TRUE(read.Notices.empty()) << ext;
    }
}

TEST(LrcWriting, StampsAndRoundTrip) {
    struct Stamp {
        int32_t ms;
        const char *stamp;
    };
    for (const Stamp &s : std::vector<Stamp>{{0, "[00:00.00]"}, {62345, "[01:02.35]"}, {62344, "[01:02.34]"},
                                             {59995, "[01:00.00]"}, {3725000, "[62:05.00]"}, {6000000, "[100:00.00]"}})
        EXPECT_EQ(LrcStamp(s.ms), s.stamp) << s.ms;

    struct Case {
        const char *what;
        std::vector<Record> list; // the last record is the end of the audio
        std::vector<Record> saved;
    };
    const std::vector<Case> cases = {
        {"rounded to hundredths, texts kept",
         {{0, "你好"}, {1234, ""}, {61996, "How are you?"}, {6000004, "long"}, {6000123, ""}},
         {{0, "你好"}, {1230, ""}, {62000, "How are you?"}, {6000000, "long"}, {6000123, ""}}},
        {"texts as the LRC reader gives them", {{0, "a,b.c  d"}, {5000, ""}}, {{0, "a, b. c d"}, {5000, ""}}},
        {"two landing on one time join", {{0, ""}, {1001, "a"}, {1004, "b"}, {3000, ""}}, {{0, ""}, {1000, "a b"}, {3000, ""}}},
        {"not rounded onto the end", {{0, ""}, {2996, "a"}, {2998, ""}}, {{0, ""}, {2990, "a"}, {2998, ""}}},
    };
    for (const auto &c : cases) {
        TSegmentList list;
        for (const Record &r : c.list)
            list.Add({r.ms, TSegmentList::MakeStamp(r.ms), r.text});
        TempDir dir;
        vorel::test::writeText(dir.file("talk.lrc"), "old contents\n");
        SaveLrcFile(list, dir.file("talk.lrc"));
        EXPECT_EQ(recordsOf(list), c.saved) << c.what;

        TSegmentList reloaded;
        const int32_t duration = c.list.back().ms;
        EXPECT_EQ(LoadBreakpoints(reloaded, dir.file("talk.wav"), {}, duration).Source, TBreakpointSource::Lrc);
        EXPECT_EQ(recordsOf(reloaded), c.saved) << c.what;
    }

    TSegmentList list;
    list.Add({0, "", ""});
    list.Add({1000, "", ""});
    // The reason in the learner's language, not the system's English.
    try {
        SaveLrcFile(list, "/nonexistent-folder/x.lrc");
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const std::exception &e) {
        EXPECT_EQ(std::string(e.what()), "无法创建文件/nonexistent-folder/x.lrc：文件或文件夹不存在");
    }
}

// The learner's own LRC file saved over: only the moved stamp changes. Tags,
// untimed lines, texts the reader shows reflowed, GBK, CRLF, a link to it.
TEST(LrcWriting, AnExistingFileKeepsAllButTheChangedStamps) {
    const std::string gbkYuan = "\xD4\xAA"; // 元 in GBK: also valid UTF-8 (U+052A)
    const std::string before = "[ti:\xBF\xCE]\r\n[ar:x]\r\n[by:y]\r\n[offset:+100]\r\n"
                               "[00:00.00]3.14 www.example.com\r\n"
                               "untimed note\r\n"
                               "[00:01.50]1,000" + gbkYuan + "\r\n"
                               "[00:03.00]" + gbkNihao + "\r\n";
    const std::string after = "[ti:\xBF\xCE]\r\n[ar:x]\r\n[by:y]\r\n[offset:+100]\r\n"
                              "[00:00.00]3.14 www.example.com\r\n"
                              "untimed note\r\n"
                              "[00:01.80]1,000" + gbkYuan + "\r\n"
                              "[00:03.00]" + gbkNihao + "\r\n";
    for (const bool link : {false, true}) {
        TempDir dir;
        const std::string real = dir.file(link ? "elsewhere.lrc" : "talk.lrc");
        vorel::test::writeFile(real, std::vector<uint8_t>(before.begin(), before.end()));
        if (link)
            ASSERT_EQ(::symlink(real.c_str(), dir.file("talk.lrc").c_str()), 0);
        TSegmentList list;
        ASSERT_EQ(LoadBreakpoints(list, dir.file("talk.wav"), {}, 5000).Source, TBreakpointSource::Lrc);
        EXPECT_EQ(list.Items(1).Text, "1, 000元");
        list.Items(1).TimeMs = 1800;
        SaveLrcFile(list, dir.file("talk.lrc"));
        const auto bytes = vorel::test::readFile(real);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), after) << link;
        struct stat st {};
        ASSERT_EQ(::lstat(dir.file("talk.lrc").c_str(), &st), 0);
        EXPECT_EQ(S_ISLNK(st.st_mode), link);
    }
}
