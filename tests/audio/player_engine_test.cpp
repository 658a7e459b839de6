// The player on the real libraries: where ranges end, which messages and events
// come and when, state changes, tempo, replacing the open file.
#include <gtest/gtest.h>

#include "enginefixture.h"
#include "player.h"
#include "playrange.h"
#include "testfiles.h"

using namespace vorel::audio;
using vorel::audio::test::EngineTest;
using vorel::audio::test::PlayMs;
namespace vt = vorel::test;

namespace {

constexpr int kRate = 44100;

class PlayerEngine : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // A steady tone: the output has sound in every frame the player plays.
        threeSeconds = dir.file("three.wav");
        vt::writeWav16(threeSeconds, vt::tone(440, 3.0, kRate, 1, 8000), kRate, 1);
        player = std::make_unique<TBass>(&target_);
        for (auto [event, count] : {std::pair{&TBass::OnStarted, &started},
                                    {&TBass::OnPaused, &paused},
                                    {&TBass::OnResumed, &resumed},
                                    {&TBass::OnStopped, &stopped}}) {
            player.get()->*event = [this, count](DWORD h, DWORD) {
                EXPECT_EQ(h, player->handle);
                ++*count;
            };
        }
    }
    void TearDown() override {
        player.reset();
        EngineTest::TearDown();
    }
    DWORD state() { return core.BASS_ChannelIsActive(player->handle); }
    std::vector<DWORD> events() { return {DWORD(started), DWORD(paused), DWORD(resumed), DWORD(stopped)}; }

    vt::TempDir dir;
    std::string threeSeconds;
    std::unique_ptr<TBass> player;
    int started = 0, paused = 0, resumed = 0, stopped = 0;
};

} // namespace

TEST_F(PlayerEngine, EveryNameIsBound) {
    int missing = 0;
#define VOREL_CHECK(name) missing += core.name == nullptr;
    VOREL_CORE_ENTRY_POINTS(VOREL_CHECK)
#undef VOREL_CHECK
#define VOREL_CHECK(name) missing += fx.name == nullptr;
    VOREL_FX_ENTRY_POINTS(VOREL_CHECK)
#undef VOREL_CHECK
    EXPECT_EQ(missing, 0);
    // The core alone lacks the effects names: refused, and nothing half-bound.
    EXPECT_FALSE(bindFx(coreModule()));
    EXPECT_EQ(fx.BASS_FX_TempoSet, nullptr);
    ASSERT_TRUE(bindFx(fxModule()));
}

// A range ends at its stop at every tempo: the usual 100 ms tail, or a shorter one.
TEST_F(PlayerEngine, RangeEndsAtItsStopAtEveryTempo) {
    struct Case {
        int tempo;
        int64_t stopMs;
    };
    for (const Case c : {Case{0, 2100}, Case{-40, 2100}, Case{40, 2100}, Case{0, 2030}, Case{40, 2030}}) {
        const int tempo = c.tempo;
        SCOPED_TRACE(std::to_string(tempo) + " " + std::to_string(c.stopMs));
        out.clear();
        log.clear();
        started = 0;
        player->Open(threeSeconds);
        player->SetTempo(tempo);
        PlayMs(*player, 1000, c.stopMs);
        EXPECT_EQ(started, 1);

        bool messageBeforePause = false;
        renderUntil([&] {
            const bool posted = !log.snapshot().empty();
            messageBeforePause |= posted && state() != BASS_ACTIVE_PAUSED;
            return state() == BASS_ACTIVE_PAUSED;
        }, 3 * kRate);
        EXPECT_EQ(state(), DWORD(BASS_ACTIVE_PAUSED));
        EXPECT_FALSE(messageBeforePause);

        // From 1000 ms to the stop of source at 100 + tempo per cent; the range ends
        // by output frame count, so the end is exact but for a frame of rounding:
        // 5 ms is ample.
        const double source = double(c.stopMs - 1000) / 1000;
        const double expected = source * kRate / (1 + tempo / 100.0);
        EXPECT_NEAR(soundEnd(), expected, 0.005 * kRate);

        renderFrames(kRate / 2); // paused: nothing more plays, the message came once
        EXPECT_EQ(log.snapshot(), std::vector<DWORD>{WM_SEGMENT_END});
        EXPECT_EQ(log.statesAtPost(), std::vector<DWORD>{BASS_ACTIVE_PAUSED});
        EXPECT_NEAR(soundEnd(), expected, 0.005 * kRate);
    }
}

