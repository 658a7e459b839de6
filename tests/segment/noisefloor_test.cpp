// The noise-floor pass over synthetic sample lists: sentences of varying loudness
// separated by pauses that hold steady noise instead of silence.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "segment/breakpointfile.h"
#include "segment/noisefloor.h"
#include "testfiles.h"

using vorel::segment::SplitAtNoiseFloor;
using vorel::segment::TSplitOutcome;
using vorel::segment::TSplitSettings;
using vorel::segment::TSplitWave;
using vorel::segment::TStrings;

namespace {

// Block peaks of speech: loud vowels, quieter consonants, never near the noise.
const int SpeechCycle[] = {20000, 12000, 25000, 9000, 16000, 22000, 14000};

struct Lesson {
    TStrings samples;
    TStrings pauseMiddles; // ms, where a split at the noise floor breaks
};

// units x (speech blocks, then pause blocks at noise level); `cleanUnits` lists
// the units whose pause is digital silence instead.
Lesson lesson(int units, int speechBlocks, int pauseBlocks, int noise, std::vector<int> cleanUnits = {}) {
    Lesson l;
    for (int u = 0; u < units; ++u) {
        for (int i = 0; i < speechBlocks; ++i)
            l.samples.push_back(std::to_string((i % 2 ? -1 : 1) * SpeechCycle[i % 7]));
        const bool clean = std::find(cleanUnits.begin(), cleanUnits.end(), u) != cleanUnits.end();
        const size_t start = l.samples.size();
        for (int i = 0; i < pauseBlocks; ++i) // noise peaks wander by 10 %
            l.samples.push_back(clean ? "0" : std::to_string((i % 2 ? -1 : 1) * (noise + noise / 10 * (i % 2))));
        if (u + 1 < units)
            l.pauseMiddles.push_back(std::to_string((start + pauseBlocks / 2) * 40));
    }
    return l;
}

TStrings withEnds(const TStrings &inner, size_t blocks) {
    TStrings out{"0"};
    out.insert(out.end(), inner.begin(), inner.end());
    out.push_back(std::to_string(blocks * 40));
    return out;
}

TStrings later(const TStrings &times, int blocks) {
    TStrings out;
    for (const std::string &t : times)
        out.push_back(std::to_string(std::stoi(t) + blocks * 40));
    return out;
}

TStrings fixedSplit(const TStrings &samples) {
    TStrings out;
    TSplitWave(TSplitSettings{}).Split(samples, out);
    return out;
}

} // namespace

