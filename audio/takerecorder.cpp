#include "takerecorder.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace vorel::audio {

namespace {
constexpr float kFloorDb = -100.0f;
constexpr float kDigitalSilenceDb = -90.0f; // below one step of 16-bit samples
constexpr float kLoudAboveNoise = 12.0f; // a burst of speech
constexpr float kEdgeAboveNoise = 4.0f;  // the faint edges of words (noise frames vary by about 0.5 dB)
constexpr int kMinBurstFrames = 3;       // 30 ms: clicks and knocks are shorter
constexpr int kMinSpokenFrames = 10;     // 100 ms of speech before silence may end a take

size_t frameSamples(uint32_t rate) { return std::max<size_t>(rate / 100, 1); }

float levelOf(const int16_t *s, size_t n) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += double(s[i]) * s[i];
    const double rms = std::sqrt(sum / double(std::max<size_t>(n, 1))) / 32768.0;
    return rms > 0 ? std::max(kFloorDb, float(20 * std::log10(rms))) : kFloorDb;
}
} // namespace

std::vector<float> FrameLevels(const int16_t *samples, size_t count, uint32_t rate) {
    const size_t len = frameSamples(rate);
    std::vector<float> out;
    out.reserve(count / len);
    for (size_t i = 0; i + len <= count; i += len) out.push_back(levelOf(samples + i, len));
    return out;
}

float NoiseLevel(const std::vector<float> &levels) {
    // Digital silence (a muted input, a driver's padding) is no room noise: over
    // it, any breath would pass for speech.
    std::vector<float> v;
    std::copy_if(levels.begin(), levels.end(), std::back_inserter(v), [](float l) { return l > kDigitalSilenceDb; });
    if (v.empty()) return kFloorDb;
    auto at = v.begin() + long(v.size() / 10);
    std::nth_element(v.begin(), at, v.end());
    return *at;
}

TSpeechSpan FindSpeech(const std::vector<float> &levels, float noise, bool *spoken) {
    const int64_t n = int64_t(levels.size());
    int64_t first = -1, last = -1, loud = 0;
    for (int64_t i = 0; i < n;) {
        if (levels[size_t(i)] < noise + kLoudAboveNoise) {
            ++i;
            continue;
        }
        int64_t j = i;
        while (j < n && levels[size_t(j)] >= noise + kLoudAboveNoise) ++j;
        if (j - i >= kMinBurstFrames) {
            if (first < 0) first = i;
            last = j - 1;
            loud += j - i;
        }
        i = j;
    }
    if (spoken) *spoken = loud >= kMinSpokenFrames;
    if (first < 0) return {};
    while (first > 0 && levels[size_t(first - 1)] >= noise + kEdgeAboveNoise) --first;
    while (last + 1 < n && levels[size_t(last + 1)] >= noise + kEdgeAboveNoise) ++last;
    return {first, last + 1};
}

void TTakeRecorder::Start(int64_t at, int64_t maxFrames) {
    started_ = true;
    ended_ = maxFrames <= 0;
    start_ = at;
    maxFrames_ = std::max<int64_t>(maxFrames, 0);
    raw_.clear();
    levels_.clear();
    raw_.reserve(size_t(maxFrames_));
}

bool TTakeRecorder::Feed(const int16_t *samples, size_t count, int64_t at) {
    if (!Recording()) return ended_;
    const int64_t skip = std::clamp<int64_t>(start_ - at, 0, int64_t(count));
    const int64_t room = maxFrames_ - int64_t(raw_.size());
    const int64_t take = std::min<int64_t>(int64_t(count) - skip, room);
    if (take > 0) raw_.insert(raw_.end(), samples + skip, samples + skip + take);
    // Frame by frame, as if the pieces had been 10 ms: a large piece (a reader that
    // fell behind) must not carry the take past its end, nor let the sound after
    // the end weigh in the noise level.
    const size_t len = frameSamples(rate_);
    while ((levels_.size() + 1) * len <= raw_.size()) {
        levels_.push_back(levelOf(raw_.data() + levels_.size() * len, len));
        if (silentAfterSpeech()) {
            raw_.resize(levels_.size() * len);
            ended_ = true;
            return true;
        }
    }
    ended_ = int64_t(raw_.size()) >= maxFrames_;
    return ended_;
}

bool TTakeRecorder::silentAfterSpeech() const {
    if (levels_.size() < size_t(kSilenceFrames)) return false;
    // Silence counts from the end of the speech's faint edge, not its last loud
    // burst: a word that fades out is still being said.
    bool spoken = false;
    const TSpeechSpan speech = FindSpeech(levels_, NoiseLevel(levels_), &spoken);
    return spoken && int64_t(levels_.size()) - speech.end >= kSilenceFrames;
}

TSpeechSpan TTakeRecorder::SpeechSamples() const {
    const TSpeechSpan frames = FindSpeech(levels_, NoiseLevel(levels_));
    if (frames.empty()) return {};
    const int64_t len = int64_t(frameSamples(rate_));
    // A frame more on each side: what fades into the noise is still the word's.
    return {std::max<int64_t>(frames.first - 1, 0) * len, std::min<int64_t>((frames.end + 1) * len, int64_t(raw_.size()))};
}

std::vector<int16_t> TTakeRecorder::Trimmed() const {
    const TSpeechSpan s = SpeechSamples();
    return std::vector<int16_t>(raw_.begin() + s.first, raw_.begin() + s.end);
}

} // namespace vorel::audio
