// How a record is used when its recording opens: which breakpoints hold, and
// what the info line says about it. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fingerprint.h"
#include "studyrecord.h"

namespace vorel::study {

struct TBreakpointChoice {
    bool useKept = false;  // the kept breakpoints hold; else those of the file beside, or the split
    bool dropKept = false; // the kept ones are stale: drop them from the record
    std::string notice;    // for the info line, or empty
    bool operator==(const TBreakpointChoice &) const = default;
};

// The kept breakpoints hold unless the breakpoint file beside the recording
// (sideNow, named sideName) changed since they were kept: then the file wins.
TBreakpointChoice ChooseBreakpoints(const TRecord &record, const std::optional<TFileStamp> &sideNow,
                                    const std::string &sideName);

// "从上次停下的第5句继续", for the 0-based sentence.
std::string ResumeNotice(int32_t sentence);

} // namespace vorel::study
