// The libraries as the program loads them: the core by path, then the effects
// library by path, RTLD_LOCAL, no library path; every bound name must resolve.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "audio/slots.h"

namespace {

struct Libraries {
    void *core = dlopen(VOREL_CORE_PATH, RTLD_NOW | RTLD_LOCAL);
    void *fx = core ? dlopen(VOREL_FX_PATH, RTLD_NOW | RTLD_LOCAL) : nullptr;
    ~Libraries() {
        if (fx) dlclose(fx);
        if (core) dlclose(core);
    }
    template <typename F> F get(void *lib, const char *name) { return reinterpret_cast<F>(dlsym(lib, name)); }
};

TEST(Exports, BothLibrariesLoadByPathAndBindEveryName) {
    ASSERT_EQ(std::getenv("LD_LIBRARY_PATH"), nullptr) << "would hide a dependency that does not resolve";
    Libraries libs;
    ASSERT_NE(libs.core, nullptr) << dlerror();
    ASSERT_NE(libs.fx, nullptr) << dlerror();
    int bound = 0;
    auto bind = [&](void *lib, const char *name) {
        if (dlsym(lib, name)) ++bound;
        else ADD_FAILURE() << name << " is not exported";
    };
#define VOREL_CHECK_CORE(name) bind(libs.core, #name);
#define VOREL_CHECK_FX(name) bind(libs.fx, #name);
    VOREL_CORE_ENTRY_POINTS(VOREL_CHECK_CORE)
    VOREL_FX_ENTRY_POINTS(VOREL_CHECK_FX)
    EXPECT_EQ(bound, 102);
    EXPECT_NE(dlsym(libs.core, "VorelAudio_Render"), nullptr);

    // A bound name the program never calls fails cleanly with a code.
    auto musicLoad = libs.get<decltype(&BASS_MusicLoad)>(libs.core, "BASS_MusicLoad");
    auto errorCode = libs.get<decltype(&BASS_ErrorGetCode)>(libs.core, "BASS_ErrorGetCode");
    EXPECT_EQ(musicLoad(FALSE, "x", 0, 0, 0, 0), 0u);
    EXPECT_EQ(errorCode(), DWORD(BASS_ERROR_NOTAVAIL));

    // The effects library works on the core loaded first (one instance, one state).
    auto setConfig = libs.get<decltype(&BASS_SetConfig)>(libs.core, "BASS_SetConfig");
    auto init = libs.get<decltype(&BASS_Init)>(libs.core, "BASS_Init");
    auto streamCreate = libs.get<decltype(&BASS_StreamCreate)>(libs.core, "BASS_StreamCreate");
    auto freeAll = libs.get<decltype(&BASS_Free)>(libs.core, "BASS_Free");
    auto tempoCreate = libs.get<decltype(&BASS_FX_TempoCreate)>(libs.fx, "BASS_FX_TempoCreate");
    setConfig(VOREL_CONFIG_MANUAL_CLOCK, 1);
    ASSERT_TRUE(init(0, 44100, 0, nullptr, nullptr));
    STREAMPROC *silence = [](HSTREAM, void *buf, DWORD len, DWORD) -> DWORD {
        std::memset(buf, 0, len);
        return len;
    };
    DWORD dec = streamCreate(44100, 2, BASS_STREAM_DECODE, silence, 0);
    ASSERT_NE(dec, 0u);
    EXPECT_NE(tempoCreate(dec, BASS_FX_FREESOURCE), 0u) << errorCode();
    EXPECT_TRUE(freeAll());
    setConfig(VOREL_CONFIG_MANUAL_CLOCK, 0);
}

// No audio output at all: BASS_Init reports the driver error; device 0 still works.
TEST(Exports, InitWithoutAnAudioDriverFailsWithCode3) {
    setenv("SDL_AUDIODRIVER", "nonexistent", 1);
    Libraries libs;
    ASSERT_NE(libs.fx, nullptr) << dlerror();
    auto init = libs.get<decltype(&BASS_Init)>(libs.core, "BASS_Init");
    auto errorCode = libs.get<decltype(&BASS_ErrorGetCode)>(libs.core, "BASS_ErrorGetCode");
    auto freeAll = libs.get<decltype(&BASS_Free)>(libs.core, "BASS_Free");
    EXPECT_FALSE(init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(errorCode(), DWORD(BASS_ERROR_DRIVER));
    EXPECT_FALSE(freeAll());
    EXPECT_EQ(errorCode(), DWORD(BASS_ERROR_INIT));
    EXPECT_TRUE(init(0, 44100, 0, nullptr, nullptr));
    EXPECT_TRUE(freeAll());
}

} // namespace
