// Damaged and unusual files through the file stream: refused with the format code,
// or opened whole and playable. Every file is made here.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include "enginetest.h"
#include "testfiles.h"

using namespace vorel::test;
using namespace vorel::enginetest;

namespace {

using Bytes = std::vector<uint8_t>;

void writeToneWav(const std::string &path, uint32_t rate, double seconds) {
    writeWav16(path, tone(std::min(440.0, rate / 8.0), seconds, int(rate), 1), int(rate), 1);
}

// Frames rendered from a tempo stream over the file until it stops (bounded).
size_t playAll(const std::string &path, size_t maxFrames) {
    const DWORD dec = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
    EXPECT_NE(dec, 0u) << BASS_ErrorGetCode();
    const DWORD h = BASS_FX_TempoCreate(dec, BASS_FX_FREESOURCE);
    EXPECT_NE(h, 0u) << BASS_ErrorGetCode();
    EXPECT_TRUE(BASS_FX_TempoSet(h, 40, 0, -100));
    EXPECT_TRUE(BASS_ChannelPlay(h, FALSE));
    const size_t frames = renderWhilePlaying(h, maxFrames).size() / 2;
    BASS_StreamFree(h);
    return frames;
}

TEST(HostileFiles, SampleRatesOutsideTheTempoRangeAreRefusedTheRestPlays) {
    struct Case {
        uint32_t rate;
        bool opens;
    };
    const Case cases[] = {{8, false}, {20, false}, {999, false}, {1000, true}, {8000, true},
                          {192000, true}, {192001, false}, {384000, false}};
    TempDir dir;
    ManualClock clock;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rate);
        const std::string path = dir.file("r" + std::to_string(c.rate) + ".wav");
        writeToneWav(path, c.rate, 0.5);
        const DWORD dec = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        if (!c.opens) {
            EXPECT_EQ(dec, 0u);
            EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
            continue;
        }
        ASSERT_NE(dec, 0u) << BASS_ErrorGetCode();
        BASS_StreamFree(dec);
        // Half a second at 140 %: about 0.36 s of output, and it ends by itself.
        const size_t frames = playAll(path, 10 * 44100);
        EXPECT_NEAR(double(frames), 0.5 / 1.4 * 44100, 0.05 * 44100);
    }
    EXPECT_EQ(BASS_StreamCreate(999, 1, 0, [](HSTREAM, void *, DWORD, DWORD) { return DWORD(0); }, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT);
}

// An MP3 with a stretch of zero bytes a third of the way in, as a broken transfer
// leaves: the length still covers the whole recording and what follows plays.
TEST(HostileFiles, Mp3ResynchronisesOverDamageOfAnyLength) {
    TempDir dir;
    // 9 s of 440 Hz, then 3 s of 1250 Hz: the second tone lies well after the damage.
    auto s = tone(440, 9, 44100, 2);
    append(s, tone(1250, 3, 44100, 2));
    writeWav16(dir.file("src.wav"), s, 44100, 2);
    ASSERT_TRUE(mustRun("lame --quiet -b 128 " + shellQuote(dir.file("src.wav")) + " " + shellQuote(dir.file("a.mp3"))));
    const Bytes whole = readFile(dir.file("a.mp3"));
    ManualClock clock;
    const auto lengthOf = [](const std::string &path) {
        const DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
        EXPECT_NE(h, 0u) << BASS_ErrorGetCode();
        const double seconds = BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h));
        BASS_StreamFree(h);
        return seconds;
    };
    const double intact = lengthOf(dir.file("a.mp3"));
    for (size_t damage : {2000, 20000}) {
        SCOPED_TRACE(damage);
        Bytes b = whole;
        std::fill(b.begin() + long(b.size() / 3), b.begin() + long(b.size() / 3 + damage), 0);
        const std::string path = dir.file("damaged" + std::to_string(damage) + ".mp3");
        writeFile(path, b);
        // The lost frames are gone; the rest is there (20,000 bytes are 1.25 s).
        EXPECT_NEAR(lengthOf(path), intact, intact * 0.01 + damage / 16000.0);

        const DWORD dec = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
        const DWORD h = BASS_FX_TempoCreate(dec, BASS_FX_FREESOURCE);
        ASSERT_NE(h, 0u);
        const QWORD end = BASS_ChannelGetLength(h);
        ASSERT_TRUE(BASS_ChannelSetPosition(h, end - BASS_ChannelSeconds2Bytes(h, 2.0f)));
        ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
        const auto pcm = renderWhilePlaying(h, 44100);
        ASSERT_GE(pcm.size(), 2u * 44100 / 2);
        EXPECT_NEAR(crossingsPerSecond(pcm.data() + 2 * 4410, 44100 / 4, 2, 0, 44100), 2500, 2500 * 0.03);
        BASS_StreamFree(h);
    }
}

