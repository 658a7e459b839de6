// Splitting recordings made over steady background noise. The fixed silence level
// finds no pause when the room tone itself is louder; then the same rule runs again
// with a level set just above the recording's own noise floor. The fixed-level
// result is kept wherever it already divides the recording.
#pragma once

#include <cstdint>
#include <vector>

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

// Silence level for a second pass over the sample magnitudes, or 0 when the
// recording gives no usable one: its quiet blocks are not clearly below its speech
// (speech over music or a loud tone), or nothing is louder than the fixed level.
int32_t NoiseFloorLevel(const std::vector<int32_t> &magnitudes, const TSplitSettings &settings);

// Splits with the settings; when that leaves a recording of 20 s or more undivided
// (no inner breakpoint, or sentences averaging over 30 s), splits again at
// NoiseFloorLevel and keeps that result only when it has more sentences and none
// shorter than MinSentenceMs. Breakpoints and errors as TSplitWave::Split.
TSplitOutcome SplitAtNoiseFloor(const TSplitSettings &settings, const TStrings &samples, TStrings &breakpoints);

} // namespace vorel::segment
