// The formats beyond WAV and MP3 loaded as the program loads them: each encoded
// from one source WAV, sampled (long enough for the parallel decoding path) and
// split, then compared with the source's own load. An ".lrc" beside any of them
// gives the breakpoints.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "audio/bassstream.h"
#include "segment/breakpointfile.h"
#include "segment/samplelist.h"
#include "testfiles.h"

using namespace vorel::segment;
namespace vt = vorel::test;

namespace {

constexpr int Rate = 44100;

// Sentences of tones with pauses between, 36 s: past the in-memory limit, so the
// envelope comes from several parts decoded at once.
std::vector<int16_t> lesson() {
    std::vector<int16_t> pcm;
    for (int k = 0; k < 14; ++k) {
        vt::append(pcm, vt::tone(300 + 70 * k, 1.5 + 0.1 * (k % 5), Rate, 2, 6000 + 700 * k));
        vt::append(pcm, vt::silence(0.55 + 0.05 * (k % 4), Rate, 2));
    }
    return pcm;
}

struct Load {
    int32_t duration = 0;
    TStrings samples;
    std::vector<int32_t> breakpoints;
    TBreakpointSource source = TBreakpointSource::Split;
};

Load load(const std::string &path) {
    Load l;
    l.duration = vorel::audio::TBassStream(path, false).info.duration;
    TWaveSampleList sampler;
    sampler.SetPartCount(3);
    sampler.SampleFile(path, false);
    l.samples = sampler.Samples;
    TSegmentList list;
    l.source = LoadBreakpoints(list, path, l.samples, l.duration).Source;
    for (int32_t i = 0; i < list.Count(); ++i)
        l.breakpoints.push_back(list.Items(i).TimeMs);
    return l;
}

struct FormatCase {
    const char *format;
    bool lossless;
};
void PrintTo(const FormatCase &c, std::ostream *os) { *os << c.format; }

const FormatCase kCases[] = {
    {"flac", true},           {"ogg_vorbis", false},    {"opus", false},          {"m4a_aac", false},
    {"m4b_aac_mono_22050", false}, {"m4a_alac", true}, {"mp4_video_aac", false}, {"mov_aac", false},
    {"mkv_flac", true},       {"mkv_ac3_video", false}, {"webm_opus", false},
};

class Formats : public testing::TestWithParam<FormatCase> {};

TEST_P(Formats, LoadLikeTheirSource) {
    const FormatCase &c = GetParam();
    const vt::MediaFormat &f = vt::mediaFormat(c.format);
    vt::TempDir dir;
    const std::string wav = dir.file("src.wav"), path = dir.file(f.file);
    vt::writeWav16(wav, lesson(), Rate, 2);
    ASSERT_TRUE(vt::encodeMedia(f, wav, path));

    const Load want = load(wav), got = load(path);
    // Within one 40 ms column of the source.
    EXPECT_NEAR(got.duration, want.duration, 40);
    ASSERT_GT(want.breakpoints.size(), 10u);
    EXPECT_EQ(got.source, TBreakpointSource::Split);
    if (c.lossless) {
        // The same PCM: the same envelope, to the step.
        ASSERT_EQ(got.samples.size(), want.samples.size());
        int worst = 0;
        for (size_t i = 0; i < want.samples.size(); ++i)
            worst = std::max(worst, std::abs(std::stoi(got.samples[i]) - std::stoi(want.samples[i])));
        EXPECT_LE(worst, 1);
        EXPECT_EQ(got.breakpoints, want.breakpoints);
    } else {
        // Lossy codecs smear the edges of each sentence: the same breakpoints
        // within two columns.
        ASSERT_EQ(got.breakpoints.size(), want.breakpoints.size());
        for (size_t i = 0; i + 1 < want.breakpoints.size(); ++i)
            EXPECT_NEAR(got.breakpoints[i], want.breakpoints[i], 80) << "breakpoint " << i;
    }

    vt::writeText(BreakpointFileFor(path), "[00:01.00]one\n[00:20.50]two\n");
    const Load stamped = load(path);
    EXPECT_EQ(stamped.source, TBreakpointSource::Lrc);
    EXPECT_EQ(stamped.breakpoints, (std::vector<int32_t>{0, 1000, 20500, got.duration}));
}

INSTANTIATE_TEST_SUITE_P(Load, Formats, testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.format); });

} // namespace
