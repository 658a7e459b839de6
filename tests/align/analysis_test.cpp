// What the aligner hears of a recording: the band energies that tell a pause
// under music or a murmur from speech.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "align/aligner.h"

using namespace vorel::align;

namespace {

// Band energies (dB) of the middle level value of a second of a sine.
std::vector<double> bandsOfTone(double hz, double amplitude, uint32_t rate) {
    std::vector<float> s(rate);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<float>(amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate));
    TRecordingAnalysis a(rate);
    a.Push(s.data(), s.size());
    a.Finish();
    EXPECT_EQ(a.Bands().size(), a.LevelDb().size() * SpeechBands);
    const size_t cell = a.LevelDb().size() / 2;
    std::vector<double> db;
    for (int b = 0; b < SpeechBands; ++b)
        db.push_back(a.Bands()[cell * SpeechBands + static_cast<size_t>(b)] / 2.0 - 120);
    return db;
}

} // namespace

TEST(RecordingAnalysis, ToneLandsInItsBandAtItsLevel) {
    struct Case {
        double hz;
        uint32_t rate;
        int band;
    };
    // Band edges 250, 375, 500, 650, 800, 1000, 1250, 1550, 1900, 2350, 2900, 3600,
    // 4500 Hz, each rounded down to a bin of 62.5 Hz.
    for (const Case &c : {Case{300, 16000, 0}, Case{656, 16000, 3}, Case{1100, 16000, 5}, Case{2000, 44100, 8},
                          Case{3200, 48000, 10}, Case{4000, 16000, 11}}) {
        const std::vector<double> db = bandsOfTone(c.hz, 0.1, c.rate);
        const auto loudest = std::max_element(db.begin(), db.end()) - db.begin();
        EXPECT_EQ(loudest, c.band) << c.hz << " Hz at " << c.rate;
        // A sine of amplitude A under a 256-point Hann window: its positive
        // frequencies hold 256^2 * A^2 * 3 / 32, kept over 256: -6.2 dB for A = 0.1,
        // less what spills into a narrow band's neighbours.
        EXPECT_NEAR(db[static_cast<size_t>(c.band)], -6.2, 1.5) << c.hz << " Hz";
        for (size_t b = 0; b < db.size(); ++b) {
            if (std::abs(static_cast<int>(b) - c.band) > 1) {
                EXPECT_LT(db[b], db[static_cast<size_t>(c.band)] - 30) << c.hz << " Hz, band " << b;
            }
        }
    }
}
