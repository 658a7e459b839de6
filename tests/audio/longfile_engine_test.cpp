// Recordings of many hours: a sparse WAV just over 2 GiB of PCM and a ten-hour
// MP3, both made here. Ranges early, past 2^31 bytes and in the last minute play
// and end 100 ms past their end; the samples come from the whole file, with the
// same result in one part or several, and loading writes no file.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "playerfixture.h"
#include "player.h"
#include "segment/samplelist.h"
#include "testfiles.h"

using namespace vorel::audio;
using vorel::audio::test::PlayerTest;
using vorel::segment::TSamplingPath;
using vorel::segment::TStrings;
using vorel::segment::TWaveSampleList;
namespace vt = vorel::test;

namespace {

constexpr int kRate = 44100;
constexpr int64_t kTwoGiB = int64_t(1) << 31;

struct Burst {
    int32_t startMs;
    double hz;
};

void put16(std::vector<uint8_t> &b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t> &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// Silent 16-bit stereo PCM of durationMs, sparse on disk, with 3 s of a tone at
// each burst.
void writeSparseWav(const std::string &path, int32_t durationMs, const std::vector<Burst> &bursts) {
    const int64_t data = int64_t(durationMs) * kRate / 1000 * 4;
    std::vector<uint8_t> h(44, 0);
    std::memcpy(h.data(), "RIFF", 4);
    put32(h, 4, uint32_t(36 + data));
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    put32(h, 16, 16);
    put16(h, 20, 1);
    put16(h, 22, 2);
    put32(h, 24, kRate);
    put32(h, 28, kRate * 4);
    put16(h, 32, 4);
    put16(h, 34, 16);
    std::memcpy(h.data() + 36, "data", 4);
    put32(h, 40, uint32_t(data));
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, h.data(), h.size(), 0), 44);
    ASSERT_EQ(::ftruncate(fd, 44 + data), 0);
    for (const Burst &b : bursts) {
        const auto pcm = vt::tone(b.hz, 3.0, kRate, 2, 8000);
        const off_t at = off_t(44 + int64_t(b.startMs) * kRate / 1000 * 4);
        ASSERT_EQ(::pwrite(fd, pcm.data(), pcm.size() * 2, at), ssize_t(pcm.size() * 2));
    }
    ::close(fd);
}

