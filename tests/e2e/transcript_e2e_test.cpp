// Lessons with subtitles on the real window: the cues as breakpoints, the
// transcript following the readings, dictation, and saving the edited breakpoints.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2esupport.h"

using namespace vorel::test;

namespace {

// Tones of 1.5 s with 0.5 s between them, then silence to the end; one cue per
// tone. Returns the audio path.
std::string makeSubtitledLesson(const TempDir &dir, const std::vector<std::string> &texts, double tailSeconds) {
    std::vector<int16_t> pcm;
    std::string srt;
    for (size_t i = 0; i < texts.size(); ++i) {
        append(pcm, tone(300 + 150 * double(i), 1.5, 22050, 1, 8000));
        append(pcm, silence(i + 1 < texts.size() ? 0.5 : tailSeconds, 22050, 1));
        const int s = int(2 * i);
        srt += std::to_string(i + 1) + "\r\n00:00:0" + std::to_string(s) + ",000 --> 00:00:0" + std::to_string(s + 1) +
               ",500\r\n" + texts[i] + "\r\n\r\n";
    }
    const std::string path = dir.file("lesson.wav");
    writeWav16(path, pcm, 22050, 1);
    writeText(dir.file("lesson.srt"), srt);
    return path;
}

std::vector<std::string> details(const TVorelRun &run, const std::string &kind) {
    std::vector<std::string> out;
    for (const TraceLine &l : run.trace())
        if (l.kind == kind)
            out.push_back(l.detail);
    return out;
}

// The transcript window's id, 0 when it has not opened.
unsigned long transcriptWindow(const TXSession &x) {
    const auto found = x.findWindows("TfMainFree", 5000, "文本");
    return found.empty() ? 0 : found.front();
}

// Distinct colours in the text column of the transcript's first row: a hidden text
// leaves the row's plain background, a shown one its glyphs' shades.
int firstRowTextColours(const TXSession &x, unsigned long id) {
    std::string out;
    x.run("import -window " + std::to_string(id) + " png:- | convert png:- -crop 300x18+150+30 +repage -format %k info:",
          &out);
    return std::atoi(out.c_str());
}

std::string dump(const TVorelRun &run) {
    std::string out = run.stderrText();
    for (const TraceLine &l : run.trace())
        out += std::to_string(l.ms) + " " + l.kind + " " + l.detail + "\n";
    return out;
}

} // namespace

TEST(TranscriptE2E, SubtitleCuesAreTheBreakpointsAndTheTextFollowsTheReadings) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    const std::string lesson = makeSubtitledLesson(dir, {"第一句", "<i>Second</i> one", "第三句"}, 3.5);
    TVorelRun run(x, dir, shellQuote(lesson), true);
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    ASSERT_TRUE(run.waitFor("load", "lesson.wav", 10000)) << run.stderrText();
    // The cue starts, and the end of the last cue: 3.5 s of silence follow it.
    EXPECT_EQ(details(run, "break"), std::vector<std::string>{"0 2000 4000 5500 9000"});
    EXPECT_NE(transcriptWindow(x), 0u); // opened by itself: the cues carry text
    run.click(at::pauseTime.first, at::pauseTime.second);
    run.key("Home Return"); // 无
    run.click(at::play.first, at::play.second);
    ASSERT_TRUE(run.waitFor("end", "file", 30000)) << run.stderrText();
    EXPECT_EQ(details(run, "text"), (std::vector<std::string>{"第一句", "Second one", "第三句"}));
    // Each text comes as its sentence becomes current, before its reading.
    std::vector<long> textAt, readAt;
    for (const TraceLine &l : run.trace()) {
        if (l.kind == "text")
            textAt.push_back(l.ms);
        if (l.kind == "read")
            readAt.push_back(l.ms);
    }
    ASSERT_GE(readAt.size(), 3u);
    for (size_t i = 0; i < textAt.size(); ++i)
        EXPECT_LE(textAt[i], readAt[i]) << i;
}

