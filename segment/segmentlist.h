// The breakpoint list of the loaded file, ordered by time: sentence k runs from
// breakpoint k to breakpoint k + 1, so n records hold n - 1 sentences. Filled from
// an LRC file beside the audio or by the automatic splitter, then edited by the
// user. GUI thread only. The list owns its records; references returned by Items
// stay valid until that record is deleted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "noisefloor.h"
#include "segmenttypes.h"
#include "splitwave.h"

namespace vorel::segment {

struct TSegmentRec {
    int32_t TimeMs = 0;
    std::string Stamp; // as shown in the sentence list: "[mm:ss.cc]" or the LRC stamp as written
    std::string Text;  // UTF-8 sentence text of an LRC line, else empty
};

class TSegmentList {
public:
    TSegmentList() = default;

    void Add(TSegmentRec rec);
    // index 0..Count(); ESegmentError "List index out of bounds (%d)" otherwise.
    void Insert(int32_t index, TSegmentRec rec);
    // ESegmentError "List index out of bounds (%d)" for an index outside the list.
    void Delete(int32_t index);
    void Clear();
    int32_t Count() const { return static_cast<int32_t>(records_.size()); }
    // ESegmentError "索引越界错误！" for an index outside 0..Count()-1.
    TSegmentRec &Items(int32_t index);
    const TSegmentRec &Items(int32_t index) const;

    // Appends the breakpoint lines of the file; ESegmentError when the file
    // cannot be read or holds more than MaxFileBytes. A file that begins with a
    // UTF-16 byte-order mark (LE or BE) is read as UTF-16. See LoadFromStrings.
    void LoadFromFile(const std::string &fileName, const TStopFlag *stop = nullptr);
    // Appends one record per LRC stamp line. Minutes may have any number of
    // digits from two on ([600:00.00]). A stamp whose time is out of range
    // (seconds from 60, a time past 2^31 - 1 ms) skips its line, whose 1-based
    // number goes to SkippedLines. Then the list is put in time order (stable)
    // and keeps one record per time: the first, its text followed by the other
    // texts of that time. A record at 0 ms goes in front when the first lies
    // later. A list without any stamp line stays empty: the caller then splits
    // automatically. Linear in the lines but for the sort.
    void LoadFromStrings(const TStrings &lines, const TStopFlag *stop = nullptr);
    // The lines of the last LoadFromStrings whose stamp was no valid time.
    std::vector<int32_t> SkippedLines;
    // A breakpoint file is read whole; anything larger is no breakpoint file.
    static constexpr int64_t MaxFileBytes = 64ll << 20;

    // Deletes every record but the first whose time is ms or later, in one pass.
    void DropFrom(int32_t ms);

    // Replaces the whole content with the splitter's breakpoints over samples
    // (SplitAtNoiseFloor with Settings); returns the silence level it used.
    TSplitOutcome AutoSplit(const TStrings &samples);

    // Inserts t after the last breakpoint c <= t when |t - c| >= tolerance;
    // returns the new index, or -1 (none at or before t, or too close).
    int32_t InsertBreakpoint(int32_t t, int32_t tolerance);
    // Deletes the earliest inner breakpoint within tolerance of t (ends
    // included); returns the index of the sentence now spanning the joined
    // stretch, or -1. The first and the last record are never deleted. The
    // sentence before keeps its text followed by the deleted one's (a space between).
    int32_t DeleteBreakpointNear(int32_t t, int32_t tolerance);
    // The sentence holding t (start inclusive, end exclusive), or -1 when t lies
    // before the first or after the last breakpoint (start = t, end = last
    // breakpoint then). ESegmentError "List index out of bounds (-1)" when empty.
    int32_t FindSentence(int32_t t, int32_t &start, int32_t &end) const;
    void RefreshStamp(int32_t index);

    static std::string MakeStamp(int32_t ms);
    // True when every character is a digit, ':' or '.' (also for "").
    static bool IsTimeText(const std::string &text);
    // One trimmed LRC line: a stamp with its time in ms and where the text after it
    // begins, a stamp whose time is no valid time, or no stamp at all (tags such
    // as "[ti:...]", plain text).
    enum class TLrcLine { Timed, BadTime, Untimed };
    static TLrcLine ParseLrcLine(const std::string &line, int32_t &ms, size_t &textAt);
    static std::string NormalizeText(const std::string &text);

    TSplitSettings Settings;

private:
    void checkIndex(int32_t index, int32_t limit) const;
    TSegmentRec &record(int32_t index) const;

    std::vector<std::unique_ptr<TSegmentRec>> records_;
};

// Milliseconds of a time text "hh:mm:ss[.fff]" (hours 0..23, any minutes,
// seconds 0..59, milliseconds 0..999, the whole at most 2^31 - 1 ms);
// ESegmentError "'<text>' is not a valid time" otherwise.
int32_t ReadTimeText(const std::string &text);

} // namespace vorel::segment
