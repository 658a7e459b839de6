// Device -1 through SDL's disk driver: what was played lands in a file. A short
// range of a tone through a tempo stream must leave exactly its frames there.
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "api_util.h"
#include "enginetest.h"
#include "testfiles.h"

using namespace vorel::test;
using namespace vorel::enginetest;

namespace {

struct Waiter {
    std::mutex m;
    std::condition_variable cv;
    std::vector<Post> posts;
    VOREL_MSGTARGET target{&Waiter::post, this};
    // From the library's notifier thread.
    static void post(void *ctx, DWORD msg, DWORD wparam, DWORD) {
        auto *w = static_cast<Waiter *>(ctx);
        DWORD state = BASS_ChannelIsActive(wparam); // the test thread is not inside the library
        std::lock_guard<std::mutex> lock(w->m);
        w->posts.push_back(Post{msg, wparam, state});
        w->cv.notify_all();
    }
};

// Output loss, injected into the engine this test links in (the library exports no
// hook). mode 1: the SDL callback stops mixing, as a hung output or a restarted
// sound server does; 2: besides, no output can be opened again; 0 ends it. Fails
// (with the library's error code) before BASS_Init and on the no-sound device.
BOOL simulateOutputLoss(int mode) {
    using namespace vorel::audiolib;
    Engine &e = engine();
    std::lock_guard<std::mutex> apiLock(e.api);
    if (!e.initialised) return fail(BASS_ERROR_INIT, FALSE);
    if (mode < 0 || mode > 2 || e.device == 0) return fail(BASS_ERROR_ILLPARAM, FALSE);
    e.simulatedLoss.store(mode);
    return ok(TRUE);
}

TEST(SdlOutput, DiskDriverReceivesExactlyTheRange) {
    TempDir dir;
    const std::string raw = dir.file("played.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    writeWav16(dir.file("t.wav"), tone(440, 3.0, 44100, 2), 44100, 2);

    Waiter waiter;
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, &waiter.target, nullptr)) << BASS_ErrorGetCode();
    BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 5);
    BASS_SetConfig(BASS_CONFIG_BUFFER, 100);
    DWORD h = BASS_FX_TempoCreate(BASS_StreamCreateFile(FALSE, dir.file("t.wav").c_str(), 0, 0,
                                                        BASS_STREAM_DECODE | BASS_STREAM_PRESCAN),
                                  BASS_FX_FREESOURCE);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    ASSERT_TRUE(BASS_FX_TempoSet(h, 40, 0, -100));
    const QWORD S = BASS_ChannelSeconds2Bytes(h, 0.5f), E = BASS_ChannelSeconds2Bytes(h, 1.2f);
    ASSERT_NE(BASS_ChannelSetSync(h, kPauseSync, E, pauseProc, h), 0u);
    ASSERT_NE(BASS_ChannelSetSync(h, kMessageSync, E, reinterpret_cast<SYNCPROC *>(kSegmentEnd), h), 0u);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, S));
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    {
        std::unique_lock<std::mutex> lock(waiter.m);
        ASSERT_TRUE(waiter.cv.wait_for(lock, std::chrono::seconds(30), [&] { return !waiter.posts.empty(); }));
        EXPECT_EQ(waiter.posts[0].msg, kSegmentEnd);
        EXPECT_EQ(waiter.posts[0].stateAtPost, DWORD(BASS_ACTIVE_PAUSED));
    }
    EXPECT_EQ(BASS_ChannelGetPosition(h), E);
    ASSERT_TRUE(BASS_Free());

    auto bytes = readFile(raw);
    size_t sounding = 0;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
        sounding += (bytes[i] | bytes[i + 1] | bytes[i + 2] | bytes[i + 3]) != 0;
    // The unpaced driver may run ahead of the renderer: underruns leave silent gaps,
    // so count what sounded rather than the span.
    const double expected = std::round(double((E - S) / 4) / 1.4);
    EXPECT_NEAR(double(sounding), expected, 44100 * 0.005);
}

} // namespace

namespace {

// The library's own threads in real time (device 0's clock, SDL's dummy driver):
// a short file plays to its end at the pace of audio and the end is posted.
class RealTime : public ::testing::TestWithParam<int> {};

TEST_P(RealTime, PlaysToTheEndAndPosts) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    TempDir dir;
    writeWav16(dir.file("t.wav"), tone(440, 0.3, 44100, 2), 44100, 2);
    Waiter waiter;
    ASSERT_TRUE(BASS_Init(GetParam(), 44100, 0, &waiter.target, nullptr)) << BASS_ErrorGetCode();
    BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 20);
    BASS_SetConfig(BASS_CONFIG_BUFFER, 100);
    DWORD h = BASS_FX_TempoCreate(BASS_StreamCreateFile(FALSE, dir.file("t.wav").c_str(), 0, 0,
                                                        BASS_STREAM_DECODE | BASS_STREAM_PRESCAN),
                                  BASS_FX_FREESOURCE);
    ASSERT_NE(h, 0u);
    ASSERT_NE(BASS_ChannelSetSync(h, kEndMessageSync, 0, reinterpret_cast<SYNCPROC *>(kFileEnd), 0), 0u);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    {
        std::unique_lock<std::mutex> lock(waiter.m);
        ASSERT_TRUE(waiter.cv.wait_for(lock, std::chrono::seconds(20), [&] { return !waiter.posts.empty(); }));
        EXPECT_EQ(waiter.posts[0].msg, kFileEnd);
        EXPECT_EQ(waiter.posts[0].stateAtPost, DWORD(BASS_ACTIVE_STOPPED));
    }
    // Paced, not faster than the audio (some slack for the device period).
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(BASS_ChannelGetPosition(h), BASS_ChannelGetLength(h));
    EXPECT_TRUE(BASS_Free());
}