// Entries of a folder.
size_t filesIn(const std::string &folder) {
    size_t n = 0;
    if (DIR *d = opendir(folder.c_str())) {
        while (dirent *e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

class LongFiles : public PlayerTest {};

} // namespace

TEST_F(LongFiles, WavOverTwoGiBPlaysAndSamplesEverywhere) {
    // 3 h 32 min of 44.1 kHz stereo: 2.09 GiB of PCM.
    constexpr int32_t duration = (3 * 3600 + 32 * 60) * 1000;
    const std::vector<Burst> bursts = {{1000, 440}, {12600000, 660}, {duration - 40000, 880}};
    const std::string wav = dir.file("long.wav");
    writeSparseWav(wav, duration, bursts);

    player->Open(wav);
    EXPECT_GT(player->info.byteLength, kTwoGiB);
    EXPECT_EQ(player->info.byteLength, int64_t(duration) * kRate / 1000 * 4);
    EXPECT_EQ(player->info.duration, duration);
    EXPECT_EQ(FormatTime(player->info.duration), "03:32:00");
    for (const Burst &b : bursts)
        expectRangePlays(b.startMs, b.hz);

    TWaveSampleList sampler;
    sampler.SampleFile(wav, false);
    EXPECT_EQ(sampler.LastPath(), TSamplingPath::InPlace);
    ASSERT_EQ(sampler.Samples.size(), size_t(duration / 40 - 2));
    // Loud where the bursts are (blocks run a little longer than 40 ms, so the
    // block of a time lies a little earlier), silent elsewhere.
    std::vector<size_t> loud;
    for (size_t i = 0; i < sampler.Samples.size(); ++i)
        if (std::abs(std::stoi(sampler.Samples[i])) > 7000)
            loud.push_back(i);
    ASSERT_FALSE(loud.empty());
    for (const Burst &b : bursts) {
        const double first = b.startMs / 40.0 * (duration / 40 - 2) / (duration / 40.0);
        const auto hits = std::count_if(loud.begin(), loud.end(), [&](size_t i) {
            return double(i) >= first - 1 && double(i) <= first + 75;
        });
        EXPECT_GE(hits, 74) << b.startMs;
    }
    EXPECT_LE(loud.size(), size_t(3 * 76));
}

TEST_F(LongFiles, TenHourMp3PlaysAndSamplesAlikeInOneOrManyParts) {
    // One minute of a tone whose level steps every 0.7 s, encoded without a LAME
    // tag so that copies of it join into one stream; 600 copies make ten hours.
    std::vector<int16_t> minute;
    for (int step = 0; step * 0.7 < 60.0; ++step)
        vt::append(minute, vt::tone(440, std::min(0.7, 60.0 - step * 0.7), kRate, 2, 3000 + (step * 2917) % 9000));
    vt::writeWav16(dir.file("minute.wav"), minute, kRate, 2);
    ASSERT_TRUE(vt::mustRun("lame --quiet -t -b 32 " + vt::shellQuote(dir.file("minute.wav")) + " " +
                            vt::shellQuote(dir.file("minute.mp3"))));
    const auto one = vt::readFile(dir.file("minute.mp3"));
    const std::string mp3 = dir.file("book.mp3");
    {
        std::ofstream f(mp3, std::ios::binary);
        for (int i = 0; i < 600; ++i)
            f.write(reinterpret_cast<const char *>(one.data()), std::streamsize(one.size()));
    }

    player->Open(mp3);
    const int32_t duration = player->info.duration;
    EXPECT_GT(player->info.byteLength, kTwoGiB);
    EXPECT_NEAR(duration, 36000000, 60000);
    EXPECT_EQ(FormatTime(duration).substr(0, 3), "10:");
    for (int32_t start : {1000, 12600000, duration - 50000})
        expectRangePlays(start, 440);

    // Loading writes nothing into the private folder at any moment.
    const std::string folder = dir.file("tmp");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string oldTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    ASSERT_EQ(::setenv("TMPDIR", folder.c_str(), 1), 0);
    size_t filesSeen = 0;
    std::vector<int> progress;
    const auto sampleIn = [&](unsigned parts) {
        TWaveSampleList sampler;
        sampler.SetPartCount(parts);
        progress.clear();
        sampler.SetProgressHandler([&](int32_t percent, bool &) {
            progress.push_back(percent);
            filesSeen += filesIn(folder);
        });
        sampler.SampleFile(mp3, false);
        EXPECT_EQ(sampler.LastPath(), TSamplingPath::Decoded);
        return sampler.Samples;
    };
    const TStrings single = sampleIn(1);
    EXPECT_GT(progress.size(), 100u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100);
    const TStrings parted = sampleIn(3);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_EQ(filesSeen, 0u);

    ASSERT_EQ(single.size(), size_t(TWaveSampleList::SampleCountFor(duration) - 2));
    // 32 kbit/s is MPEG-2 (22.05 kHz), whose synthesis after a seek may differ
    // from a decode from the start by one step: a block's peak may then change by
    // one, or its sign where both extremes are within one of each other.
    ASSERT_EQ(parted.size(), single.size());
    for (size_t i = 0; i < single.size(); ++i)
        ASSERT_LE(std::abs(std::abs(std::stoi(single[i])) - std::abs(std::stoi(parted[i]))), 1) << i;
    int lo = 32767, hi = 0;
    for (size_t i = 100; i < single.size(); i += 7) {
        const int v = std::abs(std::stoi(single[i]));
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_LT(lo, 4500);
    EXPECT_GT(hi, 10000);

    // Cancelled at the first report: no envelope, no file, and the 100 still comes.
    TWaveSampleList cancelled;
    cancelled.Samples = {"before"};
    progress.clear();
    cancelled.SetProgressHandler([&](int32_t percent, bool &cancel) {
        progress.push_back(percent);
        filesSeen += filesIn(folder);
        cancel = true;
    });
    cancelled.SampleFile(mp3, false);
    EXPECT_TRUE(cancelled.Samples.empty());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    EXPECT_LE(progress.size(), 3u);
    EXPECT_EQ(filesSeen + filesIn(folder), 0u);
    if (oldTmp.empty())
        ::unsetenv("TMPDIR");
    else
        ::setenv("TMPDIR", oldTmp.c_str(), 1);
}