TEST_F(PlayerEngine, RangePastTheFileEndGivesOnlyTheFileEnd) {
    player->Open(threeSeconds);
    PlayMs(*player, 2500, 3050); // the stop lies past the end
    renderUntil([&] { return state() == BASS_ACTIVE_STOPPED; }, 2 * kRate);
    EXPECT_EQ(state(), DWORD(BASS_ACTIVE_STOPPED));
    renderFrames(kRate / 2);
    EXPECT_EQ(log.snapshot(), std::vector<DWORD>{WM_FILE_END});
    EXPECT_EQ(log.statesAtPost(), std::vector<DWORD>{BASS_ACTIVE_STOPPED});
    EXPECT_NEAR(soundEnd(), 0.5 * kRate, 0.005 * kRate);
}

TEST_F(PlayerEngine, StartBeyondTheFileDoesNothing) {
    player->Open(threeSeconds);
    player->PlayBytes(player->info.byteLength + 2, 0);
    PlayMs(*player, 3100, 3600);
    EXPECT_EQ(state(), DWORD(BASS_ACTIVE_STOPPED));
    renderFrames(kRate / 4);
    EXPECT_EQ(soundEnd(), 0);
    EXPECT_TRUE(log.snapshot().empty());
    EXPECT_EQ(events(), (std::vector<DWORD>{0, 0, 0, 0}));
}

TEST_F(PlayerEngine, TransportActsOnlyInItsStateAndReportsOnce) {
    player->Open(threeSeconds);
    const auto step = [&](void (TBass::*action)(), DWORD wantState, std::vector<DWORD> wantEvents) {
        (player.get()->*action)();
        renderFrames(1024);
        EXPECT_EQ(state(), wantState);
        EXPECT_EQ(events(), wantEvents);
    };
    step(&TBass::Pause, BASS_ACTIVE_STOPPED, {0, 0, 0, 0});
    step(&TBass::Resume, BASS_ACTIVE_STOPPED, {0, 0, 0, 0});
    step(&TBass::Stop, BASS_ACTIVE_STOPPED, {0, 0, 0, 0});
    PlayMs(*player, 0, 2100);
    step(&TBass::Resume, BASS_ACTIVE_PLAYING, {1, 0, 0, 0});
    step(&TBass::Pause, BASS_ACTIVE_PAUSED, {1, 1, 0, 0});
    step(&TBass::Pause, BASS_ACTIVE_PAUSED, {1, 1, 0, 0});
    step(&TBass::Resume, BASS_ACTIVE_PLAYING, {1, 1, 1, 0});
    step(&TBass::Stop, BASS_ACTIVE_STOPPED, {1, 1, 1, 1});
    step(&TBass::Stop, BASS_ACTIVE_STOPPED, {1, 1, 1, 1});
    step(&TBass::Pause, BASS_ACTIVE_STOPPED, {1, 1, 1, 1});
}

TEST_F(PlayerEngine, ResumeAfterARangeContinuesPastIt) {
    player->Open(threeSeconds);
    PlayMs(*player, 0, 500);
    renderUntil([&] { return state() == BASS_ACTIVE_PAUSED; }, kRate);
    ASSERT_EQ(state(), DWORD(BASS_ACTIVE_PAUSED));
    const int32_t pausedAt = CurrentPositionMs(player->handle);
    EXPECT_NEAR(pausedAt, 500, 25);
    player->Resume();
    renderFrames(kRate / 2);
    EXPECT_EQ(state(), DWORD(BASS_ACTIVE_PLAYING));
    EXPECT_NEAR(CurrentPositionMs(player->handle), pausedAt + 500, 150);
}

