// The comparison view's arithmetic, without a window.
#include <gtest/gtest.h>

#include <cmath>

#include "view/comparemath.h"

using namespace vorel::view;

TEST(CompareMath, WaveColumnsTakeEverySampleOnce) {
    const std::vector<int16_t> s = {1, -2, 3, -4, 5, -6, 7, -8, 9, -10};
    struct Case {
        int64_t first, end;
        int columns;
        std::vector<std::pair<int, int>> expect; // low, high
    } cases[] = {
        {0, 10, 3, {{-2, 3}, {-6, 5}, {-10, 9}}}, // 3, 3, 4 samples
        {0, 10, 1, {{-10, 9}}},
        {2, 4, 4, {{0, 0}, {3, 3}, {0, 0}, {-4, -4}}}, // fewer samples than columns
        {8, 99, 2, {{9, 9}, {-10, -10}}},               // clamped to the samples there are
        {5, 5, 2, {{0, 0}, {0, 0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << ".." << c.end << " in " << c.columns);
        const std::vector<TPeak> got = WaveColumns(s.data(), s.size(), c.first, c.end, c.columns);
        ASSERT_EQ(got.size(), c.expect.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].low, c.expect[i].first) << i;
            EXPECT_EQ(got[i].high, c.expect[i].second) << i;
        }
    }
}

TEST(CompareMath, PitchOnALogScale) {
    struct Case {
        double hz;
        int y;
    } cases[] = {
        {100, 109},                  // the bottom row of top 10, height 100
        {400, 10},                   // the top row
        {200, 60},                   // an octave up of two: half way (rounded)
        {50, 109}, {1000, 10},       // clamped
        {0, -1}, {-5, -1}, {NAN, -1}, // unvoiced
    };
    for (const Case &c : cases) EXPECT_EQ(PitchY(c.hz, 100, 400, 10, 100), c.y) << c.hz;
    EXPECT_EQ(PitchY(200, 100, 100, 0, 100), -1); // no range
}

TEST(CompareMath, RegisterRatioComparesVoicedMedians) {
    struct Case {
        std::vector<float> sentence, take;
        double ratio;
    } cases[] = {
        {{0, 100, 110, 120, 0}, {200, 0, 220, 240}, 0.5}, // unvoiced frames ignored
        {{150, 150}, {100, 100, 100, 400}, 1.5},          // a median, not a mean
        {{0, 0}, {200}, 1.0},                             // nothing voiced: left as it is
        {{120}, {}, 1.0},
    };
    for (const Case &c : cases) EXPECT_DOUBLE_EQ(RegisterRatio(c.sentence, c.take), c.ratio);
}

TEST(CompareMath, TimeMapFollowsThePath) {
    // The take is twice as slow: take frames 2i and 2i+1 pair with sentence frame i;
    // then it lingers on the sentence's last frame for two more frames.
    TWarpPath path;
    for (int i = 0; i < 5; ++i) path.insert(path.end(), {{i, 2 * i}, {i, 2 * i + 1}});
    path.insert(path.end(), {{4, 10}, {4, 11}});
    const std::vector<double> toSentence = FrameMap(path, 12, true);
    const std::vector<double> toTake = FrameMap(path, 5, false);
    EXPECT_EQ(toSentence, (std::vector<double>{0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 4, 4}));
    EXPECT_EQ(toTake, (std::vector<double>{0.5, 2.5, 4.5, 6.5, 9.5}));
    struct Case {
        double frame, expect;
    } cases[] = {{0, 0.5}, {0.5, 1.5}, {3.25, 7.25}, {4, 9.5}, {7, 9.5}, {-1, 0.5}};
    for (const Case &c : cases) EXPECT_DOUBLE_EQ(MapAt(toTake, c.frame), c.expect) << c.frame;
    // Times go centre to centre: the sentence's 3rd frame boundary is the take's 6th.
    EXPECT_DOUBLE_EQ(MapTime(toTake, 3), 6);
    // Frames past the path's end map to the other side's last frame.
    EXPECT_EQ(FrameMap(path, 14, true).back(), 4);
    EXPECT_EQ(MapAt({}, 3), 0);
}

// A take that says the sentence at half speed, drawn through the path, looks like
// the sentence column by column.
TEST(CompareMath, WarpedTakeLinesUpWithTheSentence) {
    const uint32_t rate = 1000;
    const double hop = 0.01; // 10 samples a frame
    std::vector<int16_t> sentence(2000), take(4000);
    for (size_t i = 0; i < sentence.size(); ++i)
        sentence[i] = int16_t((i / 100) % 2 ? 8000 * std::sin(double(i)) : 100 * std::sin(double(i)));
    for (size_t i = 0; i < take.size(); ++i) take[i] = sentence[i / 2];
    TWarpPath path;
    for (int i = 0; i < 200; ++i) path.insert(path.end(), {{i, 2 * i}, {i, 2 * i + 1}});
    const auto toTake = FrameMap(path, 200, false);
    const int columns = 40;
    const auto warped = WarpedColumns(take.data(), take.size(), rate, toTake, hop, 2.0, columns);
    const auto plain = WaveColumns(sentence.data(), sentence.size(), 0, 2000, columns);
    ASSERT_EQ(warped.size(), plain.size());
    // Loud and quiet stretches of 100 ms alternate; each column holds the same
    // stretch as the sentence's, to the sample (the take repeats every sample).
    for (int x = 0; x < columns; ++x) {
        EXPECT_EQ(warped[size_t(x)].high, plain[size_t(x)].high) << x;
        EXPECT_EQ(warped[size_t(x)].low, plain[size_t(x)].low) << x;
    }
}

TEST(CompareMath, StraightPathStepsAlongTheDiagonal) {
    struct Case {
        int32_t n, m;
    } cases[] = {{1, 1}, {5, 5}, {3, 7}, {10, 4}, {0, 3}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.n << "x" << c.m);
        const TWarpPath p = StraightPath(c.n, c.m);
        const int32_t n = std::max(c.n, 1), m = std::max(c.m, 1);
        ASSERT_EQ(p.size(), size_t(n + m - 1)); // one step at a time
        EXPECT_EQ(p.front(), std::make_pair(0, 0));
        EXPECT_EQ(p.back(), std::make_pair(n - 1, m - 1));
        for (size_t k = 1; k < p.size(); ++k) {
            EXPECT_EQ(p[k].first - p[k - 1].first + p[k].second - p[k - 1].second, 1);
            // Never further off the line than one frame of the shorter side.
            if (n > 1 && m > 1) {
                const double off = std::abs(double(p[k].first) / (n - 1) - double(p[k].second) / (m - 1));
                EXPECT_LE(off, 1.0 / (std::min(n, m) - 1) + 1e-9) << k;
            }
        }
    }
}
