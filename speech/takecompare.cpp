#include "takecompare.h"

#include <algorithm>
#include <cmath>

namespace vorel::speech {

namespace {

constexpr uint32_t kAnalysisRate = 16000;
constexpr uint32_t kWindow = 512; // 32 ms: a few pitch periods, shorter than a syllable
// The first cepstral coefficients (the level and the broad shape of the
// spectrum: which sound is spoken) and their changes; the higher ones describe
// the speaker more than the sound and made another sentence in the sentence's own
// voice score better than the same sentence in another voice.
constexpr uint32_t kCoefficients = 8;
constexpr float kQuietDb = -55; // nothing louder: no speech to score
constexpr int64_t kDeltaReach = 2; // frames each side of the slope's regression
constexpr int64_t kMaxHalfBand = 400;
constexpr int64_t kMinHalfBand = 50;

// The samples at the analysis rate: every `hop` input samples become `aHop`, so
// that analysis frames of aHop samples are the caller's frames of hop exactly.
std::vector<float> analysisSamples(const int16_t *s, size_t count, uint32_t hop, uint32_t aHop) {
    std::vector<float> in(count);
    for (size_t i = 0; i < count; ++i) in[i] = s[i] / 32768.0f;
    if (hop == aHop) return in;
    std::vector<float> out;
    out.reserve(static_cast<size_t>(static_cast<double>(count) * aHop / hop) + 64);
    TResampler r(hop, aHop);
    r.Push(in.data(), in.size(), out);
    r.Finish(out);
    return out;
}

// The frames compared: from the first to the last frame of speech (within 40 dB
// of the loudest and 10 dB above the quiet floor, the 10th percentile), with 30
// ms beside them. Without that much contrast every frame counts. Pauses inside
// stay: the warping holds one side while the other pauses.
std::vector<int64_t> speechFrames(const std::vector<float> &levelDb) {
    const auto n = static_cast<int64_t>(levelDb.size());
    int64_t first = 0, end = n;
    if (n >= 10) {
        std::vector<float> sorted = levelDb;
        std::nth_element(sorted.begin(), sorted.begin() + n / 10, sorted.end());
        const float floorDb = sorted[static_cast<size_t>(n / 10)];
        const float peakDb = *std::max_element(levelDb.begin(), levelDb.end());
        if (peakDb - floorDb >= 15) {
            const float threshold = std::max(peakDb - 40, floorDb + 10);
            while (first < n && levelDb[first] < threshold) ++first;
            while (end > first && levelDb[end - 1] < threshold) --end;
            first = std::max<int64_t>(0, first - 3);
            end = std::min<int64_t>(n, end + 3);
        }
    }
    std::vector<int64_t> rows(static_cast<size_t>(end - first));
    for (size_t k = 0; k < rows.size(); ++k) rows[k] = first + static_cast<int64_t>(k);
    return rows;
}

// Each frame followed by the slope of each value over kDeltaReach frames either
// side (held at the ends).
TFeatureMatrix withDeltas(const TFeatureMatrix &m) {
    TFeatureMatrix out;
    out.Dims = 2 * m.Dims;
    const int64_t n = m.Frames();
    out.Data.resize(static_cast<size_t>(n) * out.Dims);
    double norm = 0;
    for (int64_t k = 1; k <= kDeltaReach; ++k) norm += 2.0 * static_cast<double>(k * k);
    for (int64_t i = 0; i < n; ++i) {
        float *row = out.Row(i);
        std::copy(m.Row(i), m.Row(i) + m.Dims, row);
        for (size_t d = 0; d < m.Dims; ++d) {
            double slope = 0;
            for (int64_t k = 1; k <= kDeltaReach; ++k)
                slope += static_cast<double>(k) *
                         (m.Row(std::min(n - 1, i + k))[d] - m.Row(std::max<int64_t>(0, i - k))[d]);
            row[m.Dims + d] = static_cast<float>(slope / norm);
        }
    }
    return out;
}

// Steps from the path's last pair to (i, j), both indices advancing evenly.
void lineTo(std::vector<std::pair<int32_t, int32_t>> &path, int64_t i, int64_t j) {
    const int64_t i0 = path.back().first, j0 = path.back().second;
    const int64_t steps = std::max(i - i0, j - j0);
    for (int64_t k = 1; k <= steps; ++k)
        path.emplace_back(static_cast<int32_t>(i0 + (i - i0) * k / steps),
                          static_cast<int32_t>(j0 + (j - j0) * k / steps));
}

// Mean distance of sentence frames to take frames taken at random: what the
// path's cost would be if the take said something else in the same voice.
double chanceDistance(const TFeatureMatrix &a, const TFeatureMatrix &b) {
    const int64_t strideA = std::max<int64_t>(1, a.Frames() / 200), strideB = std::max<int64_t>(1, b.Frames() / 200);
    double sum = 0;
    int64_t n = 0;
    for (int64_t i = 0; i < a.Frames(); i += strideA)
        for (int64_t j = 0; j < b.Frames(); j += strideB, ++n) sum += FrameDistance(a.Row(i), b.Row(j), a.Dims);
    return n ? sum / static_cast<double>(n) : 0;
}

} // namespace

TUtterance AnalyseUtterance(const int16_t *samples, size_t count, uint32_t rate, double hopSeconds) {
    TUtterance u;
    u.HopSeconds = hopSeconds;
    if (rate == 0 || !(hopSeconds > 0)) return u;
    // 1e-9: a product such as 100 * 0.01 must not fall a hair short of its integer.
    const auto hop = static_cast<uint32_t>(std::max(1.0, std::floor(rate * hopSeconds + 1e-9)));
    const auto frames = static_cast<int64_t>(count / hop);
    if (frames == 0) return u;
    const auto aHop = static_cast<uint32_t>(std::max(2.0, std::round(kAnalysisRate * hopSeconds)));
    // About kAnalysisRate: where rate * hopSeconds is no integer (22050 Hz), the
    // caller's frames are a little shorter than hopSeconds, and so are ours.
    const auto analysisRate = static_cast<uint32_t>(std::lround(static_cast<double>(rate) * aHop / hop));
    uint32_t window = kWindow;
    while (window < 2 * aHop) window *= 2;
    // TMfcc's frame f ends at sample (f + 1) * aHop; leading zeros and dropping
    // the first `skip` frames put frame i's centre at (i + 0.5) * aHop, the
    // middle of the caller's frame, as the pitch track's frames are.
    const uint32_t skip = (window / 2 + aHop - 1) / aHop;
    const auto lead = static_cast<size_t>((2 * skip + 1) * aHop / 2 - window / 2);
    const std::vector<float> s = analysisSamples(samples, count, hop, aHop);
    std::vector<float> padded(lead, 0.0f);
    padded.insert(padded.end(), s.begin(), s.end());
    padded.resize(std::max(padded.size(), static_cast<size_t>(frames + skip + 1) * aHop), 0.0f);

    std::vector<float> levelDb(static_cast<size_t>(frames));
    for (int64_t f = 0; f < frames; ++f) {
        double sum = 0;
        const size_t from = std::min(s.size(), static_cast<size_t>(f) * aHop), to = std::min(s.size(), from + aHop);
        for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
        levelDb[static_cast<size_t>(f)] =
            static_cast<float>(10 * std::log10(sum / static_cast<double>(std::max<size_t>(1, to - from)) + 1e-10));
    }
    u.HasSpeech = *std::max_element(levelDb.begin(), levelDb.end()) >= kQuietDb;
    u.Rows = speechFrames(levelDb);
    u.Frames = frames;

    TMfccSettings settings;
    settings.SampleRate = analysisRate;
    settings.Window = window;
    settings.Hop = aHop;
    settings.Coefficients = kCoefficients;
    TMfcc mfcc(settings);
    TFeatureMatrix all;
    mfcc.Push(padded.data(), padded.size(), all);
    all.Data.erase(all.Data.begin(), all.Data.begin() + static_cast<std::ptrdiff_t>(skip * all.Dims));
    all.Data.resize(static_cast<size_t>(frames) * all.Dims);
    const TFeatureMatrix full = withDeltas(all);
    u.Speech.Dims = full.Dims;
    u.Speech.Data.reserve(u.Rows.size() * full.Dims);
    for (int64_t f : u.Rows) u.Speech.Data.insert(u.Speech.Data.end(), full.Row(f), full.Row(f) + full.Dims);
    // The voice and level of the speech, not of the silence around it.
    NormalizeFeatures(u.Speech);
    return u;
}

TTakeComparison CompareTake(const TUtterance &s, const TUtterance &t) {
    TTakeComparison result;
    if (s.Rows.empty() || t.Rows.empty() || s.HopSeconds != t.HopSeconds) return result;
    const TFeatureMatrix &a = s.Speech, &b = t.Speech;
    const int64_t rows = a.Frames(), cols = b.Frames();
    const int64_t half = std::clamp<int64_t>(std::max(rows, cols) / 4, kMinHalfBand, kMaxHalfBand);
    std::vector<TBand> band(static_cast<size_t>(rows));
    for (int64_t i = 0; i < rows; ++i) {
        const int64_t centre = rows > 1 ? i * (cols - 1) / (rows - 1) : 0;
        band[static_cast<size_t>(i)] = {centre - half, centre + half + 1};
    }
    const TWarpPath warp = WarpBanded(a, b, std::move(band));
    if (warp.First.empty()) return result;

    auto &path = result.Path;
    // Frames left out (silence around the speech) run straight to and from the
    // frames compared.
    path.emplace_back(0, 0);
    for (int64_t i = 0; i < rows; ++i)
        for (int64_t j = warp.First[static_cast<size_t>(i)]; j <= warp.Last[static_cast<size_t>(i)]; ++j)
            lineTo(path, s.Rows[static_cast<size_t>(i)], t.Rows[static_cast<size_t>(j)]);
    lineTo(path, s.Frames - 1, t.Frames - 1);

    const double chance = chanceDistance(a, b);
    result.Score = chance > 0 ? warp.MeanCost / chance : 1;
    if (kSimilarityMeaningful && s.HasSpeech && t.HasSpeech) result.Similarity = std::clamp(1 - result.Score, 0.0, 1.0);
    return result;
}

TTakeComparison CompareTake(const int16_t *sentence, size_t sentenceCount, uint32_t sentenceRate,
                            const int16_t *take, size_t takeCount, uint32_t takeRate, double hopSeconds) {
    return CompareTake(AnalyseUtterance(sentence, sentenceCount, sentenceRate, hopSeconds),
                       AnalyseUtterance(take, takeCount, takeRate, hopSeconds));
}

} // namespace vorel::speech
