// Splitting real speech: espeak-ng sentences joined by known pauses. Every pause
// of 250 ms or more must get a breakpoint inside it, and no breakpoint may fall
// inside a sentence (or a pause too short to count) - on a clean recording, and
// with steady noise under the whole recording.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "segment/samplelist.h"
#include "segment/segmentlist.h"
#include "segment/splitwave.h"
#include "segment/wavlayout.h"
#include "testfiles.h"

using vorel::segment::TSegmentList;
using vorel::segment::TSplitOutcome;
using vorel::segment::TSplitWave;
using vorel::segment::TStrings;
using vorel::segment::TWaveSampleList;
using vorel::test::shellQuote;

namespace {

constexpr int Rate = 44100;
constexpr double FullScale = 32768;

// Interleaved 16-bit stereo PCM of a WAV file; empty for any other format.
std::vector<int16_t> readStereo16(const std::string &file) {
    const auto bytes = vorel::test::readFile(file);
    const auto layout = vorel::segment::FindPcmData(bytes.data(), bytes.size());
    if (!layout || layout->channels != 2 || layout->bitsPerSample != 16)
        return {};
    std::vector<int16_t> pcm(layout->dataBytes / 2);
    std::memcpy(pcm.data(), bytes.data() + layout->dataOffset, pcm.size() * 2);
    return pcm;
}

// Speech as 44.1 kHz 16-bit stereo with the synthesiser's own leading and trailing
// silence cut off, so that the pauses between sentences are exactly the ones
// inserted below.
std::vector<int16_t> speak(const vorel::test::TempDir &dir, const std::string &name, const std::string &text) {
    const std::string raw = dir.file(name + "-raw.wav"), cut = dir.file(name + ".wav");
    if (!vorel::test::mustRun("espeak-ng -w " + shellQuote(raw) + " " + shellQuote(text)) ||
        !vorel::test::mustRun("sox " + shellQuote(raw) + " -r 44100 -c 2 -b 16 -e signed-integer " + shellQuote(cut) +
                              " silence 1 0.01 0.2% reverse silence 1 0.01 0.2% reverse"))
        return {};
    return readStereo16(cut);
}

double rms(const std::vector<int16_t> &pcm) {
    double sum = 0;
    for (const int16_t v : pcm)
        sum += double(v) * v;
    return pcm.empty() ? 0 : std::sqrt(sum / double(pcm.size()));
}

// Noise from sox, made repeatable (-R), scaled to an RMS level in dB below a
// full-scale square wave.
std::vector<int16_t> soxNoise(const vorel::test::TempDir &dir, const std::string &kind, size_t values, double dbfs) {
    const std::string file = dir.file(kind + ".wav");
    const double seconds = double(values / 2 + Rate) / Rate;
    if (!vorel::test::mustRun("sox -R -n -r 44100 -c 2 -b 16 -e signed-integer " + shellQuote(file) + " synth " +
                              std::to_string(seconds) + " " + kind))
        return {};
    std::vector<int16_t> noise = readStereo16(file);
    if (noise.size() < values)
        return {};
    noise.resize(values);
    const double gain = FullScale * std::pow(10, dbfs / 20) / rms(noise);
    for (int16_t &v : noise)
        v = static_cast<int16_t>(std::lround(v * gain));
    return noise;
}

// Mains hum: 50 Hz with its second and third harmonic, at an RMS level in dBFS.
std::vector<int16_t> hum(size_t values, double dbfs) {
    const double peak = FullScale * std::pow(10, dbfs / 20) / std::sqrt((1 + 0.25 + 0.0625) / 2);
    std::vector<int16_t> out(values);
    for (size_t i = 0; i < values; ++i) {
        const double t = double(i / 2) / Rate, w = 2 * M_PI * 50 * t;
        out[i] = static_cast<int16_t>(std::lround(peak * (std::sin(w) + 0.5 * std::sin(2 * w) + 0.25 * std::sin(3 * w))));
    }
    return out;
}

std::vector<int16_t> mix(const std::vector<int16_t> &a, const std::vector<int16_t> &b) {
    std::vector<int16_t> out(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        out[i] = static_cast<int16_t>(std::clamp(int32_t(a[i]) + b[i], -32768, 32767));
    return out;
}

struct Span {
    int32_t startMs, endMs;
};

int32_t msAt(const std::vector<int16_t> &stereo) { return static_cast<int32_t>(stereo.size() / 2 * 1000 / Rate); }

// Seven sentences with room before, between and after them.
struct Recording {
    std::vector<int16_t> pcm;
    std::vector<Span> pauses; // every stretch without speech, the edges included
    std::vector<Span> longPauses; // the pauses between sentences of 250 ms or more
    double speechRms = 0;
};

Recording record(const vorel::test::TempDir &dir) {
    const std::vector<std::string> sentences = {
        "The weather was lovely this morning so we walked to the station",
        "Please remember to bring your passport and your ticket tomorrow",
        "My brother has lived in a small town near the sea for many years",
        "Could you tell me how to get to the nearest post office",
        "We usually have dinner at seven in the evening",
        "The children were playing football in the park after school",
        "I would like to book a table for four people on Friday night",
    };
    // Pause after each sentence but the last, in ms. 100 ms is below what counts
    // as a pause: those two sentences must stay one.
    const std::vector<int> pauses = {250, 400, 100, 700, 1000, 2000};

    Recording r;
    std::vector<int16_t> speech;
    vorel::test::append(r.pcm, vorel::test::silence(0.3, Rate, 2));
    r.pauses.push_back({0, msAt(r.pcm)});
    for (size_t i = 0; i < sentences.size(); ++i) {
        const auto pcm = speak(dir, "s" + std::to_string(i), sentences[i]);
        EXPECT_FALSE(pcm.empty()) << sentences[i];
        const int32_t start = msAt(r.pcm);
        vorel::test::append(r.pcm, pcm);
        vorel::test::append(speech, pcm);
        const int32_t end = msAt(r.pcm);
        // The splitter's minimum sentence (1200 ms) must not be what hides a pause.
        EXPECT_GT(end - start, 2000) << sentences[i];
        const int pause = i < pauses.size() ? pauses[i] : 500;
        vorel::test::append(r.pcm, vorel::test::silence(pause / 1000.0, Rate, 2));
        r.pauses.push_back({end, msAt(r.pcm)});
        if (i < pauses.size() && pause >= 250)
            r.longPauses.push_back(r.pauses.back());
    }
    r.speechRms = rms(speech);
    return r;
}

// A 40 ms sample stands for a block slightly longer than 40 ms, so the time of
// sample i drifts below the audio by under 2 ms per second: allow 60 ms at the far
// end of the recording.
constexpr int32_t Slack = 60;

bool within(int32_t t, const Span &p) { return t >= p.startMs - Slack && t <= p.endMs; }

struct Score {
    int found = 0;        // long pauses holding a breakpoint
    int insideSpeech = 0; // breakpoints in no pause at all
    std::string list;
};

Score score(const TStrings &breakpoints, const Recording &r) {
    Score s;
    std::vector<int32_t> inner;
    for (size_t i = 1; i + 1 < breakpoints.size(); ++i) {
        inner.push_back(std::stoi(breakpoints[i]));
        s.list += breakpoints[i] + " ";
    }
    for (const Span &p : r.longPauses) {
        int hits = 0;
        for (const int32_t t : inner)
            hits += within(t, p);
        s.found += hits > 0;
    }
    for (const int32_t t : inner) {
        bool inPause = false;
        for (const Span &p : r.pauses)
            inPause = inPause || within(t, p);
        s.insideSpeech += !inPause;
    }
    return s;
}

TStrings timesOf(const TSegmentList &list) {
    TStrings out;
    for (int32_t i = 0; i < list.Count(); ++i)
        out.push_back(std::to_string(list.Items(i).TimeMs));
    return out;
}

class SpeechSplit : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<vorel::test::TempDir>();
        recording_ = std::make_unique<Recording>(record(*dir_));
    }
    static void TearDownTestSuite() {
        recording_.reset();
        dir_.reset();
    }

