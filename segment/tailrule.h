// Where a reading stops. A reading plays its sentence and a short tail after it,
// so that the last sound can fade; the tail ends early where the next sentence's
// sound begins, so that a reading never plays the first sound of the next word.
// Pure functions; any thread.
#pragma once

#include <cstdint>

#include "audio/channelinfo.h"
#include "segmenttypes.h"

namespace vorel::segment {

// The longest tail, in ms after the sentence's end.
inline constexpr int32_t ReadingTailMs = 100;

// The time (ms) at which a reading of a sentence ending at endMs stops: endMs +
// ReadingTailMs, or earlier at the start of the first column of columns (the
// sample list, one peak per columnMs) that overlaps the tail and whose magnitude
// is silenceLevel or more; never before endMs. A tail past the last column, or an
// endMs below 0, keeps its full length. ESegmentError on a column that is no
// decimal integer (as the splitter).
int32_t ReadingStopMs(const TStrings &columns, int32_t silenceLevel, int32_t endMs,
                      double columnMs = audio::MsPerColumn);

// The length in ms of the audio one column of the sample list stands for. The
// sampler spreads the audio over two blocks fewer than there are 40 ms steps, so
// a column is slightly longer than 40 ms: over a file the difference grows to
// about 80 ms, which the tail cannot ignore. MsPerColumn when info describes no
// sampled audio.
double ColumnMsOf(const audio::TChannelInfo &info);

} // namespace vorel::segment
