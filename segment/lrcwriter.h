// Writing the breakpoints of the loaded file as an LRC file, on the user's request
// only. LRC holds hundredths of a second, so the list is first brought to what the
// file will give back when it is read again.
#pragma once

#include <string>

#include "segmentlist.h"

namespace vorel::segment {

// Rounds every breakpoint but the last (the end of the audio, which a load
// supplies again) to the nearest hundredth, gives each the stamp of its new time
// and its text as the LRC reader would return it. A breakpoint that lands on the
// time of the one before joins it, its text appended.
void RoundForLrc(TSegmentList &list);

// The LRC bytes (UTF-8, LF line ends) of a list prepared by RoundForLrc: one line
// "[mm:ss.cc]text" per breakpoint but the last; minutes go on past 59.
std::string LrcBytes(const TSegmentList &list);

// Formats one time as an LRC stamp with rounded hundredths: 62345 -> "[01:02.35]".
std::string LrcStamp(int32_t ms);

// RoundForLrc, then the file written through a new file beside it and a rename,
// so that a failed write leaves an existing file as it was. An LRC file already
// there keeps its tags and untimed lines (each after the stamp it followed), its
// texts as written where they are unchanged, its encoding (GBK or UTF-8; UTF-8
// where a new text has no GBK form), byte-order mark and line ends. A symbolic
// link is written through to the file it names. Throws on failure.
void SaveLrcFile(TSegmentList &list, const std::string &path);

} // namespace vorel::segment
