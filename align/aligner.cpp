#include "aligner.h"

#include <algorithm>
#include <array>
#include <complex>
#include <cmath>
#include <limits>
#include <memory>

#include "synthesizer.h"

namespace vorel::align {

namespace {

constexpr uint32_t Hop = AnalysisRate / 1000 * FrameMs;
constexpr int LevelSamples = AnalysisRate / 1000 * LevelMs;
constexpr int CellsPerFrame = FrameMs / LevelMs;

// The pause the synthesis leaves before, between and after its sentences.
constexpr int32_t SynthGapMs = 300;
// Silence shorter than this is inside a word; at least PauseMs is a pause where a
// sentence may begin.
constexpr int32_t WordGapMs = 60;
constexpr int32_t PauseMs = 150;
// Shorter sound in a pause is a click or a breath.
constexpr int32_t MinSpeechMs = 50;
// How far a boundary may move to reach its pause.
constexpr int32_t MaxSnapMs = 700;
// A first sentence that begins this early begins at the start.
constexpr int32_t FirstSentenceFromStartMs = 500;
// A reading begins this much before the speech, when the pause is long enough.
constexpr int32_t LeadMs = 60;
// Recording rows of the warping path this wide (one synthesised frame held over
// that much of the recording) hold sound the text does not have...
constexpr int64_t WideRowFrames = 400 / FrameMs;
// ... and when they hold this much speech, the recording says what the text lacks
// (a paragraph; a human reader's sentence that the synthesis matches poorly can
// leave a shorter stretch).
constexpr int64_t ExtraSpeechFrames = 3500 / FrameMs;
// Sentences the path passes over are reported as missing from the recording only
// when together they should have lasted this long; shorter runs stay in place.
constexpr int64_t NotSpokenMinMs = 3500;
// A sentence that gets less than this share of the time it should take (at the
// reader's pace) is not in the recording.
constexpr double NotSpokenShare = 0.3;

// The bands' analysis: a Hann window of 16 ms ending with each level value's
// samples, its spectrum by a radix-2 FFT, the power summed per band.
constexpr size_t BandWindow = 256;
constexpr std::array<int, SpeechBands + 1> BandEdgesHz{250, 375, 500, 650, 800, 1000, 1250,
                                                       1550, 1900, 2350, 2900, 3600, 4500};

void bandEnergies(const std::vector<float> &samples, std::vector<uint8_t> &out) {
    static const std::vector<float> hann = [] {
        std::vector<float> w(BandWindow);
        for (size_t i = 0; i < BandWindow; ++i)
            w[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(i) / BandWindow));
        return w;
    }();
    std::array<std::complex<float>, BandWindow> x;
    for (size_t i = 0, j = 0; i < BandWindow; ++i) {
        x[j] = samples[i] * hann[i]; // bit-reversed order
        for (size_t bit = BandWindow >> 1; (j ^= bit) < bit; bit >>= 1) {
        }
    }
    for (size_t len = 2; len <= BandWindow; len <<= 1) {
        const std::complex<float> step = std::polar(1.0f, static_cast<float>(-2 * M_PI / static_cast<double>(len)));
        for (size_t i = 0; i < BandWindow; i += len) {
            std::complex<float> w = 1;
            for (size_t k = 0; k < len / 2; ++k, w *= step) {
                const std::complex<float> a = x[i + k], b = x[i + k + len / 2] * w;
                x[i + k] = a + b;
                x[i + k + len / 2] = a - b;
            }
        }
    }
    constexpr double binHz = static_cast<double>(AnalysisRate) / BandWindow;
    for (int b = 0; b < SpeechBands; ++b) {
        double power = 0;
        for (auto k = static_cast<size_t>(BandEdgesHz[b] / binHz); k < static_cast<size_t>(BandEdgesHz[b + 1] / binHz); ++k)
            power += std::norm(x[k]);
        const double db = 10 * std::log10(power / BandWindow + 1e-12);
        out.push_back(static_cast<uint8_t>(std::clamp(std::lround((db + 120) * 2), 0L, 255L)));
    }
}

speech::TMfccSettings mfccSettings() {
    speech::TMfccSettings s;
    s.SampleRate = AnalysisRate;
    s.Window = 1024;
    s.Hop = Hop;
    return s;
}

// A click or a breath of a few milliseconds in a pause is no word.
void dropShortSpeech(std::vector<bool> &speech, size_t minCells) {
    for (size_t i = 0; i < speech.size();) {
        size_t e = i;
        while (e < speech.size() && speech[e] == speech[i])
            ++e;
        if (speech[i] && e - i < minCells)
            std::fill(speech.begin() + static_cast<ptrdiff_t>(i), speech.begin() + static_cast<ptrdiff_t>(e), false);
        i = e;
    }
}

// Speech or not for each level value: above a threshold over the noise floor
// around it (a low percentile of the level within a few seconds), so that noise
// that comes and goes (music, a fan switched on, a room's murmur) is not read as
// speech where it is loud nor hides pauses where it is soft. The floor is taken
// per second and the lowest of the seconds around is used, in time linear in the
// length.
std::vector<bool> speechCells(const std::vector<float> &level, std::vector<float> *floors = nullptr) {
    // Digital silence (produced audio, gated pauses) says nothing of the room's noise.
    std::vector<float> sorted;
    for (const float v : level)
        if (v > -90)
            sorted.push_back(v);
    if (sorted.empty())
        return std::vector<bool>(level.size(), false);
    auto pct = [](std::vector<float> &v, double p) {
        const size_t k = static_cast<size_t>(p * static_cast<double>(v.size() - 1));
        std::nth_element(v.begin(), v.begin() + static_cast<ptrdiff_t>(k), v.end());
        return v[k];
    };
    const float globalFloor = pct(sorted, 0.05), loud = pct(sorted, 0.95);
    constexpr size_t Block = 1000 / LevelMs;
    constexpr size_t reach = 3; // seconds either side
    std::vector<float> blockFloor;
    for (size_t b = 0; b < level.size(); b += Block) {
        std::vector<float> part;
        for (size_t c = b; c < std::min(level.size(), b + Block); ++c)
            if (level[c] > -90)
                part.push_back(level[c]);
        blockFloor.push_back(part.empty() ? globalFloor : pct(part, 0.1));
    }
    constexpr float margin = 8; // dB
    std::vector<bool> out(level.size());
    for (size_t i = 0; i < level.size(); ++i) {
        const size_t b = i / Block;
        float floor = blockFloor[b];
        for (size_t k = b > reach ? b - reach : 0; k <= std::min(blockFloor.size() - 1, b + reach); ++k)
            floor = std::min(floor, blockFloor[k]);
        floor = std::max(floor, globalFloor);
        if (floors)
            floors->push_back(floor);
        const float high = floor + std::max(margin, 0.35f * (loud - floor));
        out[i] = level[i] > high;
    }
    dropShortSpeech(out, MinSpeechMs / LevelMs);
    return out;
}

// How far each level value's spectrum stands above the noise floor of its bands
// (dB, mean over the bands): the floor per band is a low percentile of that band
// within a second or two, so that noise that holds a few bands (music, a fan's
// hum) raises only their floors, and a pause under it still reads as a pause.
std::vector<float> bandExcess(const std::vector<uint8_t> &bands) {
    const size_t cells = bands.size() / SpeechBands;
    constexpr size_t Block = 1000 / LevelMs;
    // A second either side: music changes its bands' floors within a few seconds.
    constexpr size_t reach = 1;
    const size_t blocks = (cells + Block - 1) / Block;
    std::vector<float> floor(blocks * SpeechBands);
    std::vector<uint8_t> part;
    constexpr double pct = 0.2;
    for (size_t b = 0; b < blocks; ++b)
        for (int k = 0; k < SpeechBands; ++k) {
            part.clear();
            for (size_t c = b * Block; c < std::min(cells, (b + 1) * Block); ++c)
                if (bands[c * SpeechBands + k] > 20) // digital silence says nothing of the room
                    part.push_back(bands[c * SpeechBands + k]);
            if (part.empty()) {
                floor[b * SpeechBands + k] = 255;
                continue;
            }
            const size_t at = static_cast<size_t>(pct * static_cast<double>(part.size() - 1));
            std::nth_element(part.begin(), part.begin() + static_cast<ptrdiff_t>(at), part.end());
            floor[b * SpeechBands + k] = part[at];
        }
    std::vector<float> out(cells);
    std::array<float, SpeechBands> f{};
    for (size_t c = 0; c < cells; ++c) {
        if (c % Block == 0) {
            const size_t b = c / Block;
            f.fill(255);
            for (size_t j = b > reach ? b - reach : 0; j <= std::min(blocks - 1, b + reach); ++j)
                for (int k = 0; k < SpeechBands; ++k)
                    f[k] = std::min(f[k], floor[j * SpeechBands + k]);
        }
        float sum = 0;
        for (int k = 0; k < SpeechBands; ++k)
            sum += std::max(0.0f, (static_cast<float>(bands[c * SpeechBands + k]) - f[k]) / 2);
        out[c] = sum / SpeechBands;
    }
    return out;
}

// Speech or not for each level value from the bands' excess over their floors.
std::vector<bool> speechFromBands(const std::vector<uint8_t> &bands) {
    std::vector<float> excess = bandExcess(bands);
    // Smoothed over three values: one window's spectrum is a noisy estimate.
    std::vector<float> smooth(excess.size());
    for (size_t c = 0; c < excess.size(); ++c) {
        const size_t a = c ? c - 1 : c, b = std::min(excess.size() - 1, c + 1);
        smooth[c] = (excess[a] + excess[c] + excess[b]) / 3;
    }
    std::vector<float> sorted = smooth;
    if (sorted.empty())
        return {};
    const size_t k = static_cast<size_t>(0.95 * static_cast<double>(sorted.size() - 1));
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<ptrdiff_t>(k), sorted.end());
    const float loud = sorted[k];
    // Above a few dB over the floors, and a quarter of the loud speech's excess.
    // Never more than 8 dB: in a clean recording the loudest speech stands some
    // 50 dB above the floors, and a quarter of that missed a soft voice.
    const float threshold = std::min(8.0f, std::max(4.0f, 0.25f * loud));
    std::vector<bool> out(smooth.size());
    for (size_t c = 0; c < smooth.size(); ++c)
        out[c] = smooth[c] > threshold;
    dropShortSpeech(out, MinSpeechMs / LevelMs);
    return out;
}

