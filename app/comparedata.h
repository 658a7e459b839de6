// What the comparison view is given after a take: the sentence and the take, their
// pitch, and how the take's frames map onto the sentence's. GUI thread (or any).
#pragma once

#include <cstdint>
#include <vector>

#include "compareview.h"

namespace vorel::app {

// Interleaved 16-bit frames of `channels` as one mono channel (their mean).
std::vector<int16_t> MonoOf(const std::vector<int16_t> &interleaved, int channels);

// The comparison of a take with its sentence (both mono): the warping path over
// their speech features, and the similarity figure where it means something.
view::TCompareData BuildCompareData(std::vector<int16_t> sentence, uint32_t sentenceRate, std::vector<int16_t> take,
                                    uint32_t takeRate, int takeCount);

} // namespace vorel::app
