// Filling the breakpoint list of a freshly loaded file, as the main window and the
// benchmark tool both do it: from the ".lrc" file beside the audio when it holds
// at least one stamp line, else from an ".srt", else from a ".vtt" subtitle file
// with at least one cue, else by the automatic splitter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "noisefloor.h"
#include "segmentlist.h"

namespace vorel::segment {

// Txt: a plain transcript beside the audio, aligned to it (after the others).
enum class TBreakpointSource { Lrc, Srt, Vtt, Split, Txt };

// "lrc", "srt", "vtt", "split" or "txt", as the benchmark tool reports the source.
const char *SourceName(TBreakpointSource source);

struct TBreakpointLoad {
    TBreakpointSource Source = TBreakpointSource::Split;
    TSplitOutcome Split; // the silence level used, and whether it came from the
                         // noise floor (the window then shows NoiseFloorSplitNotice);
                         // for a breakpoint or subtitle file the level a split
                         // would have used (the tail rule's) and false
    bool LrcWithoutStamps = false; // a breakpoint file lay beside the audio but held
                                   // no stamp line, so the splitter was used
    std::vector<std::string> Notices; // for the info line: stamps or cues skipped,
                                      // files refused or unused
};

// The notices of a load as one info-line text: the first, and how many more.
std::string NoticeSummary(const std::vector<std::string> &notices);

// The audio path with its last extension replaced by ".lrc" (appended when the
// file name has none).
std::string BreakpointFileFor(const std::string &audioPath);

// Makes the last breakpoint the end of the audio: every breakpoint but the first
// at or past durationMs is dropped, then durationMs is inserted after the last
// breakpoint not later than it, with a fresh stamp. ESegmentError "索引越界错误！"
// on an empty list.
void EndAtDuration(TSegmentList &list, int32_t durationMs);

// The audio path with its last extension replaced by ext (".srt", ".vtt").
std::string CompanionFileFor(const std::string &audioPath, const char *ext);

// Fills an empty list for the audio file: from the ".lrc" file beside it, else an
// ".srt", else a ".vtt", else the splitter. A file without any breakpoint falls
// back to the next source; a breakpoint file that cannot be read or is larger than
// TSegmentList::MaxFileBytes falls back to the splitter: the recording always
// opens. The end of the list is made the end of the audio (EndAtDuration).
// The file part of LoadBreakpoints, which needs no samples: fills the list from
// the ".lrc", ".srt" or ".vtt" file beside the audio and ends it at durationMs.
// Source Split (the list left empty) when none gave a breakpoint; the caller then
// splits. Split is left at its defaults.
TBreakpointLoad LoadBreakpointFile(TSegmentList &list, const std::string &audioPath, int32_t durationMs,
                                   const TStopFlag *stop = nullptr);

// The silence level a split of these samples would use: the tail rule's level
// where the breakpoints came from a file.
int32_t TailLevel(const TSplitSettings &settings, const TStrings &samples);

TBreakpointLoad LoadBreakpoints(TSegmentList &list, const std::string &audioPath, const TStrings &samples,
                                int32_t durationMs);

} // namespace vorel::segment
