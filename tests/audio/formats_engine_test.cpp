// The player over each format beyond WAV and MP3: ranges at 1 s, in the middle and
// in the last minute start on the sound of their place and halt 100 ms past
// their end, on the manual clock.
#include <gtest/gtest.h>

#include "playerfixture.h"

using namespace vorel::audio;
using vorel::audio::test::PlayerTest;
namespace vt = vorel::test;

namespace {

// 70 s in three tones, so that each range's sound tells where it played from.
constexpr struct {
    int32_t fromMs;
    double hz;
} kParts[] = {{0, 440}, {30000, 660}, {60000, 880}};
constexpr int32_t kDurationMs = 70000;

class Formats : public PlayerTest, public testing::WithParamInterface<const char *> {};

TEST_P(Formats, RangesPlayAndEndWhereTheyShould) {
    std::vector<int16_t> pcm;
    for (size_t i = 0; i < std::size(kParts); ++i) {
        const int32_t to = i + 1 < std::size(kParts) ? kParts[i + 1].fromMs : kDurationMs;
        vt::append(pcm, vt::tone(kParts[i].hz, (to - kParts[i].fromMs) / 1000.0, kOutRate, 2, 9000));
    }
    const vt::MediaFormat &f = vt::mediaFormat(GetParam());
    vt::writeWav16(dir.file("src.wav"), pcm, kOutRate, 2);
    ASSERT_TRUE(vt::encodeMedia(f, dir.file("src.wav"), dir.file(f.file)));

    player->Open(dir.file(f.file));
    EXPECT_NEAR(player->info.duration, kDurationMs, 40);
    expectRangePlays(1000, 440);
    expectRangePlays(kDurationMs / 2, 660);
    expectRangePlays(kDurationMs - 5000, 880); // the last minute
}

INSTANTIATE_TEST_SUITE_P(Player, Formats,
                         testing::Values("flac", "ogg_vorbis", "opus", "m4a_aac", "m4b_aac_mono_22050",
                                         "mp4_video_aac", "mkv_ac3_video", "webm_opus"));

} // namespace