// Runs of speech far softer than the speech around them and not far above the
// noise floor are a voice or music in the background: a pause that holds them
// would otherwise let a sentence begin at them. A run that leads into louder
// speech is the soft start of a word, and a soft voice in a quiet room stands
// well above the floor: both stay. The speech around is the level that half the
// speech time within half a minute either side lies in louder runs, so that a
// book read louder in one chapter than another loses nothing.
void dropBackground(std::vector<bool> &speech, const std::vector<float> &level, const std::vector<float> &floors) {
    constexpr float BelowForegroundDb = 10, AboveFloorDb = 20;
    constexpr size_t LeadInCells = 250 / LevelMs, Reach = 30000 / LevelMs, Block = 5000 / LevelMs;
    struct TRun {
        size_t begin, end;
        float peak; // the 90th percentile of its levels
    };
    std::vector<TRun> runs;
    std::vector<float> v;
    for (size_t i = 0; i < speech.size() && i < level.size();) {
        if (!speech[i]) {
            ++i;
            continue;
        }
        size_t e = i;
        v.clear();
        while (e < speech.size() && e < level.size() && speech[e])
            v.push_back(level[e++]);
        const size_t k = v.size() * 9 / 10;
        std::nth_element(v.begin(), v.begin() + static_cast<ptrdiff_t>(k), v.end());
        runs.push_back({i, e, v[k]});
        i = e;
    }
    // The foreground level per block, from the runs that begin within reach of it.
    std::vector<float> fore((speech.size() + Block - 1) / Block, 0);
    std::vector<std::pair<float, size_t>> near;
    size_t lo = 0, hi = 0;
    for (size_t b = 0; b < fore.size(); ++b) {
        const size_t centre = b * Block + Block / 2;
        while (lo < runs.size() && runs[lo].begin + Reach < centre)
            ++lo;
        hi = std::max(hi, lo);
        while (hi < runs.size() && runs[hi].begin <= centre + Reach)
            ++hi;
        near.clear();
        size_t total = 0;
        for (size_t r = lo; r < hi; ++r) {
            near.push_back({runs[r].peak, runs[r].end - runs[r].begin});
            total += runs[r].end - runs[r].begin;
        }
        std::sort(near.begin(), near.end(), [](const auto &a, const auto &c) { return a.first > c.first; });
        size_t acc = 0;
        for (const auto &[peak, length] : near) {
            acc += length;
            fore[b] = peak;
            if (2 * acc >= total)
                break;
        }
    }
    size_t nextLoud = SIZE_MAX;
    for (size_t j = runs.size(); j-- > 0;) {
        const TRun &r = runs[j];
        const float floor = r.begin < floors.size() ? floors[r.begin] : -120;
        if (r.peak >= fore[r.begin / Block] - BelowForegroundDb || r.peak >= floor + AboveFloorDb) {
            nextLoud = r.begin;
            continue;
        }
        if (nextLoud != SIZE_MAX && nextLoud - r.end <= LeadInCells)
            continue;
        std::fill(speech.begin() + static_cast<ptrdiff_t>(r.begin), speech.begin() + static_cast<ptrdiff_t>(r.end), false);
    }
}

