#include "noisefloor.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/channelinfo.h"

namespace vorel::segment {

const char *const NoiseFloorSplitNotice = "已按录音的底噪水平查找句间停顿";

namespace {

// Recordings shorter than this are left to the fixed level: too few blocks for a
// floor estimate, and a short clip undivided costs the learner little.
constexpr int64_t MinRecordingMs = 20000;
constexpr int64_t MaxMeanSentenceMs = 30000;

// The noise is found among the quietest blocks: its 40 ms peaks gather in a band
// a few dB wide (the noise mode), while speech spreads over tens of dB above it.
// The mode is the middle of the shortest stretch of the sorted log-peaks that
// holds ModeSharePercent of the blocks, searched among the quieter half: pauses
// make up a tenth of a recording of sentences or more, and they are denser there
// than speech.
constexpr size_t ModeSharePercent = 5;
constexpr size_t MinModeBlocks = 8;
// How far the noise reaches above its mode is read from the side below it, which
// speech does not reach: the point a fifth of the way up the blocks under the mode
// (about the noise's 10 % point). The level lies 1.5 times that spread above the
// mode, and at least MinMarginDb: near the 98th percentile of the block peaks for
// white and pink noise (whose 99 % point lies 2 dB above the mode), the 97th for
// brown noise, whose peaks wander with its low frequencies. A pause needs four
// blocks in a row under the level; quiet word endings lie only a few dB above the
// noise, so the level must not clear more than that.
constexpr double LowTailShare = 0.20;
constexpr double UpperOverLower = 1.5;
// Noise of almost constant peak (uniform noise, a steady hum) shows no spread; a
// real recording still wanders by a dB or two, and the peaks of white or pink
// noise reach 2 dB above their mode.
constexpr double MinMarginDb = 2.0;
// Speech is taken as the 90th percentile. Unless it stands 12 dB above the level,
// the quiet blocks are not pauses under noise but the speech itself, or something
// as loud as it playing throughout.
constexpr size_t SpeechPercent = 90;
constexpr double SpeechOverLevelDb = 12.0;
// Fewer blocks than this (10 s) give no estimate.
constexpr size_t MinBlocks = 250;
// The fixed level divides a recording by chance when the noise in the pauses it
// found reaches within this of it: the noise's own spread then carries other
// pauses over the level. Measured at the 90th percentile of those pauses' blocks.
constexpr double NearFixedDb = 3.0;
constexpr size_t PauseNoisePercent = 90;

double toDb(int64_t magnitude) { return 20.0 * std::log10(double(std::max<int64_t>(magnitude, 1))); }

int64_t sentenceCount(const TStrings &breakpoints) { return static_cast<int64_t>(breakpoints.size()) - 1; }

bool leavesUndivided(const TStrings &breakpoints, int64_t spanMs) {
    const int64_t sentences = sentenceCount(breakpoints);
    return sentences <= 1 || spanMs > MaxMeanSentenceMs * sentences;
}

std::vector<int64_t> columnsOf(const TStrings &breakpoints) {
    std::vector<int64_t> out;
    out.reserve(breakpoints.size());
    for (const std::string &b : breakpoints)
        out.push_back(StrToInt(b) / audio::MsPerColumn);
    return out;
}

// The blocks under level around each inner breakpoint: the pauses the split found.
std::vector<int64_t> pauseBlocks(const std::vector<int64_t> &magnitudes, const std::vector<int64_t> &cuts,
                                 int64_t level) {
    std::vector<int64_t> out;
    const auto n = static_cast<int64_t>(magnitudes.size());
    for (size_t i = 1; i + 1 < cuts.size(); ++i) {
        int64_t a = cuts[i], b = cuts[i];
        while (a > 0 && magnitudes[static_cast<size_t>(a - 1)] < level)
            --a;
        while (b < n && magnitudes[static_cast<size_t>(b)] < level)
            ++b;
        for (int64_t c = a; c < b; ++c)
            out.push_back(magnitudes[static_cast<size_t>(c)]);
    }
    return out;
}

int64_t percentile(std::vector<int64_t> values, size_t percent) {
    const size_t k = values.size() * percent / 100;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

// True when the fixed level barely clears the noise of the pauses it found.
bool pausesNearFixedLevel(const std::vector<int64_t> &magnitudes, const std::vector<int64_t> &cuts, int64_t fixed) {
    const std::vector<int64_t> blocks = pauseBlocks(magnitudes, cuts, fixed);
    return !blocks.empty() && toDb(fixed) - toDb(percentile(blocks, PauseNoisePercent)) < NearFixedDb;
}

// Silence level above the noise's upper tail, or 0 when the recording gives no
// usable one. Digital silence (exact zeros, as at edited edges) is no noise.
int32_t noiseFloorLevel(const std::vector<int64_t> &magnitudes) {
    std::vector<double> db;
    db.reserve(magnitudes.size());
    for (const int64_t m : magnitudes)
        if (m > 0)
            db.push_back(toDb(m));
    if (db.size() < MinBlocks)
        return 0;
    std::sort(db.begin(), db.end());
    const size_t n = db.size();

    const size_t k = std::max(MinModeBlocks, n * ModeSharePercent / 100);
    size_t best = 0;
    const size_t lastStart = std::min(n / 2, n - k);
    for (size_t i = 1; i <= lastStart; ++i)
        if (db[i + k - 1] - db[i] < db[best + k - 1] - db[best])
            best = i;
    const size_t modeAt = best + k / 2;
    const double mode = db[modeAt];
    const double lowTail = db[static_cast<size_t>(double(modeAt) * LowTailShare)];
    const double levelDb = mode + std::max(MinMarginDb, UpperOverLower * (mode - lowTail));

    if (db[n * SpeechPercent / 100] - levelDb < SpeechOverLevelDb)
        return 0;
    return static_cast<int32_t>(std::ceil(std::pow(10.0, levelDb / 20.0)));
}

// The fixed breakpoints, each kept where it is, and between them those of the
// second pass that leave every inner sentence longer than minSentence columns
// (the splitter's own rule); the end stays last.
std::vector<int64_t> merged(const std::vector<int64_t> &fixed, const std::vector<int64_t> &second,
                            int64_t minSentence) {
    std::vector<int64_t> out{fixed.front()};
    size_t next = 1; // the next fixed inner breakpoint
    const size_t fixedEnd = fixed.size() - 1;
    for (size_t i = 1; i + 1 < second.size(); ++i) {
        const int64_t c = second[i];
        while (next < fixedEnd && fixed[next] <= c)
            out.push_back(fixed[next++]);
        const bool roomAfter = next >= fixedEnd || fixed[next] - c > minSentence;
        if (c - out.back() > minSentence && roomAfter)
            out.push_back(c);
    }
    while (next <= fixedEnd)
        out.push_back(fixed[next++]);
    return out;
}

// The earlier estimate, tried where the one above refuses: the 5th percentile of
// the blocks at or above the fixed level, times 1.3, under the same 12 dB rule.
// Under noise whose low frequencies wander (brown noise) the quiet half holds
// speech as much as pauses and the mode lands on the speech; the blocks above the
// fixed level still begin with noise. 0 when it gives no usable level.
int32_t aboveFixedLevel(const std::vector<int64_t> &magnitudes, int32_t fixed) {
    std::vector<int64_t> loud;
    loud.reserve(magnitudes.size());
    for (const int64_t m : magnitudes)
        if (m >= fixed)
            loud.push_back(m);
    if (loud.size() < MinBlocks)
        return 0;
    const int64_t level = percentile(loud, 5) * 13 / 10;
    if (toDb(percentile(loud, SpeechPercent)) - toDb(level) < SpeechOverLevelDb)
        return 0;
    return static_cast<int32_t>(level);
}

} // namespace

TSplitOutcome SplitAtNoiseFloor(const TSplitSettings &settings, const TStrings &samples, TStrings &breakpoints) {
    TSplitWave(settings).Split(samples, breakpoints);
    const TSplitOutcome fixed{settings.SilenceLevel, false};

    // The list holds two blocks fewer than the recording's 40 ms steps.
    const int64_t spanMs = static_cast<int64_t>(samples.size()) * audio::MsPerColumn;
    if (spanMs + 2 * audio::MsPerColumn < MinRecordingMs)
        return fixed;

    std::vector<int64_t> magnitudes;
    magnitudes.reserve(samples.size());
    for (const std::string &s : samples) {
        const int64_t v = StrToInt(s);
        magnitudes.push_back(v < 0 ? -v : v);
    }
    const std::vector<int64_t> fixedCuts = columnsOf(breakpoints);
    if (!leavesUndivided(breakpoints, spanMs) && !pausesNearFixedLevel(magnitudes, fixedCuts, settings.SilenceLevel))
        return fixed;

    int32_t level = noiseFloorLevel(magnitudes);
    // Only where the fixed level found nothing: a partial split is completed by
    // the noise mode alone, which never falls inside the speech.
    if (level <= settings.SilenceLevel && leavesUndivided(breakpoints, spanMs))
        level = aboveFixedLevel(magnitudes, settings.SilenceLevel);
    if (level <= settings.SilenceLevel)
        return fixed;
    TSplitSettings floorSettings = settings;
    floorSettings.SilenceLevel = static_cast<int16_t>(level); // at most a quarter of full scale
    TStrings second;
    TSplitWave(floorSettings).Split(samples, second);

    const std::vector<int64_t> cuts =
        merged(fixedCuts, columnsOf(second), settings.MinSentenceMs / audio::MsPerColumn);
    if (cuts.size() <= breakpoints.size())
        return fixed;
    breakpoints.clear();
    for (const int64_t c : cuts)
        breakpoints.push_back(std::to_string(c * audio::MsPerColumn));
    return {level, true};
}

} // namespace vorel::segment
