// The waveform strip as the repeater sees it: which columns are shown, the
// highlighted range, the current position, the play line and a one-key drag, all
// in view columns (x positions relative to ViewOffset; time = (x + ViewOffset) *
// MsPerColumn). No drawing: the window paints what these fields say. Reads the
// breakpoint list it is given, owns nothing. GUI thread.
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
    void ResetView();
    void ClearSelection();
    void UpdateTimes();

    // Highlights the sentence under view column x and returns its index, or -1
    // (then the bounds the lookup gave are highlighted all the same).
    int32_t SelectSentenceAt(int32_t x);

    // Move the view by a page (Width / PageDivisor); return the change of
    // view-relative columns (forward negative, back positive, 0 when it stayed).
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

    int32_t Width = 0; // of the strip, in columns (pixels)
    int32_t PageDivisor = 2;
    int32_t ColumnCount = 0;
    int64_t SampleCount = 0;
    const segment::TSegmentList *Segments = nullptr;
    int32_t ViewOffset = 0;
    int32_t SelStart = 0, SelEnd = 0;
    int32_t CursorColumn = 0;
    int32_t PlayColumn = 0; // <= 0: no line
    int32_t SelStartMs = 0, SelEndMs = 0, CursorMs = 0;
    bool Dragging = false;
    int32_t DragAnchor = 0, DragEnd = 0;

private:
    int32_t breakpointCount() const;
    int32_t breakpointColumn(int32_t i) const;
    int32_t pageColumns() const;
};

} // namespace vorel::repeater