TEST_F(PlayerEngine, TempoIsClampedAndNeedsAFile) {
    player->SetTempo(30); // no file: nothing to change, nothing raised
    EXPECT_EQ(player->handle, 0u);
    player->Open(threeSeconds);
    for (auto [asked, set] : {std::pair{75, 40}, {-41, -40}, {12, 12}, {40, 40}, {-40, -40}}) {
        player->SetTempo(asked);
        float tempo = 99, rate = 0, pitch = 0;
        ASSERT_TRUE(fx.BASS_FX_TempoGet(player->handle, &tempo, &rate, &pitch));
        EXPECT_EQ(tempo, float(set)) << asked;
        EXPECT_EQ(pitch, 0.0f);
    }
}

TEST_F(PlayerEngine, OpeningAnotherFileDropsTheFirst) {
    const std::string other = dir.file("other.wav");
    vt::writeWav16(other, vt::tone(660, 1.0, kRate, 2, 8000), kRate, 2);
    player->Open(threeSeconds);
    PlayMs(*player, 0, 2100);
    renderFrames(kRate / 4);
    const DWORD first = player->handle;

    player->Open(other);
    EXPECT_NE(player->handle, first);
    EXPECT_EQ(core.BASS_ChannelIsActive(first), DWORD(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(player->info.channels, 2);
    EXPECT_EQ(player->info.duration, 1000);
    out.clear();
    renderFrames(4 * kRate); // past both ends of the first file's range and file
    EXPECT_TRUE(log.snapshot().empty());
    EXPECT_EQ(soundEnd(), 0);

    PlayMs(*player, 0, 2100);
    renderUntil([&] { return state() == BASS_ACTIVE_STOPPED; }, 2 * kRate);
    EXPECT_EQ(log.snapshot(), std::vector<DWORD>{WM_FILE_END});
}

TEST_F(PlayerEngine, OpeningAMissingFileRaisesAndLeavesNoFile) {
    player->Open(threeSeconds);
    const std::string missing = dir.file("missing.wav");
    try {
        player->Open(missing);
        ADD_FAILURE() << "opened a missing file";
    } catch (const EAudioError &e) {
        EXPECT_EQ(std::string(e.what()), "不能打开文件" + missing + "! \r\n原因[2]：不能打开文件");
    }
    EXPECT_EQ(player->handle, 0u);
    EXPECT_EQ(player->fileName, missing);
    player->SetTempo(10); // still no file: nothing happens
}

// Files the engine cannot play are refused at open, with the format as the cause.
TEST_F(PlayerEngine, UnplayableFilesAreRefusedAsAFormat) {
    const std::string gsm = dir.file("gsm.wav"), slow = dir.file("eight_hz.wav"), fast = dir.file("384k.wav");
    ASSERT_TRUE(vt::mustRun("sox -n -r 8000 -c 1 -e gsm-full-rate " + vt::shellQuote(gsm) + " synth 1 sine 440"));
    vt::writeWav16(slow, std::vector<int16_t>(80, 1000), 8, 1);
    vt::writeWav16(fast, vt::tone(440, 0.5, 384000, 1), 384000, 1);
    for (const std::string &path : {gsm, slow, fast}) {
        try {
            player->Open(path);
            ADD_FAILURE() << "opened " << path;
        } catch (const EAudioError &e) {
            EXPECT_EQ(std::string(e.what()), "不能打开文件" + path + "! \r\n原因[41]：不支持该文件格式");
        }
    }
}

// No sound output at all: files still open (for the waveform and the splitting),
// and the player says there is no output instead of failing every open.
TEST(PlayerWithoutOutput, OpensFilesAndSaysSo) {
    loadLibrariesFrom(VOREL_CORE_LIB, VOREL_FX_LIB);
    const char *old = std::getenv("SDL_AUDIODRIVER");
    const std::string saved = old ? old : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    vt::TempDir dir;
    const std::string path = dir.file("a.wav");
    vt::writeWav16(path, vt::tone(440, 1.0, kRate, 1), kRate, 1);
    VOREL_MSGTARGET target{[](void *, DWORD, DWORD, DWORD) {}, nullptr};
    {
        TBass player(&target);
        EXPECT_FALSE(player.HasOutput());
        EXPECT_NO_THROW(player.Open(path));
        EXPECT_EQ(player.info.duration, 1000);
    }
    if (old)
        setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
    else
        unsetenv("SDL_AUDIODRIVER");
    EXPECT_STREQ(NoSoundOutputNotice, "未找到声音输出设备：可以打开文件、显示波形和断句，但听不到声音。");
}