TEST(NoiseFloorSplit, Cases) {
    struct Case {
        const char *what;
        TStrings samples;
        TStrings expected; // empty: the fixed level's result
        int32_t level;     // 1800: the fixed level's result is kept
    };
    // The noise peaks (3000 and 3300) spread less than the minimum margin: the
    // level lies 2 dB over their mode.
    const int32_t Level = static_cast<int32_t>(std::ceil(3000 * std::pow(10.0, 2.0 / 20)));
    // 10 sentences of 2.4 s and 400 ms pauses: 28 s.
    const Lesson noisy = lesson(10, 60, 10, 3000);
    const TStrings noisyExpected = withEnds(noisy.pauseMiddles, noisy.samples.size());

    // Exactly 20 s is the shortest recording tried: 497 blocks stand for 499 steps.
    const Lesson shortOne = lesson(7, 61, 10, 3000);
    TStrings twentySeconds{"20000"};
    twentySeconds.insert(twentySeconds.end(), shortOne.samples.begin(), shortOne.samples.end());

    // Digital silence before the room tone starts must not pull the floor down.
    TStrings leadIn(50, "0");
    leadIn.insert(leadIn.end(), noisy.samples.begin(), noisy.samples.end());

    // A last sentence of 20 blocks, under the 1200 ms minimum, as the fixed level
    // allows it too: the inner sentences decide.
    TStrings shortLast = noisy.samples;
    shortLast.insert(shortLast.end(), noisy.samples.begin(), noisy.samples.begin() + 20);
    TStrings shortLastMiddles = noisy.pauseMiddles;
    shortLastMiddles.push_back(std::to_string((noisy.samples.size() - 5) * 40));

    // One clean pause in 62 s: two sentences averaging over 30 s.
    const Lesson oneClean = lesson(22, 61, 10, 3000, {7});
    // Two clean pauses: three sentences of about 21 s stay as they are.
    const Lesson twoClean = lesson(22, 61, 10, 3000, {7, 14});

    const std::vector<Case> cases = {
        {"noise over the fixed level", noisy.samples, noisyExpected, Level},
        {"digital silence between sentences", lesson(10, 60, 10, 0).samples, {}, 1800},
        {"noise under the fixed level", lesson(10, 60, 10, 1500).samples, {}, 1800},
        {"nothing at the fixed level or above", TStrings(700, "1799"), {}, 1800},
        {"19960 ms", shortOne.samples, {}, 1800},
        {"20000 ms", twentySeconds, withEnds(later(shortOne.pauseMiddles, 1), twentySeconds.size()), Level},
        {"lead-in of digital silence", leadIn, withEnds(later(noisy.pauseMiddles, 50), leadIn.size()), Level},
        {"pauses as loud as the quiet speech", lesson(10, 60, 10, 9000).samples, {}, 1800},
        {"last sentence too short", shortLast, withEnds(shortLastMiddles, shortLast.size()), Level},
        {"sentences averaging over 30 s", oneClean.samples, withEnds(oneClean.pauseMiddles, oneClean.samples.size()),
         Level},
        {"sentences averaging 21 s", twoClean.samples, {}, 1800},
    };
    for (const Case &c : cases) {
        TStrings out{"stale"};
        const TSplitOutcome outcome = SplitAtNoiseFloor(TSplitSettings{}, c.samples, out);
        EXPECT_EQ(out, c.expected.empty() ? fixedSplit(c.samples) : c.expected) << c.what;
        EXPECT_EQ(outcome.SilenceLevel, c.level) << c.what;
        EXPECT_EQ(outcome.NoiseFloor, c.level != 1800) << c.what;
    }
}

TEST(NoiseFloorSplit, LoadStepReportsTheLevel) {
    vorel::test::TempDir dir;
    const Lesson noisy = lesson(10, 60, 10, 3000);
    vorel::segment::TSegmentList list;
    const auto load = vorel::segment::LoadBreakpoints(list, dir.file("noisy.wav"), noisy.samples, 28000);
    EXPECT_EQ(load.Source, vorel::segment::TBreakpointSource::Split);
    EXPECT_TRUE(load.Split.NoiseFloor);
    EXPECT_EQ(load.Split.SilenceLevel, 3777); // 2 dB over the noise of 3000
    EXPECT_EQ(list.Count(), 11);
}

// Noise wandering about the fixed level: it finds the quieter pauses by chance and
// misses the others. The second pass keeps those it found and adds the rest.
TEST(NoiseFloorSplit, CompletesASplitFoundByChance) {
    Lesson l = lesson(10, 60, 10, 2000);
    for (size_t u = 0; u < 3; ++u) // the first three pauses just under the fixed level
        for (size_t i = 0; i < 10; ++i)
            l.samples[u * 70 + 60 + i] = i % 2 ? "-1430" : "1300";
    const TStrings fixed = fixedSplit(l.samples);
    ASSERT_EQ(fixed.size(), 5u); // three of nine pauses
    TStrings out;
    const TSplitOutcome outcome = SplitAtNoiseFloor(TSplitSettings{}, l.samples, out);
    EXPECT_EQ(out, withEnds(l.pauseMiddles, l.samples.size()));
    for (const std::string &b : fixed)
        EXPECT_NE(std::find(out.begin(), out.end(), b), out.end()) << b;
    EXPECT_TRUE(outcome.NoiseFloor);
    EXPECT_GT(outcome.SilenceLevel, 2200); // above the louder noise
}
