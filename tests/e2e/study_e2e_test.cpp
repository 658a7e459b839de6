// The lesson's record on the real window: killed and started again under another
// name it continues where the learner stopped, with the marks, the moved
// breakpoint and the speed; and a record that cannot be used never stops a lesson.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "e2esupport.h"
#include "studystore.h"

using namespace vorel::test;
namespace fs = std::filesystem;

namespace {

constexpr int Rate = 44100;
constexpr int Sentences = 8;

// Eight sentences of one second, each a tone of its own over a quiet hum, with an
// LRC that gives each its text.
std::string makeLesson(const TempDir &dir) {
    std::vector<int16_t> pcm(Sentences * Rate);
    std::string lrc;
    for (size_t i = 0; i < pcm.size(); ++i) {
        const double t = double(i) / Rate;
        const int k = int(t);
        double v = 300 * std::sin(2 * M_PI * 110 * t);
        if (t - k >= 0.2 && t - k < 0.8)
            v += 8000 * std::sin(2 * M_PI * (300 + 60 * k) * t);
        pcm[i] = int16_t(std::lround(v));
    }
    for (int k = 0; k < Sentences; ++k)
        lrc += "[00:0" + std::to_string(k) + ".00]sentence " + std::to_string(k + 1) + "\n";
    const std::string path = dir.file("lesson.wav");
    writeWav16(path, pcm, Rate, 1);
    writeText(dir.file("lesson.lrc"), lrc);
    return path;
}

// What the sqlite3 shell prints for a query on the store file (read-only).
std::string query(const TXSession &x, const std::string &db, const std::string &sql) {
    std::string out;
    x.run("sqlite3 -readonly " + shellQuote(db) + " " + shellQuote(sql) + " 2>/dev/null", &out);
    return out;
}

bool becomes(const std::function<bool()> &done, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 100) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

void clickColumn(TVorelRun &run, int column, int button = 1, const std::string &mods = "") {
    run.click(at::wave(column).first, at::wave(column).second, button, mods);
}

// The transcript window's review box, at the left of the row above the bottom
// one, about 49 pixels above the window's bottom edge; a few rows near it are
// tried until the info line says review began (fonts differ a little).
bool turnReviewOn(const TXSession &x, TVorelRun &run) {
    const auto found = x.findWindows("TfMainFree", 5000, "文本");
    if (found.empty())
        return false;
    const int h = x.size(found.front()).second;
    const auto [ox, oy] = x.origin(found.front());
    for (const int y : {h - 49, h - 44, h - 54, h - 40}) {
        x.run("xdotool mousemove --sync " + std::to_string(ox + 14) + " " + std::to_string(oy + y) + " click 1");
        // A slow window may answer late: a second click would turn review off again.
        if (run.waitFor("notice", "复习模式：只读标记的", 3000))
            return true;
    }
    return false;
}

} // namespace

TEST(StudyE2E, KilledAndRenamedALessonComesBackWhereItWasWithItsMarksBreakpointsAndSpeed) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    const std::string lesson = makeLesson(dir);
    const std::string db = dir.file("data/vorel/study.sqlite");
    {
        TVorelRun run(x, dir, shellQuote(lesson), true);
        ASSERT_NE(run.window(), 0u) << run.stderrText();
        ASSERT_TRUE(run.waitFor("load", "lesson.wav", 10000)) << run.stderrText();
        run.click(at::repeatTimes.first, at::repeatTimes.second);
        run.key("Home Return"); // 永远
        run.click(at::pauseTime.first, at::pauseTime.second);
        run.key("Home Down Return"); // 暂停: after a reading the sentence stays current
        clickColumn(run, 62);        // the third sentence (2.0..3.0 s)
        ASSERT_TRUE(run.waitFor("read", "2000 3000 1", 10000)) << run.dump();
        run.focus();
        run.key("m");
        ASSERT_TRUE(run.waitFor("notice", "已标记第3句，共标记1句", 10000)) << run.dump();
        // The marked sentence's start moves from 2.0 to 2.2 s: deleted, then added.
        clickColumn(run, 50, 3, "ctrl");
        ASSERT_TRUE(run.waitFor("break", "0 1000 3000", 10000)) << run.dump();
        clickColumn(run, 55, 1, "ctrl");
        ASSERT_TRUE(run.waitFor("break", "0 1000 2200 3000", 10000)) << run.dump();
        clickColumn(run, 112); // the fifth sentence (4.0..5.0 s)
        ASSERT_TRUE(run.waitFor("read", "4000 5000 1", 10000)) << run.dump();
        run.focus();
        run.key("m");
        ASSERT_TRUE(run.waitFor("notice", "已标记第5句，共标记2句", 10000)) << run.dump();
        ASSERT_TRUE(run.dragSpeedDown(20)) << run.dump();
        // The window writes every few seconds: once all of it is on disk, kill it.
        ASSERT_TRUE(becomes(
            [&] {
                return query(x, db, "SELECT sentence, speed FROM recording") == "4|-20\n" &&
                       query(x, db, "SELECT start_ms FROM sentence WHERE marked = 1 ORDER BY 1") == "2200\n4000\n";
            },
            30000))
            << query(x, db, "SELECT * FROM recording") << query(x, db, "SELECT * FROM sentence") << run.dump();
        ASSERT_EQ(::kill(run.child.pid(), SIGKILL), 0);
        run.child.wait(5000);
    }
    fs::rename(lesson, dir.file("renamed.wav"));
    fs::rename(dir.file("lesson.lrc"), dir.file("renamed.lrc"));

    // A trace of its own, the same store.
    TempDir again;
    TVorelRun run(x, again, shellQuote(dir.file("renamed.wav")), true, {{"XDG_DATA_HOME", dir.file("data")}});
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    ASSERT_TRUE(run.waitFor("load", "renamed.wav", 10000)) << run.stderrText();
    EXPECT_TRUE(run.waitFor("notice", "从上次停下的第5句继续", 10000)) << run.dump();
    EXPECT_TRUE(run.waitFor("break", "0 1000 2200 3000 4000", 10000)) << run.dump();
    EXPECT_EQ(run.count("notice", "播放速率调整：80%"), 1u) << run.dump();
    // Review, each sentence once with no pause: the two marked and nothing else.
    run.click(at::repeatTimes.first, at::repeatTimes.second);
    run.key("Home Down Return"); // 1次
    run.click(at::pauseTime.first, at::pauseTime.second);
    run.key("Home Return"); // 无
    ASSERT_TRUE(turnReviewOn(x, run)) << run.dump();
    EXPECT_EQ(run.count("notice", "复习模式：只读标记的2句"), 1u) << run.dump();
    const size_t before = run.count("read");
    run.focus();
    run.key("Right"); // from the fifth, the next marked one round: the third
    ASSERT_TRUE(run.waitFor("read", "2200 3000 1", 10000)) << run.dump();
    ASSERT_TRUE(run.waitFor("read", "4000 5000 1", 10000)) << run.dump();
    run.waitFor("read", "", 1500, before + 2); // nothing more may start
    std::vector<std::string> reads;
    for (const TraceLine &l : run.trace())
        if (l.kind == "read")
            reads.push_back(l.detail);
    EXPECT_EQ(std::vector<std::string>(reads.begin() + long(before), reads.end()),
              (std::vector<std::string>{"2200 3000 1", "4000 5000 1"}))
        << run.dump();
}