std::vector<bool> speechFrames(const std::vector<bool> &cells, int64_t frames) {
    std::vector<bool> out(static_cast<size_t>(frames), false);
    for (size_t c = 0; c < cells.size(); ++c)
        if (cells[c] && static_cast<int64_t>(c / CellsPerFrame) < frames)
            out[c / CellsPerFrame] = true;
    return out;
}

std::vector<int64_t> cumulative(const std::vector<bool> &mask) {
    std::vector<int64_t> cum(mask.size() + 1, 0);
    for (size_t i = 0; i < mask.size(); ++i)
        cum[i + 1] = cum[i] + (mask[i] ? 1 : 0);
    return cum;
}

// The synthesised reading of the whole text, analysed like the recording, with
// where each sentence's speech begins and ends in it.
struct TSynthTrack {
    speech::TFeatureMatrix features;
    std::vector<float> level;
    std::vector<int64_t> startMs, endMs; // per sentence; equal for a sentence without sound
};

TSynthTrack synthesise(const std::vector<TSentence> &sentences, const std::string &voice,
                       const TAlignProgress &progress, bool &stopped) {
    TSynthTrack t;
    // Analysed as it is made: a book's synthesis would not fit in memory whole.
    std::unique_ptr<TRecordingAnalysis> analysis;
    uint32_t rate = 0;
    int64_t made = 0; // samples so far
    std::vector<float> block;
    uint32_t noise = 12345; // a faint deterministic dither: digital silence has no spectrum
    auto gap = [&](int32_t ms) {
        block.resize(static_cast<size_t>(rate) * static_cast<size_t>(ms) / 1000);
        for (float &v : block) {
            noise = noise * 1664525u + 1013904223u;
            v = (static_cast<float>(noise >> 8) / 16777216.0f - 0.5f) * 0.002f;
        }
        analysis->Push(block.data(), block.size());
        made += static_cast<int64_t>(block.size());
    };
    for (size_t k = 0; k < sentences.size(); ++k) {
        if (progress && !progress(0.4 * static_cast<double>(k) / static_cast<double>(sentences.size()))) {
            stopped = true;
            return t;
        }
        const TSpeech speech = Synthesize(sentences[k].Text, voice);
        if (!analysis) {
            rate = speech.SampleRate;
            analysis = std::make_unique<TRecordingAnalysis>(rate, false);
            gap(SynthGapMs);
        }
        size_t first = 0, last = speech.Samples.size();
        while (first < last && std::abs(speech.Samples[first]) < 300)
            ++first;
        while (last > first && std::abs(speech.Samples[last - 1]) < 300)
            --last;
        t.startMs.push_back(made * 1000 / rate);
        block.resize(last - first);
        for (size_t i = first; i < last; ++i)
            block[i - first] = speech.Samples[i] / 32768.0f;
        analysis->Push(block.data(), block.size());
        made += static_cast<int64_t>(block.size());
        t.endMs.push_back(made * 1000 / rate);
        if (last > first)
            gap(SynthGapMs);
    }
    if (!analysis)
        return t;
    analysis->Finish();
    t.features = analysis->Features();
    t.level = analysis->LevelDb();
    return t;
}

// Runs of silence in the recording, in level cells.
struct TSilence {
    int64_t begin, end;
};

