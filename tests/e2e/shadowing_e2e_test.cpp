// Shadowing as a learner uses it, with SDL's disk driver in both directions: the
// program reads a sentence, "hears" the same sentence said by another voice after
// some silence from SDL_DISKAUDIOFILEIN, keeps the take trimmed to its speech, and
// plays the sentence and then the take before it reads on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "../audio/speechtakes.h"
#include "e2esupport.h"

using namespace vorel::test;
using vorel::audio::test::kMs;
using vorel::audio::test::kRate;
using vorel::audio::test::makeTake;
using vorel::audio::test::speak;

namespace {

const char *const Sentence = "The weather is nice today.";

// The played output (stereo s16 at 44.1 kHz), its left channel at 16 kHz, linear between samples.
std::vector<float> outputAt16k(const std::vector<int16_t> &stereo) {
    const size_t frames = stereo.size() / 2;
    std::vector<float> out(size_t(double(frames) * kRate / 44100.0));
    for (size_t i = 0; i < out.size(); ++i) {
        const double at = double(i) * 44100.0 / kRate;
        const size_t k = std::min(size_t(at), frames - 2);
        const double f = at - double(k);
        out[i] = float(stereo[2 * k] * (1 - f) + stereo[2 * k + 2] * f);
    }
    return out;
}

// Loudness every 10 ms: the tempo stream may shift the phase of what it passes
// (overlap-add), so that waveforms no longer line up, but the loudness does.
constexpr int64_t Hop = kRate / 100;
template <typename T>
std::vector<double> envelope(const std::vector<T> &s) {
    std::vector<double> e(s.size() / size_t(Hop));
    for (size_t f = 0; f < e.size(); ++f) {
        double sum = 0;
        for (size_t i = f * size_t(Hop); i < (f + 1) * size_t(Hop); ++i) sum += double(s[i]) * s[i];
        e[f] = std::sqrt(sum / double(Hop));
    }
    return e;
}

struct Match {
    int64_t at = -1;  // in 16-kHz samples of the output
    double score = -1; // correlation of the loudness curves
};

// The first place in the output (its loudness curve), from `from` (16-kHz
// samples), where the template's loudness curve fits with a correlation of at
// least `least`: the best fit within 300 ms of the first that does.
Match findFirst(const std::vector<double> &out, const std::vector<int16_t> &tmpl, int64_t from, double least) {
    const std::vector<double> t = envelope(tmpl);
    const size_t n = t.size();
    double tm = 0;
    for (double v : t) tm += v / double(n);
    Match best;
    size_t until = SIZE_MAX;
    for (size_t lag = size_t(std::max<int64_t>(from, 0) / Hop); n > 1 && lag + n <= out.size() && lag < until; ++lag) {
        double om = 0;
        for (size_t i = 0; i < n; ++i) om += out[lag + i] / double(n);
        double dot = 0, tt = 0, oo = 0;
        for (size_t i = 0; i < n; ++i) {
            const double a = t[i] - tm, b = out[lag + i] - om;
            dot += a * b;
            tt += a * a;
            oo += b * b;
        }
        const double score = oo > 0 && tt > 0 ? dot / std::sqrt(tt * oo) : 0;
        if (score >= least && until == SIZE_MAX) until = lag + 30;
        if (score >= least && score > best.score) best = {int64_t(lag) * Hop, score};
    }
    return best;
}

// The waveform's fit (normalised correlation) of the template in the output at
// `at`, give or take 10 ms: what tells the take from the sentence, whose loudness
// curves look alike (the same words, the same synthesiser).
double waveFit(const std::vector<float> &out16, const std::vector<int16_t> &tmpl, int64_t at) {
    double best = 0, tt = 0;
    for (int16_t v : tmpl) tt += double(v) * v;
    for (int64_t lag = std::max<int64_t>(at - 10 * kMs, 0); lag <= at + 10 * kMs; ++lag) {
        if (lag + int64_t(tmpl.size()) > int64_t(out16.size())) break;
        double dot = 0, oo = 0;
        for (size_t i = 0; i < tmpl.size(); ++i) {
            dot += double(tmpl[i]) * out16[size_t(lag) + i];
            oo += double(out16[size_t(lag) + i]) * out16[size_t(lag) + i];
        }
        if (oo > 0 && tt > 0) best = std::max(best, dot / std::sqrt(tt * oo));
    }
    return best;
}

std::vector<int16_t> readFlac(const TempDir &dir, const std::string &path) {
    const std::string raw = dir.file("kept.raw");
    if (!mustRun("sox " + shellQuote(path) + " -t raw -e signed -b 16 " + shellQuote(raw))) return {};
    const std::vector<uint8_t> b = readFile(raw);
    std::vector<int16_t> s(b.size() / 2);
    std::copy(b.begin(), b.begin() + long(s.size() * 2), reinterpret_cast<uint8_t *>(s.data()));
    return s;
}

std::string dump(const TVorelRun &run) {
    std::string s;
    for (const TraceLine &l : run.trace()) s += std::to_string(l.ms) + " " + l.kind + " " + l.detail + "\n";
    return s + run.stderrText();
}

} // namespace