// A damaged store file, a data folder that cannot be written and a store held by
// another program: each time the lesson opens and plays, with one notice.
TEST(StudyE2E, AStoreThatCannotBeUsedNeverStopsALesson) {
    struct Case {
        const char *name, *notice;
        // Prepares the store folder; may start a program that holds the store.
        std::function<void(const TXSession &x, const std::string &folder, TChild &holder)> prepare;
        bool unwritable = false;
    };
    const Case cases[] = {
        {"damaged", "学习记录文件已损坏",
         [](const TXSession &, const std::string &folder, TChild &) {
             fs::create_directories(folder);
             writeText(folder + "/study.sqlite", std::string(5000, 'x'));
         }},
        {"read-only folder", "不能写入",
         [](const TXSession &, const std::string &folder, TChild &) {
             fs::create_directories(folder);
             ::chmod(folder.c_str(), 0555);
         },
         true},
        {"held by another program", "正被另一个Vorel使用",
         [](const TXSession &x, const std::string &folder, TChild &holder) {
             { vorel::study::TStudyStore made(folder); }
             const std::string db = folder + "/study.sqlite";
             writeText(folder + "/hold.sql", "BEGIN IMMEDIATE;\nUPDATE recording SET seen = 0;\n.shell sleep 120\n");
             holder = TChild("sqlite3 " + shellQuote(db) + " < " + shellQuote(folder + "/hold.sql"), {});
             // Held once a write of our own is refused.
             ASSERT_TRUE(becomes(
                 [&] {
                     return x.run("sqlite3 -cmd '.timeout 0' " + shellQuote(db) + " 'BEGIN IMMEDIATE; ROLLBACK;' 2>/dev/null") != 0;
                 },
                 10000));
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TXSession x;
        ASSERT_TRUE(x.ok());
        TempDir dir;
        const std::string lesson = makeLesson(dir);
        TChild holder;
        c.prepare(x, dir.file("data/vorel"), holder);
        std::string program = VORELPLAY;
        if (c.unwritable && ::geteuid() == 0) {
            // Root writes anywhere: the program runs as nobody, in folders open to it.
            ::chmod(dir.path().c_str(), 0777);
            program = dir.file("as-nobody.sh");
            writeText(program, "#!/bin/sh\nexec setpriv --reuid=65534 --regid=65534 --clear-groups " +
                                   shellQuote(VORELPLAY) + " \"$@\"\n");
            ::chmod(program.c_str(), 0755);
        }
        TVorelRun run(x, dir, shellQuote(lesson), true, {}, program);
        ASSERT_NE(run.window(), 0u) << run.stderrText();
        ASSERT_TRUE(run.waitFor("load", "lesson.wav", 10000)) << run.dump();
        run.click(at::play.first, at::play.second);
        EXPECT_TRUE(run.waitFor("read", "0 1000 1", 10000)) << run.dump();
        // The notice comes when the store opens or, held, when it first writes.
        EXPECT_TRUE(run.waitFor("notice", c.notice, 15000)) << run.dump();
        EXPECT_TRUE(run.waitFor("read", "1000 2000 1", 10000)) << run.dump();
        x.closeWindow(run.window());
        EXPECT_EQ(run.child.wait(10000), 0) << run.dump();
        EXPECT_EQ(run.count("notice", c.notice), 1u) << run.dump();
        ::chmod(dir.file("data/vorel").c_str(), 0755); // the folder can go
    }
}
