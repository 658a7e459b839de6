// Sampling real files through the decoding stream: which path each file takes,
// that every path yields the envelope of the same PCM, and that the temporary
// file never outlives the call.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/bassstream.h"
#include "segment/samplelist.h"
#include "testfiles.h"
#include "wavbytes.h"

using vorel::segment::TSamplingPath;
using vorel::segment::TStrings;
using vorel::segment::TWaveSampleList;
using vorel::test::TempDir;
using vorel::test::WavBytes;

namespace {

constexpr int Rate = 44100;

// Stereo s16 whose 40 ms blocks have pseudo-random, asymmetric levels, so that
// any shift or misreading of the PCM changes the envelope.
std::vector<int16_t> envelopeSignal(size_t frames) {
    std::vector<int16_t> out(frames * 2);
    uint32_t seed = 12345;
    int16_t level = 0;
    for (size_t f = 0; f < frames; ++f) {
        if (f % 1764 == 0) {
            seed = seed * 1103515245u + 12345u;
            level = static_cast<int16_t>(500 + (seed >> 16) % 20000);
        }
        const int16_t v = (f % 8 < 4) ? level : static_cast<int16_t>(-level / 2);
        out[2 * f] = v;
        out[2 * f + 1] = static_cast<int16_t>(v / 3);
    }
    return out;
}

std::vector<uint8_t> le16Bytes(const std::vector<int16_t> &v) {
    std::vector<uint8_t> b(v.size() * 2);
    std::memcpy(b.data(), v.data(), b.size());
    return b;
}

// The envelope SampleBuffer gives for the PCM over the duration the stream reports.
TStrings expectedFor(const std::string &path, const std::vector<int16_t> &pcm, int channels) {
    vorel::audio::TBassStream stream(path, false);
    TStrings out;
    TWaveSampleList::SampleBuffer(16, channels, reinterpret_cast<const uint8_t *>(pcm.data()), pcm.size() * 2,
                                  TWaveSampleList::SampleCountFor(stream.info.duration), out);
    return out;
}

// Decoders may scale float back to 16-bit by 32767 or 32768: one step apart.
void expectNear(const TStrings &actual, const TStrings &expected, int tolerance, const char *what) {
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (size_t i = 0; i < actual.size(); ++i)
        ASSERT_LE(std::abs(std::stoi(actual[i]) - std::stoi(expected[i])), tolerance) << what << " sample " << i;
}

void writeFloatWav(const std::string &path, const std::vector<int16_t> &pcm, int channels) {
    WavBytes w;
    w.riff();
    w.fmt(3, static_cast<uint16_t>(channels), 32, static_cast<uint16_t>(4 * channels));
    std::vector<uint8_t> data(pcm.size() * 4);
    for (size_t i = 0; i < pcm.size(); ++i) {
        const float f = static_cast<float>(pcm[i]) / 32768.0f;
        std::memcpy(&data[4 * i], &f, 4);
    }
    w.chunk("data", data, static_cast<uint32_t>(data.size()));
    w.patchRiffSize();
    vorel::test::writeFile(path, w.b);
}

// Points the private temp folder into a test folder for the test's duration.
class ScopedTmpdir {
public:
    explicit ScopedTmpdir(const std::string &dir) {
        if (const char *old = std::getenv("TMPDIR"))
            old_ = old, had_ = true;
        setenv("TMPDIR", dir.c_str(), 1);
        folder_ = dir + "/tmpvp-" + std::to_string(geteuid());
    }
    ~ScopedTmpdir() {
        if (had_)
            setenv("TMPDIR", old_.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    // Temporary WAV files in the private folder.
    std::vector<std::string> waveFiles() const {
        std::vector<std::string> out;
        if (DIR *d = opendir(folder_.c_str())) {
            while (dirent *e = readdir(d))
                if (std::strncmp(e->d_name, "WAV", 3) == 0)
                    out.push_back(e->d_name);
            closedir(d);
        }
        return out;
    }

private:
    std::string old_, folder_;
    bool had_ = false;
};

struct Sampled {
    TStrings samples;
    TSamplingPath path = TSamplingPath::None;
    std::vector<int> progress;
    size_t tempFilesSeen = 0;
};

Sampled sample(const std::string &file, const ScopedTmpdir *tmp = nullptr) {
    TWaveSampleList sampler;
    Sampled run;
    sampler.SetProgressHandler([&](int32_t percent, bool &) {
        run.progress.push_back(percent);
        if (tmp)
            run.tempFilesSeen = std::max(run.tempFilesSeen, tmp->waveFiles().size());
    });
    sampler.SampleFile(file, false);
    run.samples = sampler.Samples;
    run.path = sampler.LastPath();
    return run;
}

} // namespace

TEST(SampleFile, WavInPlaceFromTheRealDataChunk) {
    TempDir dir;
    // 60 s: larger than the memory limit, still read in place.
    const auto pcm = envelopeSignal(60 * Rate);
    const std::string plain = dir.file("plain.wav");
    vorel::test::writeWav16(plain, pcm, Rate, 2);
    const TStrings expected = expectedFor(plain, pcm, 2);
    ASSERT_EQ(expected.size(), 1498u);

    // An odd-sized LIST chunk before the data, and a fact chunk, as editors write them.
    WavBytes w;
    w.riff();
    w.fmt(1, 2, 16, 4);
    w.chunk("LIST", std::vector<uint8_t>(25, 'i'), 25);
    w.chunk("fact", {0, 0, 0, 0}, 4);
    w.chunk("data", le16Bytes(pcm), static_cast<uint32_t>(pcm.size() * 2));
    w.patchRiffSize();
    const std::string listed = dir.file("listed.wav");
    vorel::test::writeFile(listed, w.b);

    for (const std::string &file : {plain, listed}) {
        const Sampled run = sample(file);
        EXPECT_EQ(run.path, TSamplingPath::InPlace) << file;
        EXPECT_TRUE(run.progress.empty()) << file;
        EXPECT_EQ(run.samples, expected) << file;
    }
}

TEST(SampleFile, EightBitInPlace) {
    TempDir dir;
    std::vector<uint8_t> pcm(Rate, 128); // 1 s mono
    pcm[Rate / 2] = 255;
    pcm[Rate / 4] = 0;
    const std::string file = dir.file("8bit.wav");
    vorel::test::writeWav8(file, pcm, Rate, 1);
    const Sampled run = sample(file);
    EXPECT_EQ(run.path, TSamplingPath::InPlace);
    ASSERT_EQ(run.samples.size(), 23u);
    const auto count = [&](const char *v) { return std::count(run.samples.begin(), run.samples.end(), v); };
    EXPECT_EQ(count("32512"), 1);
    EXPECT_EQ(count("-32768"), 1);
    EXPECT_EQ(count("0"), 21);
}

TEST(SampleFile, OtherWavFormatsAreDecoded) {
    TempDir dir;
    const auto pcm = envelopeSignal(5 * Rate);
    const std::string plain = dir.file("plain.wav");
    vorel::test::writeWav16(plain, pcm, Rate, 2);
    const TStrings expected = expectedFor(plain, pcm, 2);

    const std::string fl = dir.file("float.wav");
    writeFloatWav(fl, pcm, 2);

    WavBytes x;
    x.riff();
    x.fmtExtensible(2, 16);
    x.chunk("data", le16Bytes(pcm), static_cast<uint32_t>(pcm.size() * 2));
    x.patchRiffSize();
    const std::string ext = dir.file("extensible.wav");
    vorel::test::writeFile(ext, x.b);

    WavBytes t;
    t.riff();
    t.fmt(1, 2, 24, 6);
    std::vector<uint8_t> data;
    for (int16_t s : pcm) {
        data.push_back(0);
        data.push_back(static_cast<uint8_t>(s & 0xFF));
        data.push_back(static_cast<uint8_t>((static_cast<uint16_t>(s) >> 8) & 0xFF));
    }
    t.chunk("data", data, static_cast<uint32_t>(data.size()));
    t.patchRiffSize();
    const std::string deep = dir.file("24bit.wav");
    vorel::test::writeFile(deep, t.b);

    for (const std::string &file : {fl, ext, deep}) {
        const Sampled run = sample(file);
        EXPECT_EQ(run.path, TSamplingPath::Memory) << file;
        ASSERT_FALSE(run.progress.empty()) << file;
        EXPECT_EQ(run.progress.back(), 100) << file;
        expectNear(run.samples, expected, 1, file.c_str());
    }
}

TEST(SampleFile, MemoryLimitBoundary) {
    TempDir dir;
    const ScopedTmpdir tmp(dir.path());
    // Float input is always decoded; 16-bit stereo output is 4 bytes per frame.
    const size_t limitFrames = vorel::segment::MemoryDecodeLimit / 4;
    const auto big = envelopeSignal(limitFrames + 1);
    const std::vector<int16_t> atLimit(big.begin(), big.end() - 2);

    struct Case {
        const char *name;
        const std::vector<int16_t> &pcm;
        TSamplingPath path;
    };
    for (const Case &c : {Case{"atlimit", atLimit, TSamplingPath::Memory},
                          Case{"oneframemore", big, TSamplingPath::Decoded}}) {
        const std::string file = dir.file(std::string(c.name) + ".wav");
        writeFloatWav(file, c.pcm, 2);
        const std::string ref = dir.file(std::string(c.name) + "-ref.wav");
        vorel::test::writeWav16(ref, c.pcm, Rate, 2);
        {
            vorel::audio::TBassStream stream(file, false);
            ASSERT_EQ(static_cast<size_t>(stream.info.byteLength), c.pcm.size() * 2) << c.name;
        }
        const Sampled run = sample(file, &tmp);
        EXPECT_EQ(run.path, c.path) << c.name;
        EXPECT_EQ(run.tempFilesSeen, 0u) << c.name;
        ASSERT_FALSE(run.progress.empty()) << c.name;
        EXPECT_EQ(run.progress.back(), 100) << c.name;
        expectNear(run.samples, expectedFor(ref, c.pcm, 2), 1, c.name);
        EXPECT_TRUE(tmp.waveFiles().empty()) << c.name;
    }
}

TEST(SampleFile, FailuresAndCancelKeepNoTemporaryFile) {
    TempDir dir;
    const ScopedTmpdir tmp(dir.path());
    // More than one read block (1024000 bytes) of decoded audio, so that a cancel
    // in the first progress call cuts the decoding short.
    const std::string small = dir.file("small.wav");
    writeFloatWav(small, envelopeSignal(8 * Rate), 2);
    const std::string big = dir.file("big.wav");
    writeFloatWav(big, envelopeSignal(vorel::segment::MemoryDecodeLimit / 4 + 1), 2);

    for (const std::string &file : {small, big}) {
        // A handler that fails: the error leaves unchanged, Samples stay as they were.
        TWaveSampleList failing;
        failing.Samples = {"before"};
        failing.SetProgressHandler([](int32_t, bool &) { throw std::runtime_error("handler failed"); });
        EXPECT_THROW(failing.SampleFile(file, false), std::runtime_error) << file;
        EXPECT_EQ(failing.Samples, TStrings{"before"}) << file;
        EXPECT_EQ(failing.LastPath(), TSamplingPath::None) << file;
        EXPECT_TRUE(tmp.waveFiles().empty()) << file;

        // A cancelled decoding leaves no envelope.
        TWaveSampleList cancelled;
        cancelled.Samples = {"before"};
        cancelled.SetProgressHandler([](int32_t, bool &cancel) { cancel = true; });
        cancelled.SampleFile(file, false);
        EXPECT_TRUE(cancelled.Samples.empty()) << file;
        EXPECT_TRUE(tmp.waveFiles().empty()) << file;
    }
}

TEST(SampleFile, UnreadableFilesRaiseTheStreamError) {
    TempDir dir;
    vorel::test::writeText(dir.file("text.wav"), "not audio at all");
    for (const std::string &file : {dir.file("missing.wav"), dir.file("text.wav")}) {
        TWaveSampleList sampler;
        sampler.Samples = {"before"};
        try {
            sampler.SampleFile(file, false);
            ADD_FAILURE() << "no error for " << file;
        } catch (const vorel::audio::EAudioError &e) {
            EXPECT_EQ(std::string(e.what()).rfind("不能打开文件" + file, 0), 0u) << e.what();
        }
        EXPECT_EQ(sampler.Samples, TStrings{"before"});
    }
}

TEST(SampleFile, ShortAudio) {
    TempDir dir;
    struct Case {
        int ms;
        size_t samples;
    };
    for (const Case c : {Case{0, 0}, Case{80, 0}, Case{100, 0}, Case{120, 1}, Case{200, 3}}) {
        const std::string file = dir.file(std::to_string(c.ms) + ".wav");
        vorel::test::writeWav16(file, vorel::test::tone(440, c.ms / 1000.0, Rate, 2), Rate, 2);
        TWaveSampleList sampler;
        sampler.Samples = {"stale"};
        sampler.SampleFile(file, false);
        EXPECT_EQ(sampler.Samples.size(), c.samples) << c.ms << " ms";
    }
}

TEST(SampleFile, Mp3IsDecoded) {
    TempDir dir;
    const auto pcm = vorel::test::tone(440, 3, Rate, 2, 16000);
    vorel::test::writeWav16(dir.file("tone.wav"), pcm, Rate, 2);
    ASSERT_TRUE(vorel::test::mustRun("lame --quiet -b 128 " + vorel::test::shellQuote(dir.file("tone.wav")) + " " +
                                     vorel::test::shellQuote(dir.file("tone.mp3"))));
    const Sampled run = sample(dir.file("tone.mp3"));
    EXPECT_EQ(run.path, TSamplingPath::Memory);
    ASSERT_FALSE(run.progress.empty());
    EXPECT_EQ(run.progress.back(), 100);
    // 3 s of a steady tone (lossy, so only its level is checked): 73 samples near
    // 16000, away from the encoder's fade at both ends.
    ASSERT_EQ(run.samples.size(), 73u);
    for (size_t i = 3; i + 3 < run.samples.size(); ++i)
        EXPECT_NEAR(std::abs(std::stoi(run.samples[i])), 16000, 1500) << i;
}

TEST(SampleFile, PartsOnThreadsJoinToTheSinglePassResult) {
    TempDir dir;
    const ScopedTmpdir tmp(dir.path());
    // Three minutes with levels that change every block and more: any shift at a
    // part boundary, a lost or doubled block, changes the list.
    const auto pcm = envelopeSignal(180 * Rate);
    const std::string wav = dir.file("long.wav");
    vorel::test::writeWav16(wav, pcm, Rate, 2);
    ASSERT_TRUE(vorel::test::mustRun("lame --quiet -b 128 " + vorel::test::shellQuote(wav) + " " +
                                     vorel::test::shellQuote(dir.file("long.mp3"))));
    for (const std::string &file : {wav, dir.file("long.mp3")}) {
        std::vector<TStrings> results;
        for (unsigned parts : {1u, 2u, 3u, 7u}) {
            TWaveSampleList sampler;
            sampler.SetPartCount(parts);
            std::vector<int> progress;
            sampler.SetProgressHandler([&](int32_t percent, bool &) { progress.push_back(percent); });
            sampler.SampleFile(file, false);
            EXPECT_EQ(sampler.LastPath(), file == wav ? TSamplingPath::InPlace : TSamplingPath::Decoded);
            EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end())) << parts;
            if (file != wav) {
                // Reports come on this thread while the workers decode, then 100.
                EXPECT_GE(progress.size(), 2u) << parts;
                EXPECT_EQ(progress.back(), 100) << parts;
            }
            results.push_back(sampler.Samples);
        }
        ASSERT_EQ(results[0].size(), 4498u) << file;
        // Stereo MPEG-1 decodes bit for bit after a seek, so even the MP3's parts
        // join to exactly the single pass.
        for (size_t k = 1; k < results.size(); ++k)
            EXPECT_TRUE(results[k] == results[0]) << file << " in parts: " << k;
    }
    EXPECT_TRUE(tmp.waveFiles().empty());
}

