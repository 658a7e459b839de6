// A take of the learner's voice, without widgets or clocks: it is fed the
// captured frames, decides speech against the take's own noise level, ends at its
// longest or once the learner has spoken and then been silent for 0.8 s, and is
// trimmed to its speech. One thread (the one that reads the capture).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorel::audio {

// Level of each 10 ms frame of mono s16 (dBFS of its RMS, at least -100).
std::vector<float> FrameLevels(const int16_t *samples, size_t count, uint32_t rate);
// The take's noise level: the level that a tenth of its frames stay below,
// digital silence (below -90 dBFS) left out.
float NoiseLevel(const std::vector<float> &levels);

// Frames [first, end) of 10 ms; empty when end <= first.
struct TSpeechSpan {
    int64_t first = 0;
    int64_t end = 0;
    bool empty() const { return end <= first; }
};

// Where the speech lies among the frames: from the first to the last burst of at
// least 30 ms that stands 12 dB above noise, widened over the neighbouring frames
// still 4 dB above it (weak onsets and endings of words). spoken: whether the
// bursts add up to 100 ms, enough for silence after them to end a take.
TSpeechSpan FindSpeech(const std::vector<float> &levels, float noise, bool *spoken = nullptr);

class TTakeRecorder {
public:
    // Frames of silence after speech that end a take (0.8 s).
    static constexpr int kSilenceFrames = 80;

    explicit TTakeRecorder(uint32_t rate) : rate_(rate) {}

    // Begins a take at frame `at` of the capture's clock, at most maxFrames long.
    void Start(int64_t at, int64_t maxFrames);
    // Consecutive mono frames from the capture, the first at frame `at` of its
    // clock; frames before the take's start are skipped, frames past its end
    // ignored. Returns true once the take has ended; a take that ends inside the
    // piece keeps nothing past its end.
    bool Feed(const int16_t *samples, size_t count, int64_t at);
    bool Ended() const { return ended_; }
    bool Recording() const { return started_ && !ended_; }
    // The take so far, untrimmed.
    const std::vector<int16_t> &Raw() const { return raw_; }
    // Sample range [first, end) of Raw() that holds the speech and 10 ms on each
    // side; empty without any.
    TSpeechSpan SpeechSamples() const;
    // The take trimmed to its speech (empty when the learner said nothing).
    std::vector<int16_t> Trimmed() const;
    uint32_t Rate() const { return rate_; }

private:
    bool silentAfterSpeech() const; // the end rule over the frames so far

    uint32_t rate_;
    bool started_ = false, ended_ = false;
    int64_t start_ = 0, maxFrames_ = 0;
    std::vector<int16_t> raw_;
    std::vector<float> levels_;
};

} // namespace vorel::audio
