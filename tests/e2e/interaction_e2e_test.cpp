// Mouse work and file handling on the real window: a one-key drag, a Ctrl + click
// breakpoint, damaged files, and files handed over by a second start.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "e2esupport.h"

using namespace vorel::test;

namespace {

// Ten seconds of a tone that changes pitch every second, with breakpoints every
// two seconds from its LRC file.
std::string makeTenSeconds(const TempDir &dir) {
    std::vector<int16_t> pcm;
    for (int s = 0; s < 10; ++s)
        append(pcm, tone(300 + 50 * s, 1.0, 22050, 1, 8000));
    const std::string path = dir.file("ten.wav");
    writeWav16(path, pcm, 22050, 1);
    writeText(dir.file("ten.lrc"), "[00:00.00]a\n[00:02.00]b\n[00:04.00]c\n[00:06.00]d\n[00:08.00]e\n");
    return path;
}

// The message box over the main window, dismissed with Return; false when none came.
} // namespace

TEST(InteractionE2E, AOneKeyDragRepeatsTheDraggedStretch) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    TVorelRun run(x, dir, shellQuote(makeTenSeconds(dir)), true);
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    ASSERT_TRUE(run.waitFor("load", "ten.wav", 10000));
    run.click(at::oneKeyMode.first, at::oneKeyMode.second);
    ASSERT_TRUE(run.waitFor("read", "", 3000)); // the mode plays on to the end
    const auto [x1, y1] = at::wave(50);
    const auto [x2, y2] = at::wave(100);
    run.drag(x1, y1, x2, y2);
    // Columns 49 .. 101: from one column before the drag to one past its end, read
    // again and again ("永远" in this mode).
    ASSERT_TRUE(run.waitFor("read", "1960 4040 1", 5000)) << run.stderrText();
    EXPECT_TRUE(run.waitFor("read", "1960 4040 2", 10000));
    EXPECT_TRUE(run.waitFor("read", "1960 4040 3", 10000));
}

TEST(InteractionE2E, CtrlClickAddsABreakpointAndTheCountRises) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    TVorelRun run(x, dir, shellQuote(makeTenSeconds(dir)), true);
    ASSERT_NE(run.window(), 0u);
    ASSERT_TRUE(run.waitFor("status", "共5个句子", 10000));
    const auto [cx, cy] = at::wave(75); // 3.00 s, a second after a breakpoint
    run.click(cx, cy, 1, "ctrl");
    EXPECT_TRUE(run.waitFor("status", "共6个句子", 3000));
    EXPECT_TRUE(run.waitFor("break", "0 2000 3000 4000 6000 8000 10000", 1000));
    EXPECT_EQ(run.count("notice", "在[3.00]处已成功添加了断点"), 1u);
    EXPECT_EQ(run.count("read"), 0u); // an edit plays nothing
    const auto [dx, dy] = at::wave(77); // 3.08 s: too close to the new one
    run.click(dx, dy, 3, "ctrl");
    EXPECT_TRUE(run.waitFor("status", "共5个句子", 3000)); // a right click deletes it again
}

TEST(InteractionE2E, DamagedFilesShowTheErrorAndTheWindowLoadsTheNextGoodFile) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    TVorelRun run(x, dir);
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    std::vector<uint8_t> noise(20000);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = uint8_t(i * 2654435761u >> 13);
    writeFile(dir.file("noise.mp3"), noise);
    writeFile(dir.file("empty.wav"), {});
    writeText(dir.file("words.wav"), "RIFF but not a wave at all");
    const std::vector<uint8_t> good = readFile(makeTenSeconds(dir));
    writeFile(dir.file("cut.wav"), std::vector<uint8_t>(good.begin(), good.begin() + 30));
    auto handOver = [&](const std::string &file) {
        auto env = x.env();
        env["TMPDIR"] = dir.path();
        env["XDG_RUNTIME_DIR"] = dir.path();
    env["XDG_DATA_HOME"] = dir.file("data");
        env["XDG_DATA_HOME"] = dir.file("data");
        TChild second(shellQuote(VORELPLAY) + " " + shellQuote(file), env);
        EXPECT_EQ(second.wait(15000), 0); // a ceiling for a hang, not a speed
    };
    size_t errors = 0;
    for (const char *name : {"noise.mp3", "empty.wav", "words.wav", "cut.wav"}) {
        SCOPED_TRACE(name);
        handOver(dir.file(name));
        ASSERT_TRUE(run.waitFor("error", name, 5000, 0)) << run.stderrText();
        EXPECT_EQ(run.count("error"), ++errors);
        EXPECT_TRUE(dismissBox(x, "Vorel语言复读机（免费体验版）"));
        EXPECT_TRUE(run.child.running());
    }
    // Play with no file loaded says so (the dialog would open: not in this run).
    handOver(dir.file("ten.wav"));
    EXPECT_TRUE(run.waitFor("load", "ten.wav", 10000));
    EXPECT_TRUE(run.waitFor("status", "共5个句子", 3000));
    run.click(at::play.first, at::play.second);
    EXPECT_TRUE(run.waitFor("read", "0 2000 1", 3000));
}

