// A learner's take against the sentence it shadows: where each part of the take
// belongs in the sentence (dynamic time warping over MFCCs), and how alike the
// two are. No widgets, no shared state: any thread may call, calls may run side
// by side; the caller keeps the samples, nothing is kept after the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "speechfeatures.h"

namespace vorel::speech {

// Whether the similarity figure ranks takes, as measured over a table of
// sentences spoken by several voices (tests/speech): a take of the same sentence
// by another voice scored better than a take of another sentence (by any voice,
// the sentence's own included) in every one of 2376 pairs, past the 95 % that
// showing a figure needs. The voices there are synthetic; a human take differs
// from its sentence more.
inline constexpr bool kSimilarityMeaningful = true;

struct TTakeComparison {
    // (sentence frame, take frame) pairs, both non-decreasing and advancing by at
    // most one per step, from (0, 0) to the last frame of each (TUtterance's
    // frames). Empty when either side has no frame.
    std::vector<std::pair<int32_t, int32_t>> Path;
    // Mean frame distance along the speech part of the path over the mean
    // distance of any sentence frame to any take frame: 0 for a perfect match, 1
    // for frames paired at random (in the tests, takes of the same sentence by
    // another voice scored about 0.25 to 0.6, of another sentence 0.6 to 0.8).
    double Score = 1;
    // The figure to show, 1 - Score clamped to 0..1 (higher is closer), only
    // where kSimilarityMeaningful and both sides hold speech.
    std::optional<double> Similarity;
};

// One side of a comparison, analysed: its MFCCs in frames of hopSeconds (frame
// i is samples [i * hop, (i + 1) * hop) with hop = floor(rate * hopSeconds), as
// the pitch track counts them) and where its speech is. The sentence's may be
// made while it plays, so that only the take's is left once the take ends.
struct TUtterance {
    double HopSeconds = 0.01;
    int64_t Frames = 0;
    bool HasSpeech = false;    // anything louder than -55 dBFS
    std::vector<int64_t> Rows; // the frames compared, ascending: silence around the speech is left out
    TFeatureMatrix Speech;     // one row per frame of Rows, normalised on their own
};

// Mono s16 samples at any rate (resampled to about 16 kHz for the analysis). No
// frames when there is less than one hop or no rate.
TUtterance AnalyseUtterance(const int16_t *samples, size_t count, uint32_t rate, double hopSeconds = 0.01);

// The take mapped onto the sentence. Silence before and after the speech of each
// side is left out of the warping and the score and mapped by straight lines.
// Both must have the same HopSeconds (else no path).
// Memory grows linearly with the length: the warping runs in a band of at most
// 2 * 400 + 1 take frames around the straight line per sentence frame (two bits
// per cell), enough for takes that drift up to 4 s from an even pace; a 60-s
// sentence needs about 1.2 MB of it.
TTakeComparison CompareTake(const TUtterance &sentence, const TUtterance &take);

// Both analysed, then compared.
TTakeComparison CompareTake(const int16_t *sentence, size_t sentenceCount, uint32_t sentenceRate,
                            const int16_t *take, size_t takeCount, uint32_t takeRate, double hopSeconds = 0.01);

} // namespace vorel::speech
