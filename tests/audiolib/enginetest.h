// Helpers for the engine tests: a manual-clock library instance, a message target
// that records what was posted, and rendering until a channel leaves "playing".
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "audiolib.h"

namespace vorel::enginetest {

constexpr DWORD kSegmentEnd = 0x4C9;
constexpr DWORD kFileEnd = 0x4CA;
constexpr DWORD kPauseSync = BASS_SYNC_ONETIME | BASS_SYNC_POS;               // 0x80000000
constexpr DWORD kMessageSync = BASS_SYNC_ONETIME | BASS_SYNC_MESSAGE | BASS_SYNC_POS;
constexpr DWORD kEndMessageSync = BASS_SYNC_MESSAGE | BASS_SYNC_END;         // 0x20000002

struct Post {
    DWORD msg;
    DWORD channel;
    DWORD stateAtPost; // BASS_ChannelIsActive of the channel when the post arrived
};

// Records posts; asks the library for the channel's state at post time (safe in
// manual-clock mode, where posts happen inside VorelAudio_Render).
struct Recorder {
    VOREL_MSGTARGET target{&Recorder::post, this};
    std::vector<Post> posts;
    static void post(void *ctx, DWORD msg, DWORD wparam, DWORD) {
        static_cast<Recorder *>(ctx)->posts.push_back(Post{msg, wparam, BASS_ChannelIsActive(wparam)});
    }
    int count(DWORD msg) const {
        int n = 0;
        for (auto &p : posts) n += p.msg == msg;
        return n;
    }
};

// BASS_Init(0) with the manual clock: the test drives the mixer.
class ManualClock {
public:
    explicit ManualClock(const VOREL_MSGTARGET *target = nullptr, DWORD rate = 44100) {
        BASS_SetConfig(VOREL_CONFIG_MANUAL_CLOCK, 1);
        ok_ = BASS_Init(0, rate, 0, const_cast<VOREL_MSGTARGET *>(target), nullptr);
        EXPECT_TRUE(ok_) << BASS_ErrorGetCode();
    }
    ~ManualClock() {
        if (ok_) BASS_Free();
        BASS_SetConfig(VOREL_CONFIG_MANUAL_CLOCK, 0);
    }

private:
    BOOL ok_;
};

// The range player's pause procedure: pauses the channel given as user value.
inline void pauseProc(HSYNC, DWORD, DWORD, DWORD user) { BASS_ChannelPause(user); }

// Renders blocks of `block` frames until the channel is no longer playing (or
// maxFrames are rendered); returns everything rendered (stereo s16).
inline std::vector<int16_t> renderWhilePlaying(DWORD handle, size_t maxFrames, int block = 1000) {
    std::vector<int16_t> out;
    std::vector<int16_t> buf(size_t(block) * 2);
    while (out.size() / 2 < maxFrames && BASS_ChannelIsActive(handle) == BASS_ACTIVE_PLAYING) {
        EXPECT_EQ(VorelAudio_Render(buf.data(), block), block);
        out.insert(out.end(), buf.begin(), buf.end());
    }
    return out;
}

// Frames up to and including the last one with a sample louder than threshold.
inline size_t loudFrames(const std::vector<int16_t> &pcm, int threshold = 1000) {
    for (size_t i = pcm.size() / 2; i > 0; --i)
        if (std::abs(pcm[2 * i - 2]) > threshold || std::abs(pcm[2 * i - 1]) > threshold) return i;
    return 0;
}

} // namespace vorel::enginetest