INSTANTIATE_TEST_SUITE_P(Devices, RealTime, ::testing::Values(0, -1),
                         [](const auto &info) { return info.param == 0 ? std::string("NoSound") : std::string("Sdl"); });

} // namespace

namespace {

// The device buffer is about 1/43 s as a power of two, never below 1024 frames;
// through the dummy driver it is all the latency there is.
TEST(SdlOutput, DeviceBufferIsAboutTwentyThreeMilliseconds) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const struct {
        DWORD rate;
        DWORD latencyMs;
    } cases[] = {{22050, 46}, {44100, 23}, {48000, 21}, {96000, 21}, {192000, 21}};
    for (const auto &c : cases) {
        ASSERT_TRUE(BASS_Init(-1, c.rate, 0, nullptr, nullptr)) << c.rate;
        BASS_INFO info{};
        ASSERT_TRUE(BASS_GetInfo(&info));
        EXPECT_EQ(info.latency, c.latencyMs) << c.rate;
        EXPECT_TRUE(BASS_Free());
    }
}

} // namespace

namespace {

// A tempo stream playing [0.2 s, 1.2 s) of a tone through SDL's dummy driver.
struct LossFixture {
    TempDir dir;
    Waiter waiter;
    DWORD h = 0;
    QWORD end = 0;
    bool init() {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        writeWav16(dir.file("t.wav"), tone(440, 3.0, 44100, 2), 44100, 2);
        if (!BASS_Init(-1, 44100, 0, &waiter.target, nullptr)) return false;
        BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 20);
        BASS_SetConfig(BASS_CONFIG_BUFFER, 100);
        h = BASS_FX_TempoCreate(BASS_StreamCreateFile(FALSE, dir.file("t.wav").c_str(), 0, 0,
                                                      BASS_STREAM_DECODE | BASS_STREAM_PRESCAN),
                                BASS_FX_FREESOURCE);
        end = BASS_ChannelSeconds2Bytes(h, 1.2f);
        return h && BASS_ChannelSetSync(h, kPauseSync, end, pauseProc, h) &&
               BASS_ChannelSetSync(h, kMessageSync, end, reinterpret_cast<SYNCPROC *>(kSegmentEnd), h) &&
               BASS_ChannelSetPosition(h, BASS_ChannelSeconds2Bytes(h, 0.2f)) && BASS_ChannelPlay(h, FALSE);
    }
    bool waitForPost() {
        std::unique_lock<std::mutex> lock(waiter.m);
        return waiter.cv.wait_for(lock, std::chrono::seconds(10), [&] { return !waiter.posts.empty(); });
    }
};

TEST(OutputLoss, AHungOutputIsOpenedAgainAndTheRangeGoesOn) {
    LossFixture f;
    ASSERT_TRUE(f.init()) << BASS_ErrorGetCode();
    ASSERT_TRUE(simulateOutputLoss(1));
    const auto lostAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(f.waitForPost()) << "the range never ended";
    // A second of silence is what tells a hung output from a slow one.
    EXPECT_GE(std::chrono::steady_clock::now() - lostAt, std::chrono::milliseconds(900));
    EXPECT_EQ(f.waiter.posts[0].msg, kSegmentEnd);
    EXPECT_EQ(f.waiter.posts[0].stateAtPost, DWORD(BASS_ACTIVE_PAUSED));
    EXPECT_EQ(BASS_ChannelGetPosition(f.h), f.end); // all of the range, from where it was
    EXPECT_TRUE(BASS_ChannelPlay(f.h, FALSE));
    EXPECT_TRUE(BASS_Free());
}

TEST(OutputLoss, WithNoOutputLeftPlaybackStopsAndSaysSo) {
    LossFixture f;
    ASSERT_TRUE(f.init()) << BASS_ErrorGetCode();
    ASSERT_TRUE(simulateOutputLoss(2));
    // The range-end message still comes, so a waiting window leaves its reading.
    ASSERT_TRUE(f.waitForPost()) << "the range never ended";
    EXPECT_EQ(f.waiter.posts[0].msg, kSegmentEnd);
    EXPECT_EQ(BASS_ChannelIsActive(f.h), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_LT(BASS_ChannelGetPosition(f.h), f.end);
    EXPECT_FALSE(BASS_ChannelPlay(f.h, FALSE));
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_DRIVER));
    // An output again: playing works and goes on from where it stopped.
    ASSERT_TRUE(simulateOutputLoss(0));
    const QWORD stoppedAt = BASS_ChannelGetPosition(f.h);
    EXPECT_TRUE(BASS_ChannelPlay(f.h, FALSE)) << BASS_ErrorGetCode();
    EXPECT_GE(BASS_ChannelGetPosition(f.h), stoppedAt);
    EXPECT_TRUE(BASS_Free());
}

TEST(OutputLoss, TheHookNeedsADevice) {
    EXPECT_FALSE(simulateOutputLoss(1));
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_INIT));
    ManualClock clock;
    EXPECT_FALSE(simulateOutputLoss(1)); // device 0 has no output to lose
    EXPECT_EQ(BASS_ErrorGetCode(), DWORD(BASS_ERROR_ILLPARAM));
}

} // namespace