TEST(TranscriptE2E, DictationShowsTheTextOnlyAfterTheLastReading) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    const std::string lesson = makeSubtitledLesson(dir, {"听写这一句 Write this down"}, 0.5);
    TVorelRun run(x, dir, shellQuote(lesson), true);
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    ASSERT_TRUE(run.waitFor("load", "lesson.wav", 10000)) << run.stderrText();
    const unsigned long t = transcriptWindow(x);
    ASSERT_NE(t, 0u);
    run.click(at::repeatTimes.first, at::repeatTimes.second);
    run.key("Down Return"); // 2次
    run.click(at::pauseTime.first, at::pauseTime.second);
    run.key("Home Down Return"); // 暂停: wait for play after each reading
    const int shown = firstRowTextColours(x, t);

    const int h = x.size(t).second;
    x.run("xdotool mousemove --window " + std::to_string(t) + " 14 " + std::to_string(h - 20) + " click 1");
    const int hidden = firstRowTextColours(x, t);
    EXPECT_GT(shown, hidden + 5) << shown << " " << hidden;

    run.click(at::play.first, at::play.second);
    ASSERT_TRUE(run.waitFor("status", "暂停...按播放键朗读下一遍", 10000)) << dump(run);
    EXPECT_LE(firstRowTextColours(x, t), hidden + 2); // after the first of two readings
    run.click(at::play.first, at::play.second);
    ASSERT_TRUE(run.waitFor("end", "", 10000, 1));
    // The status of the end comes with the reveal; give the repaint a moment.
    int after = 0;
    for (int i = 0; i < 20 && after <= hidden + 5; ++i)
        after = firstRowTextColours(x, t);
    EXPECT_GT(after, hidden + 5) << after << " " << hidden;
}

// Ctrl + left click splits, Ctrl + right click joins (the joined sentence keeps
// both texts), Ctrl + S saves, and a new start loads the same sentences and texts.
TEST(TranscriptE2E, CtrlClickThenCtrlSWritesAnLrcThatLoadsToTheSameBreakpoints) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    const std::string lesson = makeSubtitledLesson(dir, {"第一句", "Second one", "第三句"}, 0.5);
    std::vector<std::string> saved;
    {
        TVorelRun run(x, dir, shellQuote(lesson), true, {{"VORELPLAY_NO_DIALOGS", "1"}});
        ASSERT_NE(run.window(), 0u) << run.stderrText();
        ASSERT_TRUE(run.waitFor("break", "0 2000 4000 6000", 10000)) << run.stderrText();
        const auto [cx, cy] = at::wave(75); // 3.00 s
        run.click(cx, cy, 1, "ctrl");
        ASSERT_TRUE(run.waitFor("break", "0 2000 3000 4000 6000", 3000));
        const auto [jx, jy] = at::wave(50); // 2.00 s, between 第一句 and Second one
        run.click(jx, jy, 3, "ctrl");
        ASSERT_TRUE(run.waitFor("break", "0 3000 4000 6000", 3000));
        run.focus();
        run.key("ctrl+s");
        // The save dialog as a learner sees it, the name proposed beside the lesson.
        ASSERT_TRUE(dismissBox(x, "保存断点")) << run.stderrText();
        ASSERT_TRUE(run.waitFor("notice", "断点已保存到lesson.lrc", 3000)) << run.stderrText();
        saved = details(run, "break");
        x.closeWindow(run.window());
        EXPECT_EQ(run.child.wait(5000), 0);
    }
    ASSERT_EQ(saved.size(), 4u);
    EXPECT_EQ(saved.back(), "0 3000 4000 6000");
    const std::vector<uint8_t> lrc = readFile(dir.file("lesson.lrc"));
    EXPECT_NE(std::string(lrc.begin(), lrc.end()).find("]第一句 Second one\n"), std::string::npos);

    // A server of its own for the second start: the first program's X server has
    // been seen to refuse a later connection once that program had closed.
    TXSession x2;
    ASSERT_TRUE(x2.ok());
    TempDir second;
    TVorelRun again(x2, second, shellQuote(lesson), true);
    ASSERT_NE(again.window(), 0u) << again.stderrText();
    ASSERT_TRUE(again.waitFor("load", "lesson.wav", 10000)) << again.stderrText();
    EXPECT_EQ(details(again, "break"), std::vector<std::string>{saved.back()});
    EXPECT_EQ(details(again, "text").front(), "第一句 Second one");
}

