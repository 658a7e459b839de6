// A player on the manual clock, and the check that a range plays the sound of its
// place in the file and halts 100 ms past its end.
#pragma once

#include <memory>
#include <vector>

#include "enginefixture.h"
#include "player.h"
#include "playrange.h"
#include "testfiles.h"

namespace vorel::audio::test {

class PlayerTest : public EngineTest {
protected:
    static constexpr int kOutRate = 44100;

    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        player = std::make_unique<TBass>(&target_);
    }
    void TearDown() override {
        player.reset();
        EngineTest::TearDown();
    }
    DWORD state() { return core.BASS_ChannelIsActive(player->handle); }

    // Plays [startMs, startMs + 2000] with the usual 100 ms tail and checks that it
    // starts on the right sound and ends at its stop, with the end message.
    void expectRangePlays(int32_t startMs, double hz) {
        SCOPED_TRACE(startMs);
        out.clear();
        log.clear();
        PlayMs(*player, startMs, startMs + 2100);
        renderUntil([&] { return state() == BASS_ACTIVE_PAUSED; }, 3 * kOutRate, 1024);
        ASSERT_EQ(state(), DWORD(BASS_ACTIVE_PAUSED));
        renderFrames(kOutRate / 10);
        EXPECT_EQ(log.snapshot(), std::vector<DWORD>{WM_SEGMENT_END});
        // The range ends by output frame count; 5 ms covers a zero crossing at the end.
        EXPECT_NEAR(soundEnd(), 2.1 * kOutRate, 0.005 * kOutRate);
        // The tone of that place in the file (crossings: twice its frequency).
        ASSERT_GE(out.size(), size_t(2 * kOutRate));
        EXPECT_NEAR(vorel::test::crossingsPerSecond(out.data() + kOutRate / 2, kOutRate, 2, 0, kOutRate), 2 * hz,
                    0.02 * 2 * hz);
    }

    vorel::test::TempDir dir;
    std::unique_ptr<TBass> player;
};

} // namespace vorel::audio::test
