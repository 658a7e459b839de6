// Filling the breakpoint list of a freshly loaded file, as the main window and the
// benchmark tool both do it: from the ".lrc" file beside the audio when it holds
// at least one stamp line, else by the automatic splitter.
#pragma once

#include <cstdint>
#include <string>

#include "noisefloor.h"
#include "segmentlist.h"

namespace vorel::segment {

enum class TBreakpointSource { Lrc, Split };

struct TBreakpointLoad {
    TBreakpointSource Source = TBreakpointSource::Split;
    TSplitOutcome Split; // the silence level used, and whether it came from the
                         // noise floor (the window then shows NoiseFloorSplitNotice);
                         // for Lrc the level a split would have used (the tail
                         // rule's) and false
    bool LrcWithoutStamps = false; // a breakpoint file lay beside the audio but held
                                   // no stamp line, so the splitter was used
    std::string Notice; // for the info line: lines skipped, or a breakpoint file
                        // refused (too large, unreadable) and split instead; else empty
};

// The audio path with its last extension replaced by ".lrc" (appended when the
// file name has none).
std::string BreakpointFileFor(const std::string &audioPath);

// Makes the last breakpoint the end of the audio: every breakpoint but the first
// at or past durationMs is dropped, then durationMs is inserted after the last
// breakpoint not later than it, with a fresh stamp. ESegmentError "索引越界错误！"
// on an empty list.
void EndAtDuration(TSegmentList &list, int32_t durationMs);

// Fills an empty list for the audio file. A breakpoint file without any stamp
// line, one that cannot be read or one larger than TSegmentList::MaxFileBytes
// falls back to the splitter: the recording always opens.
TBreakpointLoad LoadBreakpoints(TSegmentList &list, const std::string &audioPath, const TStrings &samples,
                                int32_t durationMs);

} // namespace vorel::segment
