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

// What the user is told: the format error for a damaged file, and a file whose
// only track is a picture says it has no sound.
TEST_F(PlayerTest, DamagedOrSilentFilesSayWhy) {
    const std::string src = dir.file("src.wav"), cut = dir.file("cut.m4a"), picture = dir.file("picture.mp4");
    vt::writeWav16(src, vt::tone(440, 3, kOutRate, 2), kOutRate, 2);
    ASSERT_TRUE(vt::encodeMedia(vt::mediaFormat("m4a_aac"), src, cut));
    auto bytes = vt::readFile(cut);
    bytes.resize(bytes.size() / 2); // the index comes last: cut off
    vt::writeFile(cut, bytes);
    ASSERT_TRUE(vt::mustRun("ffmpeg -nostdin -v error -y -f lavfi -i color=c=blue:s=64x48:r=5:d=2 -c:v mpeg4 " +
                            vt::shellQuote(picture)));
    const struct {
        std::string path, reason;
    } cases[] = {{cut, "原因[41]：不支持该文件格式"}, {picture, "原因[17]：文件中没有音轨"}};
    for (const auto &c : cases) {
        try {
            player->Open(c.path);
            ADD_FAILURE() << "opened " << c.path;
        } catch (const EAudioError &e) {
            EXPECT_EQ(std::string(e.what()), "不能打开文件" + c.path + "! \r\n" + c.reason);
        }
        EXPECT_EQ(player->handle, 0u);
    }
}

} // namespace
