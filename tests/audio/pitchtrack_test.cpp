// Pitch every 10 ms on synthetic voices: a tone with harmonics after silence.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "pitchtrack.h"

using namespace vorel::audio;

namespace {
// lead seconds of quiet noise, then a second of a voiced sound at hz (three harmonics).
std::vector<int16_t> voiced(double hz, uint32_t rate, double lead) {
    std::vector<int16_t> s(size_t((lead + 1.0) * rate));
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 30);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        double v = noise(rng);
        if (t >= lead)
            for (int h = 1; h <= 3; ++h) v += 6000.0 / h * std::sin(2 * M_PI * hz * h * (t - lead));
        s[i] = int16_t(v);
    }
    return s;
}
} // namespace

TEST(PitchTrack, FindsThePitchWhereTheVoiceIs) {
    struct Case {
        double hz;
        uint32_t rate;
    } cases[] = {{85, 16000}, {140, 16000}, {230, 22050}, {330, 44100}, {180, 8000}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.hz << " Hz at " << c.rate);
        const std::vector<int16_t> s = voiced(c.hz, c.rate, 0.5);
        const std::vector<float> p = PitchTrack(s.data(), s.size(), c.rate);
        ASSERT_EQ(p.size(), 150u); // 10 ms frames
        // The voice starts at frame 50: within two frames (the analysis window
        // straddles the onset there).
        const auto first = std::find_if(p.begin(), p.end(), [](float v) { return v > 0; }) - p.begin();
        EXPECT_NEAR(double(first), 50, 2);
        int voicedRight = 0;
        for (size_t i = 55; i < 145; ++i) voicedRight += std::abs(p[i] - c.hz) < c.hz * 0.02;
        EXPECT_GE(voicedRight, 88); // nearly all of its frames, within 2 %
        EXPECT_TRUE(std::all_of(p.begin(), p.begin() + 47, [](float v) { return v == 0; }));
    }
    EXPECT_TRUE(PitchTrack(nullptr, 0, 16000).empty());
}
