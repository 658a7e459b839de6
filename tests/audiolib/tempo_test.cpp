// Tempo streams under the manual clock: a range ends exactly where the sync says,
// at every speed the program offers, and the pitch stays.
#include <cmath>

#include "enginetest.h"
#include "testfiles.h"

using namespace vorel::test;
using namespace vorel::enginetest;

namespace {

constexpr int kRate = 44100;

struct Speed {
    int percent;
    double ratio;
};

class TempoRange : public ::testing::TestWithParam<Speed> {};

// A 10 s range (plus the player's 100 ms tail) of a continuous loud tone: the output
// must go silent exactly after round((E - S) / ratio) frames. 5 ms of tolerance
// covers the fade SoundTouch's overlap-add may put on the last sequence.
TEST_P(TempoRange, StopsExactlyAtTheSyncWithPitchKept) {
    TempDir dir;
    const std::string wav = dir.file("tone.wav");
    writeWav16(wav, tone(440, 12.0, kRate, 2), kRate, 2);
    Recorder rec;
    ManualClock clock(&rec.target);
    DWORD dec = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
    ASSERT_NE(dec, 0u) << BASS_ErrorGetCode();
    DWORD h = BASS_FX_TempoCreate(dec, BASS_FX_FREESOURCE);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    ASSERT_TRUE(BASS_FX_TempoSet(h, float(GetParam().percent), 0, -100));

    const QWORD S = BASS_ChannelSeconds2Bytes(h, 1.0f);
    const QWORD E = BASS_ChannelSeconds2Bytes(h, 11.1f);
    ASSERT_NE(BASS_ChannelSetSync(h, kPauseSync, E, pauseProc, h), 0u);
    ASSERT_NE(BASS_ChannelSetSync(h, kMessageSync, E, reinterpret_cast<SYNCPROC *>(kSegmentEnd), h), 0u);
    ASSERT_NE(BASS_ChannelSetSync(h, kEndMessageSync, 0, reinterpret_cast<SYNCPROC *>(kFileEnd), 0), 0u);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, S));
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));

    const double expected = std::round(double((E - S) / 4) / GetParam().ratio);
    auto pcm = renderWhilePlaying(h, size_t(expected) + kRate);
    // Render a little more: a paused channel must stay silent.
    std::vector<int16_t> tail(2000 * 2);
    VorelAudio_Render(tail.data(), 2000);
    append(pcm, tail);

    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PAUSED));
    EXPECT_NEAR(double(loudFrames(pcm)), expected, kRate * 0.005);
    EXPECT_EQ(BASS_ChannelGetPosition(h), E);
    // Pitch: the middle second of the output still holds a 440 Hz tone (2 %).
    const size_t mid = size_t(expected / 2);
    EXPECT_NEAR(crossingsPerSecond(pcm.data() + 2 * mid, kRate, 2, 0, kRate), 880, 880 * 0.02);

    ASSERT_EQ(rec.count(kSegmentEnd), 1);
    EXPECT_EQ(rec.posts[0].stateAtPost, DWORD(BASS_ACTIVE_PAUSED)) << "posted before the pause took effect";
    EXPECT_EQ(rec.count(kFileEnd), 0);
}

INSTANTIATE_TEST_SUITE_P(Speeds, TempoRange,
                         ::testing::Values(Speed{-40, 0.6}, Speed{0, 1.0}, Speed{40, 1.4}),
                         [](const auto &info) { return "tempo" + std::to_string(info.param.percent + 100); });

} // namespace
