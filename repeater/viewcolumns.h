// The waveform strip as the repeater sees it: which columns are shown, the
// highlighted range, the current position, the play line and a one-key drag, all
// in view columns (x positions relative to ViewOffset; time = (x + ViewOffset) *
// MsPerColumn). No drawing: the window paints what it reports. Changed only
// through its operations. Reads the breakpoint list it is given, owns nothing.
// GUI thread.
#pragma once

#include <cstdint>
#include <utility>

#include "channelinfo.h"
#include "segmentlist.h"

namespace vorel::repeater {

class TViewColumns {
public:
    static constexpr int32_t ColumnsToMs(int32_t c) { return c * audio::MsPerColumn; }
    static constexpr int32_t MsToColumns(int32_t t) { return t / audio::MsPerColumn; }

    // columnCount: duration div MsPerColumn; sampleCount: the envelope's length.
    void SetSource(int32_t columnCount, int64_t sampleCount, const segment::TSegmentList *segments);
    void SetSampleCount(int64_t sampleCount) { SampleCount_ = sampleCount; }
    void SetWidth(int32_t columns) { Width_ = columns; }
    // Pages move by Width / divisor (below 1: a whole view).
    void SetPageDivisor(int32_t divisor) { PageDivisor_ = divisor; }
    void ResetView();
    void ClearSelection();
    // Highlights view columns c1..c2, the cursor on c1.
    void Select(int32_t c1, int32_t c2);
    // Nothing highlighted; the times of the last selection stay.
    void Unhighlight() { SelStart_ = SelEnd_ = 0; }
    // The view's first column, in file columns; the highlight keeps its columns.
    void ScrollTo(int32_t offset) { ViewOffset_ = offset; }
    // Re-bases the view so that the selection starts near its left edge (margin
    // columns, fewer at the file's start) when it lies outside the view; true then.
    bool BringSelectionIn(int32_t margin);
    // The play line at file time ms (the cursor follows it); 0 hides it.
    void FollowPlay(int32_t ms);
    void HidePlayLine() { PlayColumn_ = 0; }

    // Highlights the sentence under view column x and returns its index, or -1
    // (then the bounds the lookup gave are highlighted all the same).
    int32_t SelectSentenceAt(int32_t x);

    // Move the view by a page (Width / PageDivisor); return the change of
    // view-relative columns (forward negative, back positive, 0 when it stayed).
    // The play line and a highlight keep their times.
    int32_t ScrollForward();
    int32_t ScrollBack();

    // View column of the first breakpoint right of x, else of the last one (-1
    // without breakpoints).
    int32_t NextBreakpointColumn(int32_t x) const;
    // View column of the last breakpoint left of x, else 0.
    int32_t PrevBreakpointColumn(int32_t x) const;

    // Left/right mode: edge 0 moves the start, 1 the end, to x; an edge passing
    // the other one pushes that to the next (previous) breakpoint.
    void SetSelectionEdge(int edge, int32_t x);

    // One-key mode drag. EndDrag returns the columns to play: a click (or a drag
    // within two columns) gives from one column left of it to the end of the file.
    void BeginDrag(int32_t x);
    void DragTo(int32_t x);
    std::pair<int32_t, int32_t> EndDrag();
    // What the strip highlights now: the drag while one runs, else the selection.
    std::pair<int32_t, int32_t> Highlight() const;

    int32_t Width() const { return Width_; } // of the strip, in columns (pixels)
    int32_t ColumnCount() const { return ColumnCount_; }
    int64_t SampleCount() const { return SampleCount_; }
    int32_t ViewOffset() const { return ViewOffset_; }
    int32_t SelStart() const { return SelStart_; }
    int32_t SelEnd() const { return SelEnd_; }
    int32_t CursorColumn() const { return CursorColumn_; }
    int32_t PlayColumn() const { return PlayColumn_; } // <= 0: no line
    int32_t SelStartMs() const { return SelStartMs_; }
    int32_t SelEndMs() const { return SelEndMs_; }
    int32_t CursorMs() const { return CursorMs_; }
    bool Dragging() const { return Dragging_; }

private:
    void updateTimes();
    int32_t breakpointCount() const;
    int32_t breakpointColumn(int32_t i) const;
    int32_t pageColumns() const;

    int32_t Width_ = 0;
    int32_t PageDivisor_ = 2;
    int32_t ColumnCount_ = 0;
    int64_t SampleCount_ = 0;
    const segment::TSegmentList *Segments_ = nullptr;
    int32_t ViewOffset_ = 0;
    int32_t SelStart_ = 0, SelEnd_ = 0;
    int32_t CursorColumn_ = 0;
    int32_t PlayColumn_ = 0;
    int32_t SelStartMs_ = 0, SelEndMs_ = 0, CursorMs_ = 0;
    bool Dragging_ = false;
    int32_t DragAnchor_ = 0, DragEnd_ = 0;
};

} // namespace vorel::repeater