std::vector<TSilence> silences(const std::vector<bool> &speech, int64_t minCells) {
    std::vector<TSilence> out;
    for (int64_t c = 0, n = static_cast<int64_t>(speech.size()); c < n;) {
        if (speech[c]) {
            ++c;
            continue;
        }
        int64_t e = c;
        while (e < n && !speech[e])
            ++e;
        if (e - c >= minCells)
            out.push_back({c, e});
        c = e;
    }
    return out;
}

// Two pauses of some length with a sound too short for a word between them are
// one pause: a noise (a beat of music, a voice in the room) in a long pause would
// otherwise let a sentence begin at it.
std::vector<TSilence> bridgeBlips(const std::vector<TSilence> &gaps) {
    constexpr int64_t BlipMs = 150, BridgedPauseMs = 300;
    std::vector<TSilence> out;
    for (const TSilence &g : gaps)
        if (!out.empty() && (g.begin - out.back().end) * LevelMs <= BlipMs &&
            std::min(g.end - g.begin, out.back().end - out.back().begin) * LevelMs >= BridgedPauseMs)
            out.back().end = g.end;
        else
            out.push_back(g);
    return out;
}

// Where a sentence found at cell c really begins: after the nearest pause, reached
// without passing a gap between words (never across a word). The pause's length
// is returned too (0 when c stays).
std::pair<int64_t, int64_t> snapOnset(int64_t c, const std::vector<TSilence> &gaps) {
    constexpr int64_t pause = PauseMs / LevelMs, reach = MaxSnapMs / LevelMs;
    // The first gap that ends after c, and the one before it.
    const auto after = std::upper_bound(gaps.begin(), gaps.end(), c,
                                        [](int64_t x, const TSilence &g) { return x < g.end; });
    if (after != gaps.end() && after->begin <= c) // inside a gap
        return after->end - after->begin >= pause ? std::pair{after->end, after->end - after->begin}
                                                  : std::pair{c, int64_t{0}};
    int64_t best = -1, bestDistance = reach + 1, bestLength = 0;
    if (after != gaps.begin()) {
        const TSilence &g = *(after - 1);
        if (g.end - g.begin >= pause && c - g.end < bestDistance) {
            best = g.end;
            bestDistance = c - g.end;
            bestLength = g.end - g.begin;
        }
    }
    if (after != gaps.end()) {
        const TSilence &g = *after;
        if (g.end - g.begin >= pause && g.begin - c < bestDistance) {
            best = g.end;
            bestLength = g.end - g.begin;
        }
    }
    return best < 0 ? std::pair{c, int64_t{0}} : std::pair{best, bestLength};
}

// Where each sentence begins, chosen among the recording's pauses for all
// sentences at once: near where the warping path puts it, after a long pause
// rather than a short one, and so that each sentence's speech lasts what its
// synthesis lasts at the reader's pace. A path that drifts by seconds (a reader
// whose voice the synthesis matches poorly) still lands each start after a pause,
// and the durations keep neighbours from sharing one. A sentence with no pause
// near keeps where the path and the nearest pause put it.
struct TOnset {
    int64_t cell = 0, pauseCells = 0; // where its speech begins; the pause before it
};

struct TBoundary {
    int64_t pathMs = 0;       // where the warping path puts the start
    TOnset fallback;          // the path's start moved to its pause
    double expectFrames = 0;  // speech the sentence should hold, in recording frames
    bool freeLength = false;  // speech the text lacks follows it: its length says nothing
};

std::vector<TOnset> chooseOnsets(const std::vector<TBoundary> &b, const std::vector<TSilence> &gaps,
                                 const std::vector<int64_t> &recCum, int64_t cells) {
    // Costs in units of a squared standard deviation: the path's start is trusted
    // to about 3 s (it drifts with a voice the synthesis matches poorly), a
    // sentence's length to about 30 % (readers slow down and hurry); each term is
    // capped so that one odd sentence does not move the others. A pause of 2 s
    // weighs about one deviation more than one of 150 ms.
    constexpr double PathSigmaMs = 3000, PathCap = 8, LengthSigma = 0.3, LengthCap = 10, PauseWeight = 1.0,
                     FallbackCost = 3, PreambleCostPerSecond = 2;
    // No sentence is spoken (a silent recording): nothing to place.
    if (b.empty())
        return {};
    constexpr int64_t WindowMs = 15000, pause = PauseMs / LevelMs;
    const int64_t lastFrame = static_cast<int64_t>(recCum.size()) - 1;
    struct TCand {
        TOnset at;
        double cost;
        double total = 0;
        int32_t from = -1;
    };
    std::vector<std::vector<TCand>> cands(b.size());
    for (size_t k = 0; k < b.size(); ++k) {
        auto near = [&](int64_t cell) {
            const double d = static_cast<double>(cell * LevelMs - b[k].pathMs) / PathSigmaMs;
            return std::min(d * d / 2, PathCap);
        };
        auto it = std::lower_bound(gaps.begin(), gaps.end(), (b[k].pathMs - WindowMs) / LevelMs,
                                   [](const TSilence &g, int64_t c) { return g.end < c; });
        for (; it != gaps.end() && it->end * LevelMs <= b[k].pathMs + WindowMs; ++it) {
            const int64_t len = it->end - it->begin;
            if (len < pause || it->end >= cells) // the silence that ends the recording begins nothing
                continue;
            const double bonus = std::log(static_cast<double>(std::min<int64_t>(len, 2000 / LevelMs)) / pause);
            cands[k].push_back({{it->end, len}, near(it->end) - PauseWeight * bonus});
        }
        cands[k].push_back({b[k].fallback, near(b[k].fallback.cell) + FallbackCost});
    }
    auto lengthCost = [&](size_t k, int64_t fromCell, int64_t toCell) {
        if (b[k].freeLength || b[k].expectFrames <= 0)
            return 0.0;
        const int64_t f0 = std::clamp<int64_t>(fromCell / CellsPerFrame, 0, lastFrame),
                      f1 = std::clamp<int64_t>(toCell / CellsPerFrame, 0, lastFrame);
        const double got = static_cast<double>(recCum[f1] - recCum[f0]);
        const double r = std::log(std::max(got, 0.5) / b[k].expectFrames) / LengthSigma;
        return std::min(r * r / 2, LengthCap);
    };
    constexpr double Inf = std::numeric_limits<double>::infinity();
    // Speech before the first sentence is speech the text lacks: costly per second.
    for (TCand &c : cands[0]) {
        const int64_t f = std::clamp<int64_t>(c.at.cell / CellsPerFrame, 0, lastFrame);
        const double seconds = static_cast<double>(recCum[f]) * FrameMs / 1000;
        c.total = c.cost + std::min(PreambleCostPerSecond * seconds, LengthCap);
    }
    for (size_t k = 1; k < b.size(); ++k)
        for (TCand &c : cands[k]) {
            c.total = Inf;
            for (size_t i = 0; i < cands[k - 1].size(); ++i) {
                const TCand &p = cands[k - 1][i];
                if (p.at.cell >= c.at.cell || p.total == Inf)
                    continue;
                const double t = p.total + lengthCost(k - 1, p.at.cell, c.at.cell) + c.cost;
                if (t < c.total) {
                    c.total = t;
                    c.from = static_cast<int32_t>(i);
                }
            }
        }
    std::vector<TOnset> out(b.size());
    // The last sentence runs to the end of the recording's speech.
    int32_t at = -1;
    double best = Inf;
    for (size_t i = 0; i < cands.back().size(); ++i) {
        const TCand &c = cands.back()[i];
        const double t = c.total + lengthCost(b.size() - 1, c.at.cell, lastFrame * CellsPerFrame);
        if (t < best) {
            best = t;
            at = static_cast<int32_t>(i);
        }
    }
    // No order of pauses fits (path starts out of order): every sentence keeps its fallback.
    if (at < 0) {
        for (size_t k = 0; k < b.size(); ++k)
            out[k] = b[k].fallback;
        return out;
    }
    for (size_t k = b.size(); k-- > 0;) {
        out[k] = cands[k][static_cast<size_t>(at)].at;
        at = cands[k][static_cast<size_t>(at)].from;
        if (at < 0 && k > 0) { // cannot happen after a finite total; stay safe
            for (size_t j = 0; j < k; ++j)
                out[j] = b[j].fallback;
            break;
        }
    }
    return out;
}

