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
void PrintTo(const Speed &s, std::ostream *os) { *os << s.percent << " %"; }

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

namespace {

class TempoStream : public ::testing::Test {
protected:
    void SetUp() override { writeWav16(wav, tone(440, 6.0, kRate, 2), kRate, 2); }
    DWORD open(int percent) {
        DWORD dec = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
        DWORD h = BASS_FX_TempoCreate(dec, BASS_FX_FREESOURCE);
        EXPECT_NE(h, 0u) << BASS_ErrorGetCode();
        EXPECT_TRUE(BASS_FX_TempoSet(h, float(percent), 0, -100));
        EXPECT_NE(BASS_ChannelSetSync(h, kEndMessageSync, 0, reinterpret_cast<SYNCPROC *>(kFileEnd), 0), 0u);
        return h;
    }
    void playRange(DWORD h, QWORD S, QWORD E) {
        ASSERT_NE(BASS_ChannelSetSync(h, kPauseSync, E, pauseProc, h), 0u);
        ASSERT_NE(BASS_ChannelSetSync(h, kMessageSync, E, reinterpret_cast<SYNCPROC *>(kSegmentEnd), h), 0u);
        ASSERT_TRUE(BASS_ChannelSetPosition(h, S));
        ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    }
    TempDir dir;
    std::string wav = dir.file("tone.wav");
    Recorder rec;
};

// The play line: mid-range the position is the source byte being heard.
TEST_F(TempoStream, PositionMidRangeIsTheSourcePositionHeard) {
    ManualClock clock(&rec.target);
    DWORD h = open(40);
    const QWORD S = BASS_ChannelSeconds2Bytes(h, 0.5f);
    playRange(h, S, BASS_ChannelSeconds2Bytes(h, 5.0f));
    std::vector<int16_t> buf(2 * 1000);
    for (int i = 0; i < 100; ++i) VorelAudio_Render(buf.data(), 1000);
    const double expectedSeconds = 0.5 + 100000.0 * 1.4 / kRate;
    const double seconds = BASS_ChannelBytes2Seconds(h, BASS_ChannelGetPosition(h));
    EXPECT_NEAR(seconds, expectedSeconds, 0.030);
    EXPECT_EQ(BASS_ChannelGetPosition(h) % 4, 0u);
}

// After the range pause, resuming goes on past the range end.
TEST_F(TempoStream, ResumeContinuesPastTheRange) {
    ManualClock clock(&rec.target);
    DWORD h = open(-40);
    const QWORD E = BASS_ChannelSeconds2Bytes(h, 1.6f);
    playRange(h, BASS_ChannelSeconds2Bytes(h, 1.0f), E);
    renderWhilePlaying(h, 5 * kRate);
    ASSERT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_PAUSED));
    ASSERT_EQ(BASS_ChannelGetPosition(h), E);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    std::vector<int16_t> buf(2 * 4410);
    VorelAudio_Render(buf.data(), 4410);
    EXPECT_GT(loudFrames(buf), 4000u);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetPosition(h)), 1.6 + 0.1 * 0.6, 0.03);
    EXPECT_EQ(rec.count(kSegmentEnd), 1);
}

// The player's end of range is 100 ms past the sentence; at the end of the file
// that lies beyond the end: the stream stops there and only the end message comes.
TEST_F(TempoStream, RangePastTheEndGivesOnlyTheEndMessage) {
    ManualClock clock(&rec.target);
    DWORD h = open(0);
    const QWORD len = BASS_ChannelGetLength(h);
    playRange(h, len - BASS_ChannelSeconds2Bytes(h, 0.5f), len + BASS_ChannelSeconds2Bytes(h, 0.1f));
    auto pcm = renderWhilePlaying(h, 5 * kRate);
    EXPECT_EQ(BASS_ChannelIsActive(h), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_NEAR(double(loudFrames(pcm)), 0.5 * kRate, kRate * 0.005);
    ASSERT_EQ(rec.posts.size(), 1u);
    EXPECT_EQ(rec.posts[0].msg, kFileEnd);
    EXPECT_EQ(BASS_ChannelGetPosition(h), len);
}

// Other source formats: the range length scales with the source rate (the tempo
// processor also converts to the device rate), the tone keeps its pitch.
TEST(TempoFormats, RangeExactForMp3AndLowRateSources) {
    TempDir dir;
    struct Case {
        std::string name;
        std::string make;
        int rate;
    } cases[] = {
        {"mono22050.mp3",
         "sox -n -r 22050 -c 1 -b 16 " + shellQuote(dir.file("a.wav")) + " synth 4 sine 440 vol 0.4 && lame --quiet " +
             shellQuote(dir.file("a.wav")) + " " + shellQuote(dir.file("mono22050.mp3")),
         22050},
        {"u8mono11025.wav", "sox -n -r 11025 -c 1 -b 8 -e unsigned " + shellQuote(dir.file("u8mono11025.wav")) +
                                " synth 4 sine 440 vol 0.4",
         11025},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(mustRun(c.make));
        Recorder rec;
        ManualClock clock(&rec.target);
        DWORD dec = BASS_StreamCreateFile(FALSE, dir.file(c.name).c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
        ASSERT_NE(dec, 0u) << BASS_ErrorGetCode();
        DWORD h = BASS_FX_TempoCreate(dec, BASS_FX_FREESOURCE);
        ASSERT_TRUE(BASS_FX_TempoSet(h, 40, 0, -100));
        BASS_CHANNELINFO info;
        ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
        EXPECT_EQ(info.freq, DWORD(c.rate));
        const QWORD S = BASS_ChannelSeconds2Bytes(h, 0.5f), E = BASS_ChannelSeconds2Bytes(h, 3.1f);
        const DWORD fb = info.chans * ((info.flags & BASS_SAMPLE_8BITS) ? 1 : 2);
        ASSERT_NE(BASS_ChannelSetSync(h, kPauseSync, E, pauseProc, h), 0u);
        ASSERT_TRUE(BASS_ChannelSetPosition(h, S));
        ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
        auto pcm = renderWhilePlaying(h, 10 * kRate);
        const double expected = std::round(double((E - S) / fb) / 1.4 * kRate / c.rate);
        EXPECT_NEAR(double(loudFrames(pcm)), expected, kRate * 0.005);
        EXPECT_NEAR(crossingsPerSecond(pcm.data() + 2 * kRate / 2, kRate, 2, 0, kRate), 880, 880 * 0.02);
        EXPECT_EQ(BASS_ChannelGetPosition(h), E);
    }
}

} // namespace