// A WAV rewritten (cut, then written again) while it is opened over and over, as a
// download still being written or a sync client replacing it: every open gives
// samples or an error, never a signal. The header lies past a 1 MB chunk, so
// that walking it reaches far into the file while the file shrinks.
TEST(SampleFile, FileCutWhileItIsOpenedGivesAnErrorNeverASignal) {
    TempDir dir;
    const std::string path = dir.file("changing.wav");
    const auto pcm = le16Bytes(envelopeSignal(Rate / 2));
    std::vector<uint8_t> wav = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'L', 'I', 'S', 'T', 0, 0, 16, 0};
    wav.resize(wav.size() + (1 << 20), 0);
    const uint8_t fmt[] = {'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0,
                           0x10, 0xB1, 2, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a'};
    wav.insert(wav.end(), std::begin(fmt), std::end(fmt));
    for (int i = 0; i < 4; ++i)
        wav.push_back(static_cast<uint8_t>(pcm.size() >> (8 * i)));
    wav.insert(wav.end(), pcm.begin(), pcm.end());
    vorel::test::writeFile(path, wav);

    std::atomic<bool> stop{false};
    std::thread rewriter([&] {
        const int fd = ::open(path.c_str(), O_WRONLY);
        for (size_t cut = 0; !stop.load(); ++cut) {
            if (::ftruncate(fd, static_cast<off_t>(std::vector<size_t>{0, 40, 4096, 600000}[cut % 4])) != 0 ||
                ::pwrite(fd, wav.data(), wav.size(), 0) != static_cast<ssize_t>(wav.size()))
                break;
            // Whole for a while, so that opens also get past the decoder's check.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::close(fd);
    });
    int sampled = 0, refused = 0;
    for (int i = 0; i < 400; ++i) {
        TWaveSampleList sampler;
        try {
            sampler.SampleFile(path, false);
            ++sampled;
        } catch (const std::exception &) {
            ++refused;
        }
    }
    stop.store(true);
    rewriter.join();
    EXPECT_EQ(sampled + refused, 400);
    // The file is whole again: it samples.
    TWaveSampleList sampler;
    sampler.SampleFile(path, false);
    EXPECT_EQ(sampler.LastPath(), TSamplingPath::InPlace);
    EXPECT_EQ(sampler.Samples.size(), 10u);
}

// Containers that promise more audio than their frames hold (a download cut in
// half with its index in front, encoded at two sizes so that both the
// in-memory and the stretch-by-stretch paths meet the end): what decodes is
// kept, the rest is not padded with silence, and the feed says where it ended.
TEST(SampleFeed, AudioEndingBeforeItsClaimedLengthKeepsWhatDecodesAndSaysWhere) {
    TempDir dir;
    const ScopedTmpdir tmp(dir.path());
    for (const int seconds : {8, 400}) {
        SCOPED_TRACE(seconds);
        const std::string wav = dir.file("src.wav"), m4a = dir.file("whole.m4a"), cut = dir.file("cut.m4a");
        vorel::test::writeWav16(wav, envelopeSignal(size_t(seconds) * Rate), Rate, 2);
        ASSERT_TRUE(vorel::test::mustRun("ffmpeg -nostdin -v error -y -i " + vorel::test::shellQuote(wav) +
                                         " -c:a aac -b:a 48k -movflags +faststart " + vorel::test::shellQuote(m4a)));
        auto bytes = vorel::test::readFile(m4a);
        bytes.resize(bytes.size() / 2);
        vorel::test::writeFile(cut, bytes);
        for (unsigned parts : {1u, 3u}) {
            vorel::segment::TSampleFeed feed(cut, false, parts);
            TStrings samples;
            for (int i = 0; i < 100000 && !feed.Finished(); ++i) {
                feed.Take(samples);
                feed.WaitForMore(50);
            }
            feed.Take(samples);
            ASSERT_TRUE(feed.Cut()) << parts;
            const size_t claimed = feed.TotalSamples();
            // Half the bytes hold about half the audio.
            EXPECT_GT(samples.size(), claimed * 4 / 10) << parts;
            EXPECT_LT(samples.size(), claimed * 6 / 10) << parts;
            try {
                feed.RethrowError();
                ADD_FAILURE() << "no notice";
            } catch (const std::runtime_error &e) {
                EXPECT_EQ(e.what(), vorel::segment::TSampleFeed::CutNotice(int64_t(samples.size()) * 40));
            }
        }
        // The whole-file sampling keeps the same samples.
        EXPECT_LT(sample(cut).samples.size(), size_t(seconds) * 25 * 6 / 10);
    }
}