struct TExtra {
    int64_t begin, end; // recording frames
};

// Stretches where the path holds one synthesised frame over much of the
// recording while the recording speaks: speech the text does not have. Where
// that speech has quiet pauses of its own, the path steps a few frames through
// the synthesis's pause to match them; stretches so close, within one pause of
// the synthesis, are one.
std::vector<TExtra> extraSpeech(const speech::TWarpPath &path, const std::vector<int64_t> &recCum) {
    constexpr int64_t StepRows = SynthGapMs / FrameMs, StepFrames = 2 * PauseMs / FrameMs + 1;
    std::vector<TExtra> runs;
    int64_t lastRow = -1;
    for (size_t r = 0; r < path.First.size(); ++r) {
        if (path.Last[r] - path.First[r] + 1 < WideRowFrames)
            continue;
        const auto row = static_cast<int64_t>(r);
        if (!runs.empty() && path.First[r] <= runs.back().end + StepFrames && row - lastRow <= StepRows)
            runs.back().end = std::max(runs.back().end, path.Last[r] + 1);
        else
            runs.push_back({path.First[r], path.Last[r] + 1});
        lastRow = row;
    }
    std::vector<TExtra> out;
    for (const TExtra &e : runs)
        if (recCum[e.end] - recCum[e.begin] >= ExtraSpeechFrames)
            out.push_back(e);
    return out;
}

// The pauses between synthesised sentences may hold any sound of the recording
// at the price of unrelated speech (the mean distance of speech frames drawn at
// random from both; a matched frame pair costs twice its distance), so that
// speech the text lacks is set aside there instead of being spread over a
// sentence.
std::vector<float> gapHolds(const TSynthTrack &synth, const speech::TFeatureMatrix &rec,
                            const std::vector<int64_t> &synCum, const std::vector<int64_t> &recCum) {
    const int64_t rows = synth.features.Frames(), cols = rec.Frames();
    std::vector<int64_t> synSpeech, recSpeech;
    for (int64_t i = 0; i < rows; ++i)
        if (synCum[i + 1] > synCum[i])
            synSpeech.push_back(i);
    for (int64_t j = 0; j < cols; ++j)
        if (recCum[j + 1] > recCum[j])
            recSpeech.push_back(j);
    if (synSpeech.empty() || recSpeech.empty())
        return {};
    uint32_t draw = 99;
    double sum = 0;
    constexpr int Pairs = 4000;
    for (int n = 0; n < Pairs; ++n) {
        draw = draw * 1664525u + 1013904223u;
        const int64_t i = synSpeech[(draw >> 8) % synSpeech.size()];
        draw = draw * 1664525u + 1013904223u;
        const int64_t j = recSpeech[(draw >> 8) % recSpeech.size()];
        sum += speech::FrameDistance(synth.features.Row(i), rec.Row(j), rec.Dims);
    }
    const auto cap = static_cast<float>(sum / Pairs);
    std::vector<float> holds(static_cast<size_t>(rows), std::numeric_limits<float>::infinity());
    for (size_t k = 0; k + 1 < synth.startMs.size(); ++k)
        for (int64_t ms = synth.endMs[k] + FrameMs; ms + FrameMs < synth.startMs[k + 1]; ms += FrameMs)
            if (ms / FrameMs < rows)
                holds[static_cast<size_t>(ms / FrameMs)] = cap;
    return holds;
}

} // namespace

