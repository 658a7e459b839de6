// Speech features without widgets: MFCC frames of a sound (aubio's mfcc over its
// phase vocoder), a streaming resampler to bring sounds of different rates to one
// analysis rate, and a banded dynamic time warping between two feature sequences.
// Used to align a synthesised reading to a recording and to compare a learner's
// take with a sentence.
//
// Threads: every object belongs to the thread that uses it; distinct objects may
// be used on distinct threads at once. Nothing here touches the audio callback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vorel::speech {

// Frames of equal width, row by row: frame f is Data[f * Dims .. (f + 1) * Dims).
struct TFeatureMatrix {
    size_t Dims = 0;
    std::vector<float> Data;

    int64_t Frames() const { return Dims ? static_cast<int64_t>(Data.size() / Dims) : 0; }
    const float *Row(int64_t f) const { return Data.data() + static_cast<size_t>(f) * Dims; }
    float *Row(int64_t f) { return Data.data() + static_cast<size_t>(f) * Dims; }
};

// Every dimension brought to mean 0 and variance 1 over the frames (a dimension
// that does not vary is left at 0), so that two recordings of different level and
// voice are compared by their shapes. Fewer than two frames: all set to 0.
void NormalizeFeatures(TFeatureMatrix &m);

// Euclidean distance of two frames of dims values.
float FrameDistance(const float *a, const float *b, size_t dims);

struct TMfccSettings {
    uint32_t SampleRate = 16000; // Hz of the samples pushed
    uint32_t Window = 1024;      // samples per analysis window
    uint32_t Hop = 640;          // samples between frames: one frame per Hop
    uint32_t Filters = 40;       // mel bands
    uint32_t Coefficients = 13;  // values per frame, the first the log energy's
};

// MFCCs of a stream of mono samples pushed in pieces of any size: one frame for
// every Hop samples pushed (frame f describes the Window samples that end at
// sample (f + 1) * Hop). Throws std::invalid_argument for settings aubio refuses.
class TMfcc {
public:
    explicit TMfcc(const TMfccSettings &settings);
    ~TMfcc();
    TMfcc(const TMfcc &) = delete;
    TMfcc &operator=(const TMfcc &) = delete;

    // Appends the frames completed by these samples to out (whose Dims becomes
    // Coefficients).
    void Push(const float *samples, size_t count, TFeatureMatrix &out);
    const TMfccSettings &Settings() const { return settings_; }

private:
    struct TAubio;
    TMfccSettings settings_;
    std::unique_ptr<TAubio> a_;
    std::vector<float> pending_; // fewer than Hop samples waiting for their frame
    uint32_t dither_ = 1;
};

// Converts a stream of mono samples from one rate to another with a windowed-sinc
// low-pass (for speech analysis: within 2 % to 0.6 of the lower Nyquist
// frequency, 30 dB down past it).
// Output sample n stands at input time n * inRate / outRate.
class TResampler {
public:
    TResampler(uint32_t inRate, uint32_t outRate);
    // Appends what these input samples complete to out.
    void Push(const float *in, size_t count, std::vector<float> &out);
    // Appends the rest, as if silence followed the input; the stream ends.
    void Finish(std::vector<float> &out);

private:
    double step_;   // input samples per output sample
    double cutoff_; // of the input's Nyquist frequency
    std::vector<float> history_;
    int64_t historyStart_ = 0; // input index of history_[0]
    int64_t next_ = 0;         // output samples made
    std::vector<float> table_; // the filter, Phases rows of 2 * Taps
};

// Columns [Lo, Hi) of one row that a warping path may pass through.
struct TBand {
    int64_t Lo = 0, Hi = 0;
};

// Where the cheapest path of a banded warping runs, per row of the first sequence.
struct TWarpPath {
    std::vector<int64_t> First, Last; // the first and last column the path takes in each row
    std::vector<float> RowCost;       // mean frame distance over the path's cells in each row
    double MeanCost = 0;              // mean frame distance over the whole path
};

// Dynamic time warping of rows (frames of a) against columns (frames of b): the
// cheapest path from (0, 0) to the last frame of each, moving one row, one column
// or both per step (symmetric weights), through the band's cells only. The band is
// made whole first: row 0 starts at column 0, the last row ends at the last
// column, both edges never move left, and each row begins no later than the row
// before ends. Memory: two bits per band cell plus two rows of sums, so a band of
// fixed width grows linearly with the length. progress, when given, is called now
// and then with the share done (0..1) and may return false to stop: the result is
// then empty. Both sequences need frames and the same Dims (else empty).
// holdCap, when not empty, caps per row what a step along that row (one more
// column for the same row) costs: a row of a that b may fill with anything at
// that price, as the pause between two sentences may hold speech the other
// sequence lacks. Rows beyond its size are not capped.
TWarpPath WarpBanded(const TFeatureMatrix &a, const TFeatureMatrix &b, std::vector<TBand> band,
                     const std::function<bool(double)> &progress = {}, const std::vector<float> &holdCap = {});

} // namespace vorel::speech
