#include "noisefloor.h"

#include <algorithm>
#include <vector>

#include "audio/channelinfo.h"

namespace vorel::segment {

const char *const NoiseFloorSplitNotice = "已按录音的底噪水平查找句间停顿";

namespace {

// Recordings shorter than this are left to the fixed level: too few blocks for a
// floor estimate, and a short clip undivided costs the learner little.
constexpr int64_t MinRecordingMs = 20000;
constexpr int64_t MaxMeanSentenceMs = 30000;

// The floor is the 5th percentile of the blocks above the fixed level: pauses
// make up far more than 5 % of a recording of sentences, and the lowest blocks
// are pure noise. The peak of a 40 ms block of steady noise varies by about 2 dB
// from block to block; 1.3 (+2.3 dB) clears that while staying under the quiet
// ends of words, which sit only a few dB above the noise.
constexpr int64_t FloorPercent = 5;
constexpr int64_t LevelOverFloorTenths = 13;
// Speech is taken as the 90th percentile. Unless it stands 12 dB (4x) above the
// level, the quiet blocks are not pauses under noise but the speech itself, or
// something as loud as it playing throughout.
constexpr int64_t SpeechPercent = 90;
constexpr int64_t SpeechOverLevel = 4;

int64_t sentenceCount(const TStrings &breakpoints) { return static_cast<int64_t>(breakpoints.size()) - 1; }

bool leavesUndivided(const TStrings &breakpoints, int64_t spanMs) {
    const int64_t sentences = sentenceCount(breakpoints);
    return sentences <= 1 || spanMs > MaxMeanSentenceMs * sentences;
}

bool hasShortSentence(const TStrings &breakpoints, int32_t minSentenceMs) {
    for (size_t i = 1; i < breakpoints.size(); ++i)
        if (StrToInt(breakpoints[i]) - StrToInt(breakpoints[i - 1]) < minSentenceMs)
            return true;
    return false;
}

// Silence level for the second pass, or 0 when the recording gives no usable one.
int32_t noiseFloorLevel(const std::vector<int32_t> &magnitudes, const TSplitSettings &settings) {
    // Blocks already silent at the fixed level stay silent at any higher one; they
    // would only drag the estimate towards digital silence at the file's edges.
    std::vector<int32_t> loud;
    loud.reserve(magnitudes.size());
    for (const int32_t m : magnitudes)
        if (m >= settings.SilenceLevel)
            loud.push_back(m);
    if (loud.empty())
        return 0;
    const auto at = [&loud](int64_t percent) {
        const auto k = static_cast<size_t>(static_cast<int64_t>(loud.size()) * percent / 100);
        std::nth_element(loud.begin(), loud.begin() + static_cast<std::ptrdiff_t>(k), loud.end());
        return static_cast<int64_t>(loud[k]);
    };
    const int64_t level = at(FloorPercent) * LevelOverFloorTenths / 10;
    const int64_t speech = at(SpeechPercent);
    if (speech < level * SpeechOverLevel)
        return 0;
    return static_cast<int32_t>(level);
}

} // namespace

TSplitOutcome SplitAtNoiseFloor(const TSplitSettings &settings, const TStrings &samples, TStrings &breakpoints) {
    TSplitWave(settings).Split(samples, breakpoints);
    const TSplitOutcome fixed{settings.SilenceLevel, false};

    // The list holds two blocks fewer than the recording's 40 ms steps.
    const int64_t spanMs = static_cast<int64_t>(samples.size()) * audio::MsPerColumn;
    if (spanMs + 2 * audio::MsPerColumn < MinRecordingMs || !leavesUndivided(breakpoints, spanMs))
        return fixed;

    std::vector<int32_t> magnitudes;
    magnitudes.reserve(samples.size());
    for (const std::string &s : samples) {
        const int64_t v = StrToInt(s);
        magnitudes.push_back(static_cast<int32_t>(v < 0 ? -v : v));
    }
    const int32_t level = noiseFloorLevel(magnitudes, settings);
    if (level <= settings.SilenceLevel)
        return fixed;

    TSplitSettings floorSettings = settings;
    floorSettings.SilenceLevel = static_cast<int16_t>(level); // at most a quarter of full scale
    TStrings second;
    TSplitWave(floorSettings).Split(samples, second);
    if (sentenceCount(second) <= sentenceCount(breakpoints) || hasShortSentence(second, settings.MinSentenceMs))
        return fixed;
    breakpoints = std::move(second);
    return {level, true};
}

} // namespace vorel::segment