// No sound output at all: the file opens with its waveform and sentences, and the
// window says there is no output, at start and again when play is pressed.
TEST(InteractionE2E, WithoutSoundOutputTheFileOpensAndTheWindowSaysSo) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    const std::string notice = "未找到声音输出设备：可以打开文件、显示波形和断句，但听不到声音。";
    TVorelRun run(x, dir, shellQuote(makeTenSeconds(dir)), true, {{"SDL_AUDIODRIVER", "no-such-driver"}});
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    ASSERT_TRUE(run.waitFor("load", "ten.wav 10000 5", 10000)) << run.stderrText();
    EXPECT_EQ(run.count("notice", notice), 1u);
    run.click(at::play.first, at::play.second);
    EXPECT_TRUE(run.waitFor("notice", notice, 5000, 1));
    EXPECT_EQ(run.count("error"), 0u);
}

TEST(InteractionE2E, StrayPressesPlayNothingAndAFailedLoadKeepsTheLesson) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    // Paced: the first reading lasts while the test stops it.
    TVorelRun run(x, dir, shellQuote(makeTenSeconds(dir)));
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    ASSERT_TRUE(run.waitFor("status", "共5个句子", 10000));
    run.click(at::play.first, at::play.second); // previous and next are usable from here
    ASSERT_TRUE(run.waitFor("read", "0 2000 1", 3000));
    run.click(at::stop.first, at::stop.second);
    ASSERT_TRUE(run.waitFor("status", "结束播放", 3000));
    // The info line, the status cell, the time label: both buttons; the logo: the
    // right one (a left click on it opens the read-me). Never twice at one point:
    // a pointer that does not move keeps xdotool waiting.
    const struct {
        int x, y, button;
    } stray[] = {{373, 191, 1}, {380, 191, 3}, {707, 191, 1}, {712, 191, 3},
                 {693, 108, 1}, {699, 108, 3}, {691, 38, 3}};
    for (const auto &s : stray)
        run.click(s.x, s.y, s.button);
    run.click(at::next.first, at::next.second);
    ASSERT_TRUE(run.waitFor("read", "2000 4000 1", 3000));
    EXPECT_EQ(run.count("read"), 2u) << "a stray press started a reading";

    // A damaged file handed over by a second start: the box, then the old lesson.
    writeText(dir.file("broken.mp3"), std::string(5000, 'x'));
    auto env = x.env();
    env["TMPDIR"] = dir.path();
    env["XDG_RUNTIME_DIR"] = dir.path();
    env["XDG_DATA_HOME"] = dir.file("data");
    TChild second(shellQuote(VORELPLAY) + " " + shellQuote(dir.file("broken.mp3")), env);
    EXPECT_EQ(second.wait(15000), 0); // a ceiling for a hang, not a speed
    ASSERT_TRUE(run.waitFor("error", "broken.mp3", 5000)) << run.stderrText();
    EXPECT_TRUE(dismissBox(x, "Vorel语言复读机（免费体验版）"));
    const std::vector<TraceLine> trace = run.trace();
    auto lastStatus = std::find_if(trace.rbegin(), trace.rend(), [](const TraceLine &l) { return l.kind == "status"; });
    ASSERT_NE(lastStatus, trace.rend());
    EXPECT_NE(lastStatus->detail, "文件处理");
    run.click(at::next.first, at::next.second);
    EXPECT_TRUE(run.waitFor("read", "4000 6000 1", 3000));
    run.click(at::play.first, at::play.second);
    EXPECT_TRUE(run.waitFor("read", "4000 6000 1", 3000, 1));
    EXPECT_EQ(run.count("load"), 1u);
    EXPECT_EQ(run.count("error"), 1u);
}
