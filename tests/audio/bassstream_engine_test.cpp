// The decoding stream on the real libraries: channel information of WAV (8 and
// 16 bit) and MP3 files, and extraction compared byte for byte with the source.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstring>

#include "bassstream.h"
#include "enginefixture.h"
#include "testfiles.h"

using namespace vorel::audio;
using vorel::audio::test::EngineTest;
namespace vt = vorel::test;

namespace {

constexpr int kRate = 44100;

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

uint32_t fileSize(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? uint32_t(st.st_size) : 0;
}

int32_t expectedBitRate(uint32_t size, double seconds) {
    const auto r = int32_t(size / (seconds * 125) + 0.5);
    return r - r % 2;
}

class StreamEngine : public EngineTest {
protected:
    // The PCM bytes of a canonical 44-byte-header WAV file.
    std::vector<uint8_t> pcmOf(const std::string &wav) {
        auto bytes = vt::readFile(wav);
        return {bytes.begin() + 44, bytes.end()};
    }
    vt::TempDir dir;
};

} // namespace

TEST_F(StreamEngine, WavInfoAndWholeExtraction) {
    const std::string wav16 = dir.file("s16.wav");
    const std::string wav8 = dir.file("u8.wav");
    auto stereo = vt::tone(440, 2.0, kRate, 2);
    vt::append(stereo, vt::tone(880, 0.5, kRate, 2, 3000));
    vt::writeWav16(wav16, stereo, kRate, 2);
    std::vector<uint8_t> mono8(size_t(1.5 * 22050));
    for (size_t i = 0; i < mono8.size(); ++i)
        mono8[i] = uint8_t(128 + 100 * std::sin(i * 0.05));
    vt::writeWav8(wav8, mono8, 22050, 1);

    const struct {
        std::string path;
        uint8_t channels, bits;
        uint32_t rate;
        int32_t duration;
    } cases[] = {{wav16, 2, 16, 44100, 2500}, {wav8, 1, 8, 22050, 1500}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        TBassStream s(c.path, false);
        const std::vector<uint8_t> pcm = pcmOf(c.path);
        const TChannelInfo &i = s.info;
        EXPECT_EQ(i.fileSize, fileSize(c.path));
        EXPECT_EQ(i.byteLength, int64_t(pcm.size()));
        EXPECT_EQ(i.duration, c.duration);
        EXPECT_EQ(i.pointCount, c.duration / 40);
        EXPECT_EQ(i.channels, c.channels);
        EXPECT_EQ(i.bitsPerSample, c.bits);
        EXPECT_EQ(i.blockAlign, c.channels * c.bits / 8);
        EXPECT_EQ(i.sampleRate, c.rate);
        EXPECT_EQ(i.avgBytesPerSec, c.rate * i.blockAlign);
        EXPECT_EQ(i.bitRate, expectedBitRate(i.fileSize, c.duration / 1000.0));
        EXPECT_EQ(i.libInfo.ctype, DWORD(BASS_CTYPE_STREAM_WAV_PCM));

        for (bool withHeader : {true, false}) {
            TMemoryStream target;
            const int32_t total = s.ExtractPcm(target, 0, 0, withHeader);
            ASSERT_EQ(total, int32_t(pcm.size()));
            const uint32_t header = withHeader ? 44 : 0;
            ASSERT_EQ(target.size(), int64_t(header + total));
            EXPECT_EQ(std::memcmp(target.data() + header, pcm.data(), pcm.size()), 0);
            if (withHeader) {
                const uint8_t *d = target.data();
                EXPECT_EQ(le32(d + 4), 36u + total);
                EXPECT_EQ(le32(d + 40), uint32_t(total));
                EXPECT_EQ(le16(d + 22), c.channels);
                EXPECT_EQ(le32(d + 24), c.rate);
                EXPECT_EQ(le16(d + 32), i.blockAlign);
                EXPECT_EQ(le16(d + 34), c.bits);
                // The whole result is the source file again.
                EXPECT_EQ(std::vector<uint8_t>(d, d + target.size()), vt::readFile(c.path));
            }
        }
    }
}

TEST_F(StreamEngine, RangesAreByteExactAndIndependent) {
    const std::string wav = dir.file("s16.wav");
    vt::writeWav16(wav, vt::tone(523, 3.0, kRate, 2), kRate, 2);
    const std::vector<uint8_t> pcm = pcmOf(wav);
    TBassStream s(wav, false);
    const struct {
        uint32_t startMs, endMs;
        size_t from, to; // bytes of the source PCM
    } cases[] = {
        {500, 1500, 22050 * 4, 66150 * 4},
        {2500, 0, 110250 * 4, pcm.size()},
        {0, 250, 0, 11025 * 4},
        {2500, 3600, 110250 * 4, pcm.size()}, // the end of the file, not a loop past it
        {500, 1500, 22050 * 4, 66150 * 4}, // again: each extraction repositions
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.startMs << "-" << c.endMs);
        TMemoryStream target;
        ASSERT_EQ(s.ExtractPcm(target, c.startMs, c.endMs, false), int64_t(c.to - c.from));
        ASSERT_EQ(target.size(), int64_t(c.to - c.from));
        EXPECT_EQ(std::memcmp(target.data(), pcm.data() + c.from, c.to - c.from), 0);
    }
    for (auto [startMs, endMs] : {std::pair{1500u, 1500u}, {2000u, 1000u}, {3000u, 0u}}) {
        TMemoryStream target;
        target.write("xyz", 3);
        EXPECT_EQ(s.ExtractPcm(target, startMs, endMs, true), 0);
        ASSERT_EQ(target.size(), 3);
        EXPECT_EQ(std::memcmp(target.data(), "xyz", 3), 0);
    }
}

TEST_F(StreamEngine, Mp3InfoAndExtraction) {
    const std::string wav = dir.file("src.wav");
    const std::string mp3 = dir.file("src.mp3");
    vt::writeWav16(wav, vt::tone(440, 2.0, kRate, 1), kRate, 1);
    ASSERT_TRUE(vt::mustRun("lame --quiet -b 64 " + vt::shellQuote(wav) + " " + vt::shellQuote(mp3)));

    TBassStream s(mp3, false);
    const TChannelInfo &i = s.info;
    EXPECT_EQ(i.libInfo.ctype, DWORD(BASS_CTYPE_STREAM_MP3));
    EXPECT_EQ(i.channels, 1);
    EXPECT_EQ(i.bitsPerSample, 16);
    EXPECT_EQ(i.sampleRate, 44100u);
    EXPECT_EQ(i.fileSize, fileSize(mp3));
    // Gapless decoding with the exact length from the pre-scan: the source's frames.
    EXPECT_EQ(i.byteLength, 2 * kRate * 2);
    EXPECT_EQ(i.duration, 2000);
    EXPECT_EQ(i.pointCount, 50);
    EXPECT_EQ(i.bitRate, expectedBitRate(i.fileSize, 2.0));
    EXPECT_NEAR(i.bitRate, 64, 4);

    TMemoryStream target;
    const int32_t total = s.ExtractPcm(target, 0, 0, true);
    EXPECT_EQ(total, i.byteLength);
    ASSERT_EQ(target.size(), 44 + total);
    EXPECT_EQ(le32(target.data() + 4), 36u + total);
    EXPECT_EQ(le16(target.data() + 22), 1);
    EXPECT_EQ(s.ExtractPcm(target, 1000, 1250, false), 11025 * 2);
}