TRecordingAnalysis::TRecordingAnalysis(uint32_t sampleRate, bool withBands)
    : resampler_(sampleRate ? sampleRate : AnalysisRate, AnalysisRate), resample_(sampleRate != AnalysisRate),
      withBands_(withBands), mfcc_(mfccSettings()) {
    features_.Dims = mfcc_.Settings().Coefficients;
}

void TRecordingAnalysis::Push(const float *mono, size_t count) {
    if (!resample_) {
        analyse(mono, count);
        return;
    }
    buffer_.clear();
    resampler_.Push(mono, count, buffer_);
    analyse(buffer_.data(), buffer_.size());
}

void TRecordingAnalysis::Finish() {
    if (!resample_)
        return;
    buffer_.clear();
    resampler_.Finish(buffer_);
    analyse(buffer_.data(), buffer_.size());
}

void TRecordingAnalysis::analyse(const float *s, size_t n) {
    mfcc_.Push(s, n, features_);
    if (history_.empty())
        history_.assign(BandWindow, 0.0f);
    for (size_t i = 0; i < n; ++i) {
        levelSum_ += static_cast<double>(s[i]) * s[i];
        history_[static_cast<size_t>(levelCount_) + BandWindow - LevelSamples] = s[i];
        if (++levelCount_ == LevelSamples) {
            level_.push_back(static_cast<float>(10 * std::log10(levelSum_ / LevelSamples + 1e-10)));
            if (withBands_)
                bandEnergies(history_, bands_);
            std::copy(history_.begin() + LevelSamples, history_.end(), history_.begin());
            levelSum_ = 0;
            levelCount_ = 0;
        }
    }
}

