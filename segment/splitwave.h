// Automatic sentence splitting: breakpoints in the middle of long enough pauses of
// the amplitude envelope.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "segmenttypes.h"

namespace vorel::segment {

struct TSplitSettings {
    int16_t SilenceLevel = 1800;  // a sample whose magnitude is below this is silent
    int16_t MinPauseMs = 120;     // a pause must last longer than this
    int16_t MinSentenceMs = 1200; // a breakpoint must lie more than this after the last one
    uint8_t GapTolerance = 0;     // loud samples allowed inside one pause
};

class TSplitWave {
public:
    explicit TSplitWave(const TSplitSettings &settings) : settings_(settings) {}

    // Replaces breakpoints with the breakpoint times in ms (decimal texts): 0, the
    // middle of each accepted pause, and samples.size() * 40. Throws ESegmentError
    // ("'x' is not a valid integer value") on an entry that is no decimal integer.
    void Split(const TStrings &samples, TStrings &breakpoints) const;

private:
    TSplitSettings settings_;
};

// The split rule fed one sample at a time, for samples that arrive in order while
// a file is still being sampled. A breakpoint is final once Feed returns it:
// feeding a whole list gives the inner breakpoints of TSplitWave::Split. Any one
// thread at a time.
class TSplitScan {
public:
    explicit TSplitScan(const TSplitSettings &settings);
    // Feeds sample number Fed(); returns the sample index of a newly accepted
    // breakpoint, or -1.
    int64_t Feed(int32_t value);
    int64_t Fed() const { return next_; }

private:
    TSplitSettings settings_;
    int64_t minPause_, minSentence_;
    int64_t next_ = 0;
    std::vector<int64_t> run_; // the silent samples of the pause under way
    int64_t accepted_ = 0;     // the last accepted breakpoint (sample index)
};

// Decimal text to integer as the lists carry them; ESegmentError otherwise.
int32_t StrToInt(const std::string &text);

} // namespace vorel::segment
