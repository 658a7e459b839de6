// Splitting recordings made over steady background noise. The fixed silence level
// finds no pause, or only some, when the room tone reaches it; then the same rule
// runs again with a level set just above the recording's own noise floor, and
// fills in between the breakpoints the fixed level found.
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

// Splits with the settings. A recording of 20 s or more then gets a second pass
// at a level just above the upper tail of its own noise (read from the quietest
// blocks) when the fixed level leaves it undivided (no inner breakpoint, or
// sentences averaging over 30 s) or the noise in the pauses it found reaches
// within 3 dB of that level (they were found by chance). Every breakpoint of the
// fixed level stays where it is; the second pass adds its own between them where
// every inner sentence stays longer than MinSentenceMs, and the result is kept
// when it has more sentences. No second pass when the speech does not stand
// 12 dB clear of that level (speech over music or a loud tone). Breakpoints and
// errors as TSplitWave::Split.
TSplitOutcome SplitAtNoiseFloor(const TSplitSettings &settings, const TStrings &samples, TStrings &breakpoints);

} // namespace vorel::segment
