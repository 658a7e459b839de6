// Feeding a stretch of the sample list (one decimal text per column) to the
// waveform control.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorel::view {

class TMMOscope;

// Shows samples first .. first + maxCount - 1 at x = 0, 1, ...; columns without a
// sample (before the start, past the end, or past maxCount) show as silence. The
// immediate drawing shows everything in the inactive colour; the foreground colour
// is restored afterwards, which invalidates the control. A text that does not
// parse counts as 0; values clamp to the 16-bit range.
void ShowSamples(TMMOscope *control, const std::vector<std::string> &samples, int64_t first, int32_t maxCount);

// The value of one sample text.
int16_t SampleValue(const std::string &text);

} // namespace vorel::view
