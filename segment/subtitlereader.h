// Breakpoints and sentence texts from subtitle files (SubRip ".srt" and WebVTT
// ".vtt"), for recordings that come without an LRC file. Pure functions over the
// file's bytes; no Qt. GUI thread or any other: nothing is shared.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "segmentlist.h"

namespace vorel::segment {

enum class TSubtitleFormat { Srt, Vtt };

struct TCue {
    int32_t StartMs = 0;
    int32_t EndMs = 0;
    std::string Text; // UTF-8, tags removed, the cue's lines joined with a space
};

struct TSubtitleRead {
    std::vector<TCue> Cues;           // in file order
    std::vector<std::string> Notices; // one per damaged cue: "<name> 第N行：..."
};

// The cues of a subtitle file's bytes. The whole file is UTF-8 when it is valid
// UTF-8 (a byte-order mark is dropped), else GBK. A cue whose timing line cannot
// be read, or that ends before it starts, is skipped with a notice naming
// displayName and the line (from 1).
TSubtitleRead ReadSubtitles(std::string_view bytes, TSubtitleFormat format, const std::string &displayName,
                            const TStopFlag *stop = nullptr);

// One timing of a cue: "[h…:]mm:ss" with "," or "." and one to three fraction
// digits; -1 when it is none or lies past 2^31 - 1 ms.
int32_t ReadCueTime(std::string_view text);

// A cue's text line without markup: <…> tags (<i>, <c.x>, <v Name>, timestamps),
// {\…} override codes and the common character references.
std::string StripCueMarkup(std::string_view line);

// Fills an empty list from cues: each cue's start is a breakpoint carrying the
// cue's text (cues sorted by start; cues starting together share one breakpoint
// and their texts). Where the next cue begins more than GapMs after the cues so far
// have ended, or the recording goes on more than GapMs after the last cue, that end
// is a breakpoint too, starting a sentence without text. A first cue later than
// 0 ms gets a record at 0 ms in front, as an LRC file does. The caller ends the list
// at the duration (EndAtDuration).
inline constexpr int32_t GapMs = 2000;
void CuesToBreakpoints(TSegmentList &list, std::vector<TCue> cues, int32_t durationMs);

// Reads the file (at most MaxTextFileBytes) into cues; ESegmentError when it cannot
// be read or is larger.
inline constexpr int64_t MaxTextFileBytes = 64LL << 20;
TSubtitleRead ReadSubtitleFile(const std::string &path, TSubtitleFormat format, const TStopFlag *stop = nullptr);

} // namespace vorel::segment