TEST(ShadowingE2E, ATakeIsRecordedTrimmedKeptAndPlayedAfterTheSentence) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    // The lesson: the sentence (voice one) and a second of silence, two stamps.
    const std::vector<int16_t> said = speak(Sentence, "en-us");
    ASSERT_FALSE(said.empty());
    const int64_t sentenceMs = int64_t(said.size()) / kMs;
    std::vector<int16_t> lesson = said;
    lesson.resize(said.size() + kRate, 0);
    writeWav16(dir.file("lesson.wav"), lesson, kRate, 1);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[00:%02d.%02d]", int(sentenceMs / 1000), int(sentenceMs % 1000 / 10));
    writeText(dir.file("lesson.lrc"), std::string("[00:00.00]") + Sentence + "\n" + stamp + "\n");

    // What the microphone hears from the start of the reading: silence through the
    // reading and a second and a half after it (paced output and capture drift apart
    // on a busy machine; the margin keeps the speech after the take's start), then
    // the sentence said by another voice, then silence. Noise on all of it: a room.
    const std::vector<int16_t> other = speak(Sentence, "en-us+f3");
    ASSERT_FALSE(other.empty());
    const double lead = double(sentenceMs) / 1000 + 1.5;
    const vorel::audio::test::Take heard = makeTake(other, 150, lead, 8.0);
    {
        const auto *b = reinterpret_cast<const uint8_t *>(heard.samples.data());
        writeFile(dir.file("mic.raw"), std::vector<uint8_t>(b, b + heard.samples.size() * 2));
    }

    TVorelRun run(x, dir, shellQuote(dir.file("lesson.wav")), false, {{"SDL_DISKAUDIOFILEIN", dir.file("mic.raw")}});
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    ASSERT_TRUE(run.waitFor("load", "lesson.wav", 10000)) << dump(run);
    run.click(at::pauseTime.first, at::pauseTime.second);
    run.key("Home Down Down Down Down Down Down Return"); // 10秒: the take ends by silence long before
    // 跟读, by its key; a busy X server may drop a key press, so it is pressed until the trace says so.
    for (int i = 0; i < 3 && run.count("take", "shadowing on") == 0; ++i) {
        run.focus();
        run.key("F3");
        run.waitFor("take", "shadowing on", 3000);
    }
    ASSERT_EQ(run.count("take", "shadowing on"), 1u) << dump(run);
    run.click(at::play.first, at::play.second);
    ASSERT_TRUE(run.waitFor("take", "played", 60000)) << dump(run);
    x.closeWindow(run.window());
    EXPECT_EQ(run.child.wait(5000), 0);

    // The trace: the reading's end, the take's start at a capture frame, what was kept.
    long endMs = -1, startMs = -1, keptMs = -1;
    int64_t atFrame = -1, keptLength = -1, from = -1, behind = -1;
    std::string keptPath;
    for (const TraceLine &l : run.trace()) {
        if (l.kind == "end" && endMs < 0) endMs = l.ms;
        if (l.kind != "take") continue;
        std::istringstream in(l.detail);
        std::string word, a, b;
        in >> word;
        if (word == "start" && startMs < 0) {
            startMs = l.ms;
            in >> a >> b >> word >> word >> atFrame >> word >> behind; // "<start> <end> at frame N behind B ms"
        } else if (word == "kept" && keptMs < 0) {
            keptMs = l.ms;
            in >> keptLength >> word >> word >> word >> from >> keptPath; // "N of M from F path"
        }
    }
    ASSERT_GE(endMs, 0) << dump(run);
    ASSERT_GE(startMs, 0) << dump(run);
    ASSERT_FALSE(keptPath.empty()) << dump(run);
    // The recording starts as the reading's end is handled (the microphone was
    // armed when the reading began): the program's own clock says so.
    EXPECT_LE(startMs - endMs, 50) << dump(run);
    std::printf("capture start gap: %ld ms after the reading's end was handled, at a frame heard %lld ms before\n",
                startMs - endMs, (long long)behind);
    // Ended by the silence after the speech, well inside the ten seconds.
    EXPECT_LT(keptMs - startMs, 9000) << dump(run);

    // Kept: the file is in the store, sample for sample what the microphone heard,
    // trimmed to the speech within 30 ms at either end.
    ASSERT_TRUE(std::filesystem::exists(keptPath));
    EXPECT_EQ(keptPath.rfind(dir.file("data") + "/vorel/takes/", 0), 0u) << keptPath;
    const std::vector<int16_t> kept = readFlac(dir, keptPath);
    ASSERT_EQ(int64_t(kept.size()), keptLength);
    const int64_t first = atFrame + from;
    ASSERT_GE(first, 0);
    ASSERT_LE(first + keptLength, int64_t(heard.samples.size()));
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), heard.samples.begin() + first));
    EXPECT_NEAR(double(first - heard.speechFirst) / kMs, 0, 30);
    EXPECT_NEAR(double(first + keptLength - heard.speechEnd) / kMs, 0, 30);

    // Played: the sentence, the sentence again, then the take, in that order.
    const std::vector<float> out16 = outputAt16k(run.played());
    const std::vector<double> out = envelope(out16);
    const std::vector<int16_t> sentence(said.begin(), said.end());
    // Resampled on the way out, and the readings through the tempo stream: loudness
    // curves find the three, the waveform tells the take from the sentence.
    const int64_t len = int64_t(said.size());
    const Match reading = findFirst(out, sentence, 0, 0.9);
    const Match replay = findFirst(out, sentence, reading.at + len, 0.9);
    const Match take = findFirst(out, kept, replay.at + len / 2, 0.9);
    std::printf("reading at %.2f s (%.3f), replay at %.2f s (%.3f), take at %.2f s (%.3f)\n", double(reading.at) / kRate,
                reading.score, double(replay.at) / kRate, replay.score, double(take.at) / kRate, take.score);
    ASSERT_GE(reading.at, 0);
    ASSERT_GE(replay.at, 0);
    ASSERT_GE(take.at, 0);
    // The take follows the replay's end; the sentence's tail (100 ms) may lie between.
    EXPECT_GE(take.at, replay.at + len - 20 * kMs);
    EXPECT_LE(take.at, replay.at + len + 1000 * kMs);
    // The take's waveform, resampled once, fits there and not at either reading.
    EXPECT_GT(waveFit(out16, kept, take.at), 0.7);
    EXPECT_LT(waveFit(out16, kept, reading.at), 0.4);
    EXPECT_LT(waveFit(out16, kept, replay.at), 0.4);
    std::printf("take's waveform fits %.2f, at the readings %.2f and %.2f\n", waveFit(out16, kept, take.at),
                waveFit(out16, kept, reading.at), waveFit(out16, kept, replay.at));
}
