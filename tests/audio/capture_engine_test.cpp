// The program's capture object over the real core library, through the slots,
// with SDL's disk driver as the microphone (unpaced).
#include <chrono>
#include <cstdlib>
#include <thread>

#include "capture.h"
#include "enginefixture.h"
#include "speechtakes.h"
#include "takerecorder.h"
#include "takestore.h"
#include "testfiles.h"

using namespace vorel::audio;
using namespace vorel::audio::test;
using namespace vorel::test;
using namespace vorel::audio::test;

using CaptureTest = EngineTest;

TEST_F(CaptureTest, ReadsTheMicrophoneOrSaysThereIsNone) {
    TempDir dir;
    const std::vector<int16_t> said = tone(330, 0.25, 16000, 1);
    const auto *b = reinterpret_cast<const uint8_t *>(said.data());
    writeFile(dir.file("in.raw"), std::vector<uint8_t>(b, b + said.size() * 2));
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    setenv("SDL_DISKAUDIOFILEIN", dir.file("in.raw").c_str(), 1);
    TCapture capture;
    ASSERT_TRUE(capture.Open(16000)) << capture.Error();
    std::vector<int16_t> got;
    // Until the file's worth arrived, or 30 s passed (a hung capture).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (got.size() < said.size() && std::chrono::steady_clock::now() < deadline) {
        ASSERT_TRUE(capture.Read(got));
        std::this_thread::yield();
    }
    ASSERT_GE(got.size(), said.size());
    EXPECT_TRUE(std::equal(said.begin(), said.end(), got.begin()));
    EXPECT_EQ(capture.FramesRead(), int64_t(got.size()));
    // Left unread for longer than the ring holds (unpaced, that is a moment): Read
    // hands over what was kept, then says the capture was lost.
    while (core.BASS_ChannelIsActive(capture.Handle()) != BASS_ACTIVE_STALLED &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    bool lost = false;
    for (int i = 0; i < 1000 && !lost; ++i) lost = !capture.Read(got);
    EXPECT_TRUE(lost);
    EXPECT_EQ(capture.Error(), DWORD(BASS_ERROR_BUFLOST));
    capture.Close();
    EXPECT_FALSE(capture.Read(got));

    setenv("SDL_DISKAUDIOFILEIN", dir.file("missing.raw").c_str(), 1);
    EXPECT_FALSE(capture.Open(16000));
    EXPECT_EQ(capture.Error(), DWORD(BASS_ERROR_DRIVER));
    EXPECT_FALSE(capture.IsOpen());
}

// A take spoken by another voice after a second of silence, through the real
// capture: recorded until the silence after it, trimmed to its speech, kept as FLAC.
TEST_F(CaptureTest, TakeFromTheMicrophoneIsTrimmedAndKept) {
    TempDir dir;
    const std::vector<int16_t> speech = speak("The train to the airport leaves at seven.", "en-us+f3");
    ASSERT_FALSE(speech.empty());
    const Take t = makeTake(speech, 150, 1.0, 2.0);
    const auto *b = reinterpret_cast<const uint8_t *>(t.samples.data());
    writeFile(dir.file("in.raw"), std::vector<uint8_t>(b, b + t.samples.size() * 2));
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    setenv("SDL_DISKAUDIOFILEIN", dir.file("in.raw").c_str(), 1);
    TCapture capture;
    ASSERT_TRUE(capture.Open(kRate)) << capture.Error();
    TTakeRecorder recorder(kRate);
    recorder.Start(0, 10 * kRate);
    std::vector<int16_t> piece;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!recorder.Ended() && std::chrono::steady_clock::now() < deadline) {
        const int64_t at = capture.FramesRead();
        piece.clear();
        ASSERT_TRUE(capture.Read(piece));
        recorder.Feed(piece.data(), piece.size(), at);
        std::this_thread::yield();
    }
    capture.Close();
    ASSERT_TRUE(recorder.Ended());
    EXPECT_LT(recorder.Raw().size(), t.samples.size()); // ended by the silence, not the length
    const TSpeechSpan s = recorder.SpeechSamples();
    EXPECT_NEAR(double(s.first - t.speechFirst) / kMs, 0, 30);
    EXPECT_NEAR(double(s.end - t.speechEnd) / kMs, 0, 30);
    TTakeStore store(dir.file("takes"));
    const std::string path = store.Save("s0003", recorder.Trimmed(), kRate);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(store.Takes("s0003"), std::vector<std::string>{path});
}
