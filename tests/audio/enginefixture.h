// The real audio libraries, loaded by path from the build tree, on device 0 with
// the manual clock: the mixer advances only when a test renders, so ranges of
// seconds are checked in milliseconds and to the frame.
#pragma once

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

#include "slots.h"

namespace vorel::audio::test {

// Collects the messages the library posts (from its notifier thread), each with
// the state of its channel (wparam) at the moment it was posted.
struct MessageLog {
    std::mutex mutex;
    std::vector<DWORD> messages;
    std::vector<DWORD> states;

    static void post(void *context, DWORD msg, DWORD channel, DWORD) {
        auto *self = static_cast<MessageLog *>(context);
        const DWORD state = core.BASS_ChannelIsActive(channel);
        std::lock_guard lock(self->mutex);
        self->messages.push_back(msg);
        self->states.push_back(state);
    }
    void clear() {
        std::lock_guard lock(mutex);
        messages.clear();
        states.clear();
    }
    std::vector<DWORD> statesAtPost() {
        std::lock_guard lock(mutex);
        return states;
    }
    std::vector<DWORD> snapshot() {
        std::lock_guard lock(mutex);
        return messages;
    }
};

class EngineTest : public ::testing::Test {
protected:
    using RenderFn = int (*)(int16_t *, int);

    void SetUp() override {
#if defined(VOREL_CORE_LIB) && defined(VOREL_FX_LIB)
        if (access(VOREL_CORE_LIB, R_OK) != 0 || access(VOREL_FX_LIB, R_OK) != 0)
            GTEST_SKIP() << "audio libraries not built: " << VOREL_CORE_LIB;
        loadLibrariesFrom(VOREL_CORE_LIB, VOREL_FX_LIB);
#else
        GTEST_SKIP() << "audio libraries (targets bass, vorelfx) are not part of this build";
#endif
        render_ = reinterpret_cast<RenderFn>(dlsym(coreModule(), "VorelAudio_Render"));
        ASSERT_NE(render_, nullptr);
        core.BASS_SetConfig(VOREL_CONFIG_MANUAL_CLOCK, 1);
        ASSERT_TRUE(core.BASS_Init(0, 44100, 0, &target_, nullptr)) << core.BASS_ErrorGetCode();
    }

    void TearDown() override {
        // Whatever the test left (a player frees it itself; a second free is refused).
        if (core.BASS_Free)
            core.BASS_Free();
    }

    // Renders in chunks until done() holds after a chunk or maxFrames have been
    // rendered; the output is appended to out. Returns the frames rendered.
    template <typename Done> int renderUntil(Done done, int maxFrames, int chunk = 32) {
        int frames = 0;
        std::vector<int16_t> buf(size_t(chunk) * 2);
        while (frames < maxFrames) {
            const int n = render_(buf.data(), chunk);
            EXPECT_EQ(n, chunk);
            if (n <= 0)
                break;
            out.insert(out.end(), buf.begin(), buf.begin() + 2 * n);
            frames += n;
            if (done())
                break;
        }
        return frames;
    }
    int renderFrames(int frames) {
        return renderUntil([] { return false; }, frames, 4096);
    }
    // Index after the last output frame with sound in it.
    int soundEnd() const {
        for (size_t i = out.size(); i > 0; --i)
            if (out[i - 1] != 0)
                return int((i + 1) / 2);
        return 0;
    }

    MessageLog log;
    VOREL_MSGTARGET target_{&MessageLog::post, &log};
    RenderFn render_ = nullptr;
    std::vector<int16_t> out; // stereo s16 at 44.1 kHz
};

} // namespace vorel::audio::test
