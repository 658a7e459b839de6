// The repeater as a learner uses it: open a lesson, choose the count and the
// pause, press play, and hear each sentence as often as chosen with the pause
// after each reading, never a word of the next sentence.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "e2esupport.h"

using namespace vorel::test;

namespace {

constexpr int Rate = 44100;
const double Tones[] = {400, 600, 800};

// Three sentences of one second, stamped at 0, 1 and 2 s: each a tone from onset
// after its stamp to 0.8 s, over a quiet hum that runs through the pauses, so that
// every sample of a reading is non-zero and the program's pauses are digital
// silence.
std::string makeLesson(const TempDir &dir, double onset = 0.2) {
    std::vector<int16_t> pcm(3 * Rate);
    for (size_t i = 0; i < pcm.size(); ++i) {
        const double t = double(i) / Rate;
        double v = 300 * std::sin(2 * M_PI * 110 * t);
        const int k = int(t);
        if (t - k >= onset && t - k < 0.8)
            v += 10000 * std::sin(2 * M_PI * Tones[k] * t);
        pcm[i] = int16_t(std::lround(v));
    }
    const std::string path = dir.file("three.wav");
    writeWav16(path, pcm, Rate, 1);
    writeText(dir.file("three.lrc"), "[00:00.00]one\n[00:01.00]two\n[00:02.00]three\n");
    return path;
}

struct Heard {
    double startMs, lengthMs, loudMs, hz;
};

// The readings in the played output (stereo s16 at 44.1 kHz): stretches of sound
// separated by at least 200 ms of digital silence.
std::vector<Heard> readingsIn(const std::vector<int16_t> &stereo) {
    std::vector<Heard> out;
    const size_t frames = stereo.size() / 2;
    size_t i = 0;
    while (i < frames) {
        while (i < frames && stereo[2 * i] == 0)
            ++i;
        if (i >= frames)
            break;
        const size_t start = i;
        size_t lastSound = i, zeros = 0;
        for (; i < frames && zeros < size_t(0.2 * Rate); ++i) {
            if (stereo[2 * i] != 0) {
                lastSound = i;
                zeros = 0;
            } else {
                ++zeros;
            }
        }
        // The loud part: from the first to the last sample of the tone.
        size_t first = 0, last = 0;
        bool any = false;
        for (size_t j = start; j <= lastSound; ++j)
            if (std::abs(stereo[2 * j]) > 3000) {
                if (!any)
                    first = j;
                any = true;
                last = j;
            }
        size_t crossings = 0;
        for (size_t j = first + 1; any && j <= last; ++j)
            if ((stereo[2 * j] >= 0) != (stereo[2 * j - 2] >= 0))
                ++crossings;
        const double loud = any ? double(last + 1 - first) / Rate : 0;
        out.push_back({start * 1000.0 / Rate, (lastSound + 1 - start) * 1000.0 / Rate, loud * 1000,
                       any ? crossings / 2.0 / loud : 0});
    }
    return out;
}

// Opens the lesson, sets 3次 and 1秒 with the mouse and keys, the speed, and plays
// to the end of the material.
std::vector<Heard> readLesson(int speedSteps, std::string *traceDump, std::vector<TraceLine> *trace) {
    TXSession x;
    EXPECT_TRUE(x.ok());
    TempDir dir;
    const std::string lesson = makeLesson(dir);
    TVorelRun run(x, dir, shellQuote(lesson));
    EXPECT_NE(run.window(), 0u) << run.stderrText();
    EXPECT_TRUE(run.waitFor("load", "three.wav", 10000)) << run.stderrText();
    if (speedSteps)
        EXPECT_TRUE(run.dragSpeedDown(speedSteps));
    run.click(at::repeatTimes.first, at::repeatTimes.second);
    run.key("Down Down Return"); // 1次 -> 3次
    run.click(at::pauseTime.first, at::pauseTime.second);
    run.key("Home Down Down Down Return"); // 1秒
    run.click(at::play.first, at::play.second);
    // The last sentence ends with the file: its third end is the end of the material.
    EXPECT_TRUE(run.waitFor("end", "file", 60000, 2));
    run.waitFor("read", "", 1500, 9); // nothing more may start
    x.closeWindow(run.window());
    EXPECT_EQ(run.child.wait(5000), 0);
    *trace = run.trace();
    for (const TraceLine &l : *trace)
        *traceDump += std::to_string(l.ms) + " " + l.kind + " " + l.detail + "\n";
    return readingsIn(run.played());
}

// The pause after each reading as the program timed it: from the end notification
// of one reading to the start of the next.
std::vector<long> pausesIn(const std::vector<TraceLine> &trace) {
    std::vector<long> ends, reads, pauses;
    for (const TraceLine &l : trace) {
        if (l.kind == "end")
            ends.push_back(l.ms);
        else if (l.kind == "read")
            reads.push_back(l.ms);
    }
    for (size_t r = 1; r < reads.size() && r - 1 < ends.size(); ++r)
        pauses.push_back(reads[r] - ends[r - 1]);
    return pauses;
}

void expectThreeTimesEach(const std::vector<Heard> &heard, double speed, const std::string &trace,
                          const std::vector<long> &pauses) {
    std::string list;
    for (const Heard &h : heard)
        list += std::to_string(int(h.startMs)) + "+" + std::to_string(int(h.lengthMs)) + " loud " +
                std::to_string(int(h.loudMs)) + " at " + std::to_string(int(h.hz)) + " Hz\n";
    ASSERT_EQ(heard.size(), 9u) << list << trace;
    ASSERT_EQ(pauses.size(), 8u) << trace;
    for (size_t r = 0; r < heard.size(); ++r) {
        SCOPED_TRACE("reading " + std::to_string(r + 1));
        const int k = int(r / 3);
        // Pitch unchanged at any speed: the sentence's own tone.
        EXPECT_NEAR(heard[r].hz, Tones[k], Tones[k] * 0.03);
        // The sentence to 100 ms past its end (the last one ends with the file),
        // stretched by the speed; within 20 ms.
        const double source = k < 2 ? 1100 : 1000;
        EXPECT_NEAR(heard[r].lengthMs, source / speed, 20);
        // Its tone alone: nothing of the next sentence's tone 200 ms later.
        EXPECT_NEAR(heard[r].loudMs, 600 / speed, 30);
        if (r > 0) {
            // The pause is counted in ticks of a GUI timer, which a busy machine
            // delays: the program's own trace says how long it was. It is never
            // shorter than the second chosen (coarse timers fire up to 5 % early).
            // The silence heard lies between the readings and is no longer than
            // that pause, give or take one output buffer and the delivery of the
            // end notification (250 ms). It may be shorter: the disk output is
            // paced by sleeping, and a busy machine's late wake-ups write fewer
            // buffers of silence than the wall clock passed, by no bound.
            const double gap = heard[r].startMs - (heard[r - 1].startMs + heard[r - 1].lengthMs);
            EXPECT_GT(pauses[r - 1], 950);
            EXPECT_GT(gap, 0);
            EXPECT_LT(gap, double(pauses[r - 1]) + 250);
        }
    }
}

} // namespace