    struct Result {
        TStrings fixed;          // the fixed silence level alone
        TStrings kept;           // what the breakpoint list holds
        TSplitOutcome outcome;
    };
    static Result split(const std::string &name, const std::vector<int16_t> &pcm) {
        const std::string file = dir_->file(name + ".wav");
        vorel::test::writeWav16(file, pcm, Rate, 2);
        TWaveSampleList sampler;
        sampler.SampleFile(file, false);
        Result r;
        TSegmentList segments;
        TSplitWave(segments.Settings).Split(sampler.Samples, r.fixed);
        r.outcome = segments.AutoSplit(sampler.Samples);
        r.kept = timesOf(segments);
        return r;
    }

    static inline std::unique_ptr<vorel::test::TempDir> dir_;
    static inline std::unique_ptr<Recording> recording_;
};

} // namespace

TEST_F(SpeechSplit, BreakpointsFallInThePauses) {
    const Recording &r = *recording_;
    const Result res = split("clean", r.pcm);
    const Score s = score(res.kept, r);
    EXPECT_EQ(s.found, int(r.longPauses.size())) << s.list;
    EXPECT_EQ(s.insideSpeech, 0) << s.list;
    EXPECT_EQ(res.kept.size(), r.longPauses.size() + 2) << "one breakpoint per pause: " << s.list;
    EXPECT_FALSE(res.outcome.NoiseFloor);
}