TAlignment AlignSentences(const std::vector<TSentence> &sentences, const std::string &voice,
                          const TRecordingAnalysis &recording, const TAlignProgress &progress) {
    TAlignment result;
    result.Voice = voice;
    if (sentences.empty() || recording.Features().Frames() == 0)
        return result;
    bool stopped = false;
    TSynthTrack synth = synthesise(sentences, voice, progress, stopped);
    if (stopped || synth.features.Frames() == 0)
        return result;

    speech::TFeatureMatrix rec = recording.Features();
    speech::NormalizeFeatures(rec);
    speech::NormalizeFeatures(synth.features);
    const int64_t rows = synth.features.Frames(), cols = rec.Frames();

    // Speech where both the level and the bands say so: the level alone reads
    // music or a murmur in a pause as speech, the bands alone a quiet background
    // (a take's own room tone) that stands above the quietest pauses.
    std::vector<float> recFloor;
    std::vector<bool> recCells = speechCells(recording.LevelDb(), &recFloor);
    {
        const std::vector<bool> bands = speechFromBands(recording.Bands());
        for (size_t c = 0; c < recCells.size(); ++c)
            recCells[c] = recCells[c] && c < bands.size() && bands[c];
    }
    dropBackground(recCells, recording.LevelDb(), recFloor);
    const std::vector<int64_t> recCum = cumulative(speechFrames(recCells, cols));
    const std::vector<int64_t> synCum = cumulative(speechFrames(speechCells(synth.level), rows));
    // The reader's pace against the synthesis: speech time over speech time, so
    // that pauses of any length (a chapter break) do not shift the band.
    const double pace = synCum.back() > 0 && recCum.back() > 0
                            ? static_cast<double>(recCum.back()) / static_cast<double>(synCum.back())
                            : static_cast<double>(cols) / static_cast<double>(rows);

    // Speech against pause as a feature of its own, so that the path keeps the
    // two readings' pauses together even where their voices compare poorly.
    {
        // Weighed against about 5, the distance of two unrelated frames of 13
        // unit-variance coefficients.
        constexpr float w = 6;
        auto withSpeech = [](const speech::TFeatureMatrix &m, const std::vector<bool> &cells) {
            speech::TFeatureMatrix out;
            out.Dims = m.Dims + 1;
            out.Data.reserve(static_cast<size_t>(m.Frames()) * out.Dims);
            for (int64_t f = 0; f < m.Frames(); ++f) {
                out.Data.insert(out.Data.end(), m.Row(f), m.Row(f) + m.Dims);
                int n = 0;
                for (int64_t c = f * CellsPerFrame; c < (f + 1) * CellsPerFrame; ++c)
                    n += c < static_cast<int64_t>(cells.size()) && cells[static_cast<size_t>(c)] ? 1 : 0;
                out.Data.push_back(static_cast<float>(w * n / CellsPerFrame));
            }
            return out;
        };
        rec = withSpeech(rec, recCells);
        synth.features = withSpeech(synth.features, speechCells(synth.level));
    }

    // The band follows the expected path: equal shares of speech on both sides.
    const int64_t radius = std::clamp<int64_t>(cols / 20, 20000 / FrameMs, 45000 / FrameMs);
    std::vector<speech::TBand> band(static_cast<size_t>(rows));
    for (int64_t i = 0; i < rows; ++i) {
        int64_t centre;
        if (synCum.back() > 0 && recCum.back() > 0) {
            const auto target = static_cast<int64_t>(std::llround(static_cast<double>(synCum[i]) * pace));
            centre = std::lower_bound(recCum.begin(), recCum.end(), target) - recCum.begin();
        } else {
            centre = i * cols / rows;
        }
        band[i] = {centre - radius, centre + radius};
    }
    const speech::TWarpPath path =
        speech::WarpBanded(synth.features, rec, std::move(band),
                           [&](double done) { return !progress || progress(0.4 + 0.55 * done); },
                           gapHolds(synth, rec, synCum, recCum));
    if (path.First.empty())
        return result;
    result.MeanCost = path.MeanCost;

    const std::vector<TSilence> gaps = bridgeBlips(silences(recCells, WordGapMs / LevelMs));
    const std::vector<TExtra> extras = extraSpeech(path, recCum);
    auto rowOf = [&](int64_t ms) { return std::clamp<int64_t>(ms / FrameMs, 0, rows - 1); };
    auto inExtra = [&](int64_t frame) -> const TExtra * {
        for (const TExtra &e : extras)
            if (frame >= e.begin && frame < e.end)
                return &e;
        return nullptr;
    };

    // Each sentence where the path puts it, then the checks.
    struct TPlaced {
        int32_t index;
        int64_t start, end; // recording ms
        float cost;
        bool spoken;
    };
    std::vector<TPlaced> placed;
    for (size_t k = 0; k < sentences.size(); ++k) {
        const int64_t s = rowOf(synth.startMs[k]), e = rowOf(std::max(synth.startMs[k], synth.endMs[k] - 1));
        int64_t startFrame = path.First[s];
        // A sentence that begins where the recording says more than the text
        // begins after that speech.
        if (const TExtra *x = inExtra(startFrame))
            startFrame = std::min(x->end, path.Last[e]);
        float cost = 0;
        for (int64_t r = s; r <= e; ++r)
            cost += path.RowCost[r];
        cost /= static_cast<float>(e - s + 1);
        const int64_t synthMs = synth.endMs[k] - synth.startMs[k];
        const int64_t start = startFrame * FrameMs, end = (path.Last[e] + 1) * FrameMs;
        const bool spoken = synthMs > 0 && static_cast<double>(end - start) >= NotSpokenShare * pace * synthMs;
        placed.push_back({static_cast<int32_t>(k), start, end, cost, spoken});
    }

    // Texts the recording lacks: reported as one run of sentences; headings are
    // only dropped.
    for (size_t k = 0; k < placed.size();) {
        if (placed[k].spoken || sentences[k].Heading) {
            ++k;
            continue;
        }
        size_t e = k;
        while (e + 1 < placed.size() && !placed[e + 1].spoken)
            ++e;
        double expect = 0;
        for (size_t j = k; j <= e; ++j)
            expect += static_cast<double>(synth.endMs[j] - synth.startMs[j]) * pace;
        if (expect < NotSpokenMinMs) {
            for (size_t j = k; j <= e; ++j)
                placed[j].spoken = true;
            k = e + 1;
            continue;
        }
        result.Mismatches.push_back(
            {TMismatchKind::TextNotSpoken, static_cast<int32_t>(k), static_cast<int32_t>(e), placed[k].start, placed[e].end});
        k = e + 1;
    }

    // Confidence from the path's cost against the text's typical cost.
    std::vector<float> costs;
    for (const TPlaced &p : placed)
        if (p.spoken)
            costs.push_back(p.cost);
    std::vector<float> sorted = costs;
    std::sort(sorted.begin(), sorted.end());
    const float median = sorted.empty() ? 0 : sorted[sorted.size() / 2];
    std::vector<float> dev;
    for (const float c : costs)
        dev.push_back(std::abs(c - median));
    std::sort(dev.begin(), dev.end());
    const float spread = std::max(dev.empty() ? 0.0f : dev[dev.size() / 2], 0.05f * median);

    std::vector<TBoundary> bounds;
    std::vector<const TPlaced *> spoken;
    for (const TPlaced &p : placed) {
        if (!p.spoken)
            continue;
        const int64_t s = rowOf(synth.startMs[p.index]),
                      e = rowOf(std::max(synth.startMs[p.index], synth.endMs[p.index] - 1));
        TBoundary b;
        b.pathMs = p.start;
        const auto [cell, pauseCells] = snapOnset(p.start / LevelMs, gaps);
        b.fallback = {cell, pauseCells};
        b.expectFrames = static_cast<double>(synCum[e + 1] - synCum[s]) * pace;
        if (!spoken.empty())
            for (const TExtra &x : extras)
                if (x.begin * FrameMs >= spoken.back()->start && x.begin * FrameMs < p.start)
                    bounds.back().freeLength = true;
        bounds.push_back(b);
        spoken.push_back(&p);
    }
    if (!bounds.empty())
        for (const TExtra &x : extras)
            if (x.begin * FrameMs >= spoken.back()->start)
                bounds.back().freeLength = true;
    const std::vector<TOnset> onsets = chooseOnsets(bounds, gaps, recCum, static_cast<int64_t>(recCells.size()));

    std::vector<TAlignedSentence> out;
    for (size_t k = 0; k < spoken.size(); ++k) {
        const TPlaced &p = *spoken[k];
        TAlignedSentence a;
        a.Index = p.index;
        a.Text = sentences[p.index].Text;
        a.StartMs = onsets[k].cell * LevelMs;
        a.BreakpointMs = a.StartMs - std::min<int64_t>(LeadMs, onsets[k].pauseCells * LevelMs / 2);
        a.EndMs = p.end;
        a.Confidence = std::clamp(1.0f - std::max(0.0f, p.cost - median) / (6 * spread), 0.0f, 1.0f);
        // Two sentences on one pause: the later keeps what the path said.
        if (!out.empty() && a.StartMs <= out.back().StartMs + PauseMs) {
            a.StartMs = a.BreakpointMs = std::max(p.start, out.back().StartMs + PauseMs);
            a.Confidence = std::min(a.Confidence, LowConfidence / 2);
        }
        out.push_back(a);
    }
    // Speech the text lacks becomes a sentence of its own without text, so that it
    // is not read as part of its neighbours. Stretches with no sentence begun
    // between them are one; the sentence before keeps the speech its synthesis
    // holds at the reader's pace, since the path may lay its last words over the
    // first of what the text lacks.
    auto byStart = [](const TAlignedSentence &s, int64_t ms) { return s.StartMs < ms; };
    std::vector<TExtra> unmatched;
    for (const TExtra &x : extras) {
        if (!unmatched.empty()) {
            const auto next = std::lower_bound(out.begin(), out.end(), unmatched.back().end * FrameMs, byStart);
            if (next == out.end() || next->StartMs >= x.begin * FrameMs) {
                unmatched.back().end = x.end;
                continue;
            }
        }
        TExtra e = x;
        const auto after = std::lower_bound(out.begin(), out.end(), e.begin * FrameMs + 1, byStart);
        if (after != out.begin()) {
            const size_t k = static_cast<size_t>(after - out.begin()) - 1;
            const int64_t f0 = std::min<int64_t>(out[k].StartMs / FrameMs, cols);
            int64_t f = f0;
            // Most of its speech (readers hurry), then the pause that ends it.
            while (f < e.end && static_cast<double>(recCum[f] - recCum[f0]) < 0.7 * bounds[k].expectFrames)
                ++f;
            auto g = std::lower_bound(gaps.begin(), gaps.end(), f * CellsPerFrame,
                                      [](const TSilence &p, int64_t c) { return p.begin < c; });
            while (g != gaps.end() && g->end - g->begin < PauseMs / LevelMs)
                ++g;
            if (g != gaps.end() && g->end / CellsPerFrame < e.end)
                e.begin = std::max(e.begin, g->end / CellsPerFrame);
        }
        unmatched.push_back(e);
    }
    for (const TExtra &x : unmatched) {
        const auto [cell, pauseCells] = snapOnset(x.begin * FrameMs / LevelMs, gaps);
        TAlignedSentence a;
        a.StartMs = cell * LevelMs;
        a.BreakpointMs = a.StartMs - std::min<int64_t>(LeadMs, pauseCells * LevelMs / 2);
        a.EndMs = x.end * FrameMs;
        a.Confidence = 0;
        const auto at = std::lower_bound(out.begin(), out.end(), a.StartMs,
                                         [](const TAlignedSentence &s, int64_t t) { return s.StartMs < t; });
        if ((at != out.end() && at->StartMs - a.StartMs < PauseMs) ||
            (at != out.begin() && a.StartMs - (at - 1)->StartMs < PauseMs))
            continue; // already a boundary there
        result.Mismatches.push_back({TMismatchKind::SpeechNotInText, at == out.begin() ? -1 : (at - 1)->Index, -1,
                                     a.StartMs, a.EndMs});
        out.insert(at, a);
    }
    for (size_t k = 0; k < out.size(); ++k) {
        out[k].Low = out[k].Confidence < LowConfidence;
        if (k + 1 < out.size())
            out[k].EndMs = std::min(out[k].EndMs, out[k + 1].StartMs);
    }
    std::sort(result.Mismatches.begin(), result.Mismatches.end(),
              [](const TMismatch &a, const TMismatch &b) { return a.StartMs < b.StartMs; });
    result.Sentences = std::move(out);
    if (progress)
        progress(1.0);
    return result;
}

