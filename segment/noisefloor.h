// Splitting recordings made over steady background noise. The fixed silence level
// finds no pause when the room tone itself is louder; then the same rule runs again
// with a level set just above the recording's own noise floor. The fixed-level
// result is kept wherever it already divides the recording.
#pragma once

#include <cstdint>

#include "segmenttypes.h"
#include "splitwave.h"

namespace vorel::segment {

// Which level the kept split used.
struct TSplitOutcome {
    int32_t SilenceLevel = 0; // magnitude below which a sample counted as silent
    bool NoiseFloor = false;  // true: the level came from the noise floor, not the settings
};

// Info-line notice for a load whose pauses were found at the noise floor (UTF-8).
extern const char *const NoiseFloorSplitNotice;

// Splits with the settings; when that leaves a recording of 20 s or more undivided
// (no inner breakpoint, or sentences averaging over 30 s), splits again with a
// level just above the noise floor and keeps that result only when it has more
// sentences (the rule keeps every inner sentence MinSentenceMs long; the last
// one may be shorter). The level lies above the upper tail of the noise, read
// from the quietest blocks. No second pass when the quiet
// blocks are not clearly below the speech (speech over music or a loud tone).
// Breakpoints and errors as TSplitWave::Split.
TSplitOutcome SplitAtNoiseFloor(const TSplitSettings &settings, const TStrings &samples, TStrings &breakpoints);

} // namespace vorel::segment
