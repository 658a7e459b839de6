#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "speech/speechfeatures.h"

using namespace vorel::speech;

namespace {

std::vector<float> tone(double hz, uint32_t rate, size_t n, float amp = 0.5f) {
    std::vector<float> s(n);
    for (size_t i = 0; i < n; ++i)
        s[i] = amp * static_cast<float>(std::sin(2 * M_PI * hz * static_cast<double>(i) / rate));
    return s;
}

double rms(const std::vector<float> &s, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += s[i] * s[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

} // namespace

TEST(Resampler, KeepsPassBandDropsAliases) {
    const struct {
        uint32_t in, out;
        double hz;
        double gain; // expected output level over input level
    } cases[] = {
        {44100, 16000, 1000, 1.0}, {22050, 16000, 3000, 1.0}, {8000, 16000, 1000, 1.0},
        {48000, 16000, 5000, 1.0},
        // Above the new Nyquist frequency: would fold back to 6 kHz unfiltered.
        {44100, 16000, 10000, 0.0},
    };
    for (const auto &c : cases) {
        const size_t n = c.in; // one second, pushed in uneven pieces
        const std::vector<float> in = tone(c.hz, c.in, n);
        TResampler r(c.in, c.out);
        std::vector<float> out;
        for (size_t at = 0; at < n; at += 997)
            r.Push(in.data() + at, std::min<size_t>(997, n - at), out);
        r.Finish(out);
        EXPECT_NEAR(static_cast<double>(out.size()), c.out, 1) << c.in << "->" << c.out;
        // Away from the edges, where the filter sees silence beyond the input.
        const double level = rms(out, out.size() / 4, out.size() * 3 / 4) / rms(in, n / 4, n * 3 / 4);
        // 2 %: the windowed sinc's ripple in the pass band; the stop band below -30 dB.
        EXPECT_NEAR(level, c.gain, c.gain > 0 ? 0.02 : 0.03) << c.in << "->" << c.out << " at " << c.hz;
    }
}

TEST(Mfcc, FramesDoNotDependOnHowSamplesArrive) {
    const TMfccSettings settings;
    std::vector<float> s = tone(440, settings.SampleRate, 16000 + 123);
    std::mt19937 rng(7);
    for (float &v : s)
        v += std::uniform_real_distribution<float>(-0.01f, 0.01f)(rng);
    TMfcc whole(settings), pieces(settings);
    TFeatureMatrix a, b;
    whole.Push(s.data(), s.size(), a);
    for (size_t at = 0; at < s.size(); at += 301)
        pieces.Push(s.data() + at, std::min<size_t>(301, s.size() - at), b);
    EXPECT_EQ(a.Dims, settings.Coefficients);
    EXPECT_EQ(a.Frames(), static_cast<int64_t>(s.size() / settings.Hop));
    EXPECT_EQ(a.Data, b.Data);
    EXPECT_THROW(TMfcc(TMfccSettings{16000, 256, 512, 40, 13}), std::invalid_argument); // hop past the window
}

TEST(Mfcc, NormalizedFeaturesHaveUnitSpread) {
    TFeatureMatrix m;
    m.Dims = 2;
    m.Data = {1, 5, 2, 5, 3, 5, 4, 5};
    NormalizeFeatures(m);
    double mean = 0, sq = 0;
    for (int64_t f = 0; f < m.Frames(); ++f) {
        mean += m.Row(f)[0];
        sq += m.Row(f)[0] * m.Row(f)[0];
        EXPECT_EQ(m.Row(f)[1], 0.0f); // a constant dimension says nothing
    }
    EXPECT_NEAR(mean, 0, 1e-6);
    EXPECT_NEAR(sq / 4, 1, 1e-6);
}

namespace {

TFeatureMatrix randomFrames(int64_t n, size_t dims, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> d;
    TFeatureMatrix m;
    m.Dims = dims;
    for (int64_t i = 0; i < n * static_cast<int64_t>(dims); ++i)
        m.Data.push_back(d(rng));
    return m;
}

// b's frames taken from a at the given rows: b's frame j repeats a's frame map[j].
TFeatureMatrix warped(const TFeatureMatrix &a, const std::vector<int64_t> &map) {
    TFeatureMatrix b;
    b.Dims = a.Dims;
    for (const int64_t r : map)
        b.Data.insert(b.Data.end(), a.Row(r), a.Row(r) + a.Dims);
    return b;
}

} // namespace

TEST(Dtw, FindsAKnownWarp) {
    const TFeatureMatrix a = randomFrames(400, 13, 1);
    // Slower in the first half (each frame twice), a long hold at row 250, faster
    // at the end (every other frame).
    std::vector<int64_t> map;
    for (int64_t r = 0; r < 200; ++r)
        map.insert(map.end(), {r, r});
    for (int64_t r = 200; r < 300; ++r)
        map.insert(map.end(), r == 250 ? 60 : 1, r);
    for (int64_t r = 300; r < 400; r += 2)
        map.push_back(r);
    map.push_back(399);
    const TFeatureMatrix b = warped(a, map);
    std::vector<int64_t> firstOf(400, -1);
    for (size_t j = map.size(); j-- > 0;)
        firstOf[map[j]] = static_cast<int64_t>(j);

    const struct {
        const char *name;
        std::vector<TBand> band;
    } bands[] = {
        {"no band", {}},
        {"wide band around the diagonal",
         [&] {
             std::vector<TBand> v;
             for (int64_t i = 0; i < 400; ++i) {
                 const int64_t c = i * b.Frames() / 400;
                 v.push_back({c - 150, c + 150});
             }
             return v;
         }()},
        {"edges out of order and out of range", std::vector<TBand>(400, TBand{900, -5})},
    };
    for (const auto &c : bands) {
        const TWarpPath p = WarpBanded(a, b, c.band);
        ASSERT_EQ(p.First.size(), 400u) << c.name;
        EXPECT_EQ(p.First[0], 0) << c.name;
        EXPECT_EQ(p.Last[399], b.Frames() - 1) << c.name;
        if (c.name[0] == 'e')
            continue; // a band made whole from nothing: only a path, any path
        for (int64_t r = 0; r < 400; r += 7)
            if (r != 399 && r % 2 == 0) {
                EXPECT_EQ(p.First[r], firstOf[r]) << c.name << " row " << r;
                EXPECT_NEAR(p.RowCost[r], 0, 1e-6) << c.name << " row " << r;
            }
        EXPECT_EQ(p.Last[250] - p.First[250] + 1, 60) << c.name;
    }
}

TEST(Dtw, PathNeverLeavesItsBandAndStopsOnRequest) {
    const TFeatureMatrix a = randomFrames(300, 4, 2), b = randomFrames(500, 4, 3);
    std::vector<TBand> band;
    for (int64_t i = 0; i < 300; ++i)
        band.push_back({i * 5 / 3 - 20, i * 5 / 3 + 20});
    const TWarpPath p = WarpBanded(a, b, band);
    ASSERT_EQ(p.First.size(), 300u);
    for (int64_t i = 1; i < 300; ++i) {
        EXPECT_GE(p.First[i], std::max<int64_t>(0, band[i].Lo));
        EXPECT_LT(p.Last[i], std::min<int64_t>(500, band[i].Hi));
        EXPECT_LE(p.First[i], p.Last[i]);
        // Steps of one row or column: rows follow on without a hole.
        EXPECT_TRUE(p.First[i] == p.Last[i - 1] || p.First[i] == p.Last[i - 1] + 1) << i;
    }
    int calls = 0;
    EXPECT_TRUE(WarpBanded(a, b, band, [&](double) { return ++calls < 2; }).First.empty());
    TFeatureMatrix other = randomFrames(10, 5, 4);
    EXPECT_TRUE(WarpBanded(a, other, {}).First.empty()); // dims differ
}