TEST(RepeaterE2E, EachSentenceThreeTimesWithASecondAfterEachReading) {
    std::string dump;
    std::vector<TraceLine> trace;
    const std::vector<Heard> heard = readLesson(0, &dump, &trace);
    expectThreeTimesEach(heard, 1.0, dump, pausesIn(trace));
}

TEST(RepeaterE2E, TheSameAtEightyPercentSpeed) {
    std::string dump;
    std::vector<TraceLine> trace;
    const std::vector<Heard> heard = readLesson(20, &dump, &trace);
    expectThreeTimesEach(heard, 0.8, dump, pausesIn(trace));
}

// A stamp 40 ms before the next word: the reading stops before that word begins
// instead of playing 60 ms of it in a full 100 ms tail.
TEST(RepeaterE2E, TheTailStopsBeforeTheNextWord) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    TVorelRun run(x, dir, shellQuote(makeLesson(dir, 0.04)));
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    ASSERT_TRUE(run.waitFor("load", "three.wav", 10000)) << run.stderrText();
    run.click(at::pauseTime.first, at::pauseTime.second);
    run.key("Home Down Return"); // 暂停: one reading, then wait for play
    run.click(at::play.first, at::play.second);
    EXPECT_TRUE(run.waitFor("end", "segment", 10000));
    x.closeWindow(run.window());
    EXPECT_EQ(run.child.wait(5000), 0);

    const std::vector<Heard> heard = readingsIn(run.played());
    ASSERT_EQ(heard.size(), 1u);
    // Never before the sentence's end at 1000 ms; at most 20 ms into the next
    // tone, which begins at 1040 ms (a 40 ms column may begin before it).
    EXPECT_GE(heard[0].lengthMs, 1000 - 5);
    EXPECT_LE(heard[0].lengthMs, 1040 + 20);
    // The loud part is the sentence's own tone (40..800 ms) alone.
    EXPECT_NEAR(heard[0].loudMs, 760, 25);
    EXPECT_NEAR(heard[0].hz, Tones[0], Tones[0] * 0.03);
}

