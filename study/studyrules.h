// How a record is used when its recording opens: which breakpoints hold, and
// what the info line says about it. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// A breakpoint moves by two Ctrl + click edits, a delete and an add in either
// order, or by a save that rounds it. The first of two single edits waits here.
struct TEditMemory {
    int32_t removed = -1, added = -1;
};
// The sentence starts that moved when the breakpoints (ascending) went from
// before to after, as (from, to): a start removed and one added with no other
// breakpoint between them, in one change or in two single edits one after the
// other (memory carries the first). The note of a moved start follows it.
std::vector<std::pair<int32_t, int32_t>> MovedStarts(const std::vector<int32_t> &before,
                                                     const std::vector<int32_t> &after, TEditMemory &memory);

} // namespace vorel::study