// Steady noise under the whole recording. Where the noise lies 10 dB or more
// below the speech, 90 % of the long pauses must hold a breakpoint; at no level may
// a breakpoint land inside a sentence. Where the fixed level already splits, its
// result must stay untouched. Prints one row per level for comparison.
TEST_F(SpeechSplit, NoiseUnderTheSpeech) {
    const Recording &r = *recording_;
    const size_t n = r.pcm.size();
    struct Case {
        std::string name;
        std::vector<int16_t> noise;
        double dbfs;
    };
    std::vector<Case> cases;
    for (const char *kind : {"whitenoise", "brownnoise"})
        for (const double db : {-45.0, -35.0, -30.0, -25.0})
            cases.push_back({std::string(kind) + std::to_string(int(db)), soxNoise(*dir_, kind, n, db), db});
    for (const double db : {-30.0, -25.0})
        cases.push_back({"hum" + std::to_string(int(db)), hum(n, db), db});

    const double speechDb = 20 * std::log10(r.speechRms / FullScale);
    std::printf("speech %.1f dBFS RMS; %zu pauses of 250 ms or more\n", speechDb, r.longPauses.size());
    std::printf("%-16s %9s %14s %14s %10s\n", "noise", "level", "fixed found/in", "kept found/in", "threshold");
    for (const Case &c : cases) {
        ASSERT_EQ(c.noise.size(), n) << c.name;
        const Result res = split(c.name, mix(r.pcm, c.noise));
        const Score fixed = score(res.fixed, r), kept = score(res.kept, r);
        std::printf("%-16s %9.0f %9d/%-4d %9d/%-4d %10d\n", c.name.c_str(), c.dbfs, fixed.found, fixed.insideSpeech,
                    kept.found, kept.insideSpeech, res.outcome.SilenceLevel);

        EXPECT_EQ(kept.insideSpeech, 0) << c.name << ": " << kept.list;
        if (speechDb - c.dbfs >= 10) {
            EXPECT_GE(kept.found * 10, int(r.longPauses.size()) * 9) << c.name << ": " << kept.list;
        }
        if (fixed.found > 0) {
            EXPECT_EQ(res.kept, res.fixed) << c.name;
            EXPECT_FALSE(res.outcome.NoiseFloor) << c.name;
            EXPECT_EQ(res.outcome.SilenceLevel, 1800) << c.name;
        } else {
            EXPECT_EQ(res.outcome.NoiseFloor, kept.found > 0) << c.name;
        }
        if (c.dbfs <= -45) {
            EXPECT_FALSE(res.outcome.NoiseFloor) << c.name;
        }
    }
}

// A tone as loud as the speech, throughout: the quiet stretches are not pauses
// under noise, and the recording stays the single sentence the fixed level gives.
TEST_F(SpeechSplit, LoudToneThroughoutStaysOneSentence) {
    const Recording &r = *recording_;
    auto tone = vorel::test::tone(440, double(r.pcm.size() / 2 + 1) / Rate, Rate, 2, r.speechRms * std::sqrt(2.0));
    tone.resize(r.pcm.size());
    const Result res = split("tone", mix(r.pcm, tone));
    EXPECT_EQ(res.fixed.size(), 2u);
    EXPECT_EQ(res.kept, res.fixed);
    EXPECT_FALSE(res.outcome.NoiseFloor);
}