// The ladder 70→85→100 % on the first sentence: each of its three readings is
// the whole sentence to the same stop, stretched by its own step.
TEST(RepeaterE2E, ALadderReadsEachReadingAtItsStepOverTheWholeSentence) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    TVorelRun run(x, dir, shellQuote(makeLesson(dir)));
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    ASSERT_TRUE(run.waitFor("load", "three.wav", 10000)) << run.stderrText();
    run.click(at::ladder.first, at::ladder.second);
    run.key("Home Down Return"); // 70→85→100%
    ASSERT_TRUE(run.waitFor("notice", "逐遍变速：70%→85%→100%", 5000)) << run.stderrText();
    run.click(at::repeatTimes.first, at::repeatTimes.second);
    run.key("Down Down Return"); // 1次 -> 3次
    run.click(at::pauseTime.first, at::pauseTime.second);
    run.key("Home Down Down Down Return"); // 1秒: the readings stand apart in the output
    run.click(at::play.first, at::play.second);
    // The next sentence's first reading: the first one's three are all written.
    EXPECT_TRUE(run.waitFor("read", "1000 2000 1", 30000));
    x.closeWindow(run.window());
    EXPECT_EQ(run.child.wait(5000), 0);

    std::vector<std::string> speeds;
    for (const TraceLine &l : run.trace())
        if (l.kind == "speed")
            speeds.push_back(l.detail);
    EXPECT_EQ(std::vector<std::string>(speeds.begin(), speeds.begin() + std::min<size_t>(speeds.size(), 4)),
              (std::vector<std::string>{"70", "85", "100", "70"}));
    const std::vector<Heard> heard = readingsIn(run.played());
    ASSERT_GE(heard.size(), 3u);
    const double steps[] = {0.7, 0.85, 1.0};
    for (int r = 0; r < 3; ++r) {
        SCOPED_TRACE("reading " + std::to_string(r + 1));
        // The sentence to its stop 100 ms past its end, and its tone (to 0.8 s) whole.
        EXPECT_NEAR(heard[r].lengthMs, 1100 / steps[r], 20);
        EXPECT_NEAR(heard[r].loudMs, 600 / steps[r], 30);
        EXPECT_NEAR(heard[r].hz, Tones[0], Tones[0] * 0.03);
    }
    const double slow = heard[0].lengthMs / heard[2].lengthMs, middle = heard[1].lengthMs / heard[2].lengthMs;
    std::printf("ladder lengths %.1f %.1f %.1f ms, ratios %.4f (1/0.7 = %.4f) %.4f (1/0.85 = %.4f)\n", heard[0].lengthMs,
                heard[1].lengthMs, heard[2].lengthMs, slow, 1 / 0.7, middle, 1 / 0.85);
    EXPECT_NEAR(slow, 1 / 0.7, 0.01 / 0.7);
    EXPECT_NEAR(middle, 1 / 0.85, 0.01 / 0.85);
}