// A WAV over 4 GiB from a streaming recorder: RIFF and data sizes 0xFFFFFFFF. The
// data runs to the end of the file. Sparse: the file costs no disk.
TEST(HostileFiles, WavWithUnpatchedSizesIsReadToTheEndOfTheFile) {
    TempDir dir;
    ManualClock clock;
    const auto mark = tone(1000, 0.5, 44100, 2);
    const uint64_t markBytes = mark.size() * 2;
    struct Case {
        const char *name;
        uint32_t dataField;
        uint64_t dataBytes; // what the file holds after the header
    };
    const Case cases[] = {
        {"over 4 GiB, sizes 0xFFFFFFFF", 0xFFFFFFFFu, (5ull << 30) + 4 - markBytes % 4},
        {"data size past the end", 0x7FFFFFF0u, 44100 * 4 * 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file("long.wav");
        // The header of an empty WAV with its size fields patched, then the tone at
        // the end of the data.
        writeWav16(path, {}, 44100, 2);
        Bytes header = readFile(path);
        const uint32_t riff = c.dataField == 0xFFFFFFFFu ? c.dataField : c.dataField + 36;
        for (int i = 0; i < 4; ++i) {
            header[size_t(4 + i)] = uint8_t(riff >> (8 * i));
            header[size_t(40 + i)] = uint8_t(c.dataField >> (8 * i));
        }
        ASSERT_EQ(header.size(), 44u);
        writeFile(path, header);
        {
            const int fd = ::open(path.c_str(), O_WRONLY);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::pwrite(fd, mark.data(), markBytes, off_t(44 + c.dataBytes - markBytes)), ssize_t(markBytes));
            ::close(fd);
        }
        const DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
        ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
        EXPECT_EQ(BASS_ChannelGetLength(h), c.dataBytes / 4 * 4);
        // The tone written at the very end is there to be read.
        ASSERT_TRUE(BASS_ChannelSetPosition(h, (c.dataBytes - markBytes) / 4 * 4));
        std::vector<int16_t> got(mark.size());
        ASSERT_EQ(BASS_ChannelGetData(h, got.data(), DWORD(markBytes)), DWORD(markBytes));
        EXPECT_NEAR(crossingsPerSecond(got.data(), got.size() / 2, 2, 0, 44100), 2000, 2000 * 0.02);
        BASS_StreamFree(h);
        std::filesystem::remove(path);
    }
}

// Positions must be exact: a WAV encoding libsndfile cannot seek in (GSM 6.10) is
// refused as a format; the ADPCM ones seek and play.
TEST(HostileFiles, WavEncodingsWithoutExactSeekingAreAFormatError) {
    struct Case {
        const char *encoding;
        bool opens;
    };
    TempDir dir;
    ManualClock clock;
    for (const Case c : {Case{"gsm-full-rate", false}, Case{"ima-adpcm", true}, Case{"ms-adpcm", true}}) {
        SCOPED_TRACE(c.encoding);
        const std::string path = dir.file(std::string(c.encoding) + ".wav");
        ASSERT_TRUE(mustRun("sox -n -r 8000 -c 1 -e " + std::string(c.encoding) + " " + shellQuote(path) +
                            " synth 1 sine 440 vol 0.4"));
        const DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
        if (!c.opens) {
            EXPECT_EQ(h, 0u);
            EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
            continue;
        }
        ASSERT_NE(h, 0u);
        BASS_StreamFree(h);
        EXPECT_NEAR(double(playAll(path, 10 * 44100)), 1 / 1.4 * 44100, 0.05 * 44100);
    }
}

} // namespace
