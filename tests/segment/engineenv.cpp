// Binds the built audio libraries by path and opens the no-sound device once per
// test program, as vorel-bench does.
#include <gtest/gtest.h>

#include "audio/slots.h"

namespace {

class EngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        vorel::audio::loadLibrariesFrom(VOREL_CORE_LIB_PATH, VOREL_FX_LIB_PATH);
        vorel::audio::core.BASS_Init(0, 44100, 0, nullptr, nullptr);
    }
    void TearDown() override { vorel::audio::core.BASS_Free(); }
};

[[maybe_unused]] ::testing::Environment *const engine =
    ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

} // namespace