// Space, Left and Right in the main window and in the transcript window act as
// the pause (else play), previous and next buttons.
TEST(TranscriptE2E, TransportKeysInBothWindows) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    const std::string lesson = makeSubtitledLesson(dir, {"第一句", "Second one", "第三句"}, 0.5);
    TVorelRun run(x, dir, shellQuote(lesson), true);
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    ASSERT_TRUE(run.waitFor("load", "lesson.wav", 10000)) << run.stderrText();
    const unsigned long t = transcriptWindow(x);
    ASSERT_NE(t, 0u);
    run.click(at::repeatTimes.first, at::repeatTimes.second);
    run.key("Home Return"); // 永远: a sentence is left only by the keys
    run.click(at::pauseTime.first, at::pauseTime.second);
    run.key("Home Down Return"); // 暂停: each reading waits for play, so the keys land between readings
    run.focus();
    run.key("space");
    ASSERT_TRUE(run.waitFor("read", "0 2000 1", 5000)) << dump(run);
    ASSERT_TRUE(run.waitFor("status", "暂停...", 5000)) << dump(run);
    run.key("Right");
    ASSERT_TRUE(run.waitFor("read", "2000 4000 1", 5000)) << dump(run);
    run.key("Left");
    ASSERT_TRUE(run.waitFor("read", "0 2000 1", 5000, 1)) << dump(run);

    x.run("xdotool windowfocus --sync " + std::to_string(t));
    run.key("Right");
    ASSERT_TRUE(run.waitFor("read", "2000 4000 1", 5000, 1)) << dump(run);
    run.key("Right");
    ASSERT_TRUE(run.waitFor("read", "4000 6000 1", 5000)) << dump(run);
    run.key("Left");
    ASSERT_TRUE(run.waitFor("read", "2000 4000 1", 5000, 2)) << dump(run);
    // After the reading: the held pause goes on with Space, as with the pause button.
    ASSERT_TRUE(run.waitFor("status", "暂停...", 5000, 3)) << dump(run);
    run.key("space");
    ASSERT_TRUE(run.waitFor("read", "2000 4000 2", 5000)) << dump(run);
}

// A plain text beside a recording of speech: the lesson opens at once, and once
// the text is aligned its sentences become the breakpoints, the transcript opens
// by itself and the readings carry the texts.
TEST(TranscriptE2E, APlainTextBesideTheRecordingIsAlignedToIt) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    const std::vector<std::string> texts{"Good morning.", "How are you today?", "I am fine, thank you."};
    std::string parts, text;
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string part = dir.file("part" + std::to_string(i) + ".wav");
        ASSERT_TRUE(mustRun("espeak-ng -v en-us+m3 -s 140 -w " + part + " " + shellQuote(texts[i])));
        ASSERT_TRUE(mustRun("sox " + part + " " + dir.file("p" + std::to_string(i) + ".wav") + " pad 0 0.7"));
        parts += " " + dir.file("p" + std::to_string(i) + ".wav");
        text += texts[i] + (i == 1 ? "\n\n" : " ");
    }
    const std::string lesson = dir.file("talk.wav");
    ASSERT_TRUE(mustRun("sox" + parts + " " + lesson));
    writeText(dir.file("talk.txt"), text);
    TVorelRun run(x, dir, shellQuote(lesson), true);
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    ASSERT_TRUE(run.waitFor("load", "talk.wav", 20000)) << dump(run);
    EXPECT_TRUE(run.waitFor("notice", "已按文本对齐3句", 5000)) << dump(run);
    const std::vector<std::string> lists = details(run, "break");
    ASSERT_FALSE(lists.empty());
    EXPECT_EQ(std::count(lists.back().begin(), lists.back().end(), ' '), 3) << lists.back(); // 3 sentences and the end
    EXPECT_NE(transcriptWindow(x), 0u);
    run.click(at::pauseTime.first, at::pauseTime.second);
    run.key("Home Return"); // 无
    run.click(at::play.first, at::play.second);
    ASSERT_TRUE(run.waitFor("end", "file", 30000)) << dump(run);
    EXPECT_EQ(details(run, "text"), texts);
}