std::string MismatchText(const TMismatch &m) {
    auto clock = [](int64_t ms) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%02lld:%02lld", static_cast<long long>(ms / 60000),
                      static_cast<long long>(ms / 1000 % 60));
        return std::string(buf);
    };
    if (m.Kind == TMismatchKind::TextNotSpoken) {
        const std::string which = m.First == m.Last ? "第" + std::to_string(m.First + 1) + "句"
                                                    : "第" + std::to_string(m.First + 1) + "–" +
                                                          std::to_string(m.Last + 1) + "句";
        return "文本" + which + "在录音中没有找到（约" + clock(m.StartMs) + "处）。";
    }
    const std::string after = m.First < 0 ? "开头" : "第" + std::to_string(m.First + 1) + "句之后";
    return "录音" + clock(m.StartMs) + "–" + clock(m.EndMs) + "有文本中没有的内容（" + after + "）。";
}

std::vector<segment::TCue> CuesOf(const TAlignment &a) {
    std::vector<segment::TCue> cues;
    for (size_t k = 0; k < a.Sentences.size(); ++k) {
        const TAlignedSentence &s = a.Sentences[k];
        // The last sentence runs on a while: its reading stops by the tail rule.
        const int64_t end = k + 1 < a.Sentences.size() ? a.Sentences[k + 1].BreakpointMs : s.EndMs + 1000;
        cues.push_back({static_cast<int32_t>(s.BreakpointMs), static_cast<int32_t>(end), s.Text});
    }
    // A moment of silence before the first sentence is no sentence of its own.
    if (!cues.empty() && cues.front().StartMs < FirstSentenceFromStartMs)
        cues.front().StartMs = 0;
    return cues;
}

std::string AlignmentNotice(const TAlignment &a) {
    int32_t sentences = 0, low = 0;
    for (const TAlignedSentence &s : a.Sentences) {
        sentences += s.Index >= 0 ? 1 : 0;
        low += s.Index >= 0 && s.Low ? 1 : 0;
    }
    if (sentences == 0)
        return "文本与录音对不上，已按停顿自动断句。";
    std::string n = "已按文本对齐" + std::to_string(sentences) + "句";
    if (low > 0)
        n += "，其中" + std::to_string(low) + "句把握不大（已标出）";
    n += "。";
    if (!a.Mismatches.empty())
        n += MismatchText(a.Mismatches.front()) +
             (a.Mismatches.size() > 1 ? "（另有" + std::to_string(a.Mismatches.size() - 1) + "处）" : "");
    return n;
}

} // namespace vorel::align
