#include "viewcolumns.h"

#include <algorithm>

namespace vorel::repeater {

void TViewColumns::SetSource(int32_t columnCount, int64_t sampleCount, const segment::TSegmentList *segments) {
    ColumnCount = columnCount;
    SampleCount = sampleCount;
    Segments = segments;
}

void TViewColumns::ResetView() {
    PlayColumn = ViewOffset = SelStart = SelEnd = CursorColumn = 0;
    CursorMs = SelStartMs = SelEndMs = 0;
    Dragging = false;
}

void TViewColumns::ClearSelection() {
    SelStart = SelEnd = CursorColumn = 0;
    UpdateTimes();
}

void TViewColumns::UpdateTimes() {
    CursorMs = ColumnsToMs(ViewOffset + CursorColumn);
    SelStartMs = ColumnsToMs(ViewOffset + SelStart);
    SelEndMs = ColumnsToMs(ViewOffset + SelEnd);
}

int32_t TViewColumns::breakpointCount() const { return Segments ? Segments->Count() : 0; }

int32_t TViewColumns::breakpointColumn(int32_t i) const { return MsToColumns(Segments->Items(i).TimeMs) - ViewOffset; }

// A divisor below 1 would divide by zero; it scrolls by a whole view instead.
int32_t TViewColumns::pageColumns() const { return Width / std::max<int32_t>(PageDivisor, 1); }

int32_t TViewColumns::SelectSentenceAt(int32_t x) {
    CursorColumn = x;
    CursorMs = ColumnsToMs(x + ViewOffset);
    // Without breakpoints there is no sentence to highlight; the range stays.
    if (breakpointCount() == 0)
        return -1;
    int32_t start = CursorMs, end = CursorMs;
    const int32_t index = Segments->FindSentence(CursorMs, start, end);
    SelStartMs = start;
    SelEndMs = end;
    SelStart = MsToColumns(start) - ViewOffset;
    SelEnd = MsToColumns(end) - ViewOffset;
    return index;
}

int32_t TViewColumns::ScrollForward() {
    if (SampleCount - ViewOffset <= int64_t(Width) * 2 / std::max<int32_t>(PageDivisor, 1))
        return 0;
    const int32_t m = pageColumns();
    ViewOffset += m;
    if (SelStart < SelEnd) {
        SelStart -= m;
        SelEnd -= m;
        CursorColumn -= m;
        UpdateTimes();
    }
    return -m;
}

int32_t TViewColumns::ScrollBack() {
    if (ViewOffset <= 0)
        return 0;
    const int32_t m = std::min(pageColumns(), ViewOffset);
    ViewOffset -= m;
    if (SelStart < SelEnd) {
        SelStart += m;
        SelEnd += m;
        CursorColumn += m;
        UpdateTimes();
    }
    return m;
}

int32_t TViewColumns::NextBreakpointColumn(int32_t x) const {
    const int32_t n = breakpointCount();
    if (n <= 0)
        return -1;
    for (int32_t i = 0; i < n; ++i)
        if (breakpointColumn(i) > x)
            return breakpointColumn(i);
    return breakpointColumn(n - 1);
}

int32_t TViewColumns::PrevBreakpointColumn(int32_t x) const {
    for (int32_t i = breakpointCount() - 1; i >= 0; --i)
        if (breakpointColumn(i) < x)
            return breakpointColumn(i);
    return 0;
}

void TViewColumns::SetSelectionEdge(int edge, int32_t x) {
    if (x < 0 || int64_t(x) + ViewOffset > int64_t(ColumnCount) - 1 || (edge != 0 && edge != 1))
        return;
    if (edge == 0) {
        SelStart = x;
        if (x > SelEnd)
            SelEnd = std::max(SelStart, NextBreakpointColumn(SelStart));
    } else {
        SelEnd = x;
        if (x < SelStart)
            SelStart = std::min(SelEnd, PrevBreakpointColumn(SelEnd));
    }
    CursorColumn = SelStart;
    UpdateTimes();
}

void TViewColumns::BeginDrag(int32_t x) {
    if (x < 0 || int64_t(x) + ViewOffset > int64_t(ColumnCount) - 1)
        return;
    Dragging = true;
    SelStart = SelEnd = CursorColumn = 0;
    UpdateTimes();
    DragAnchor = DragEnd = x;
}

void TViewColumns::DragTo(int32_t x) {
    if (!Dragging || int64_t(x) + ViewOffset >= ColumnCount)
        return;
    DragEnd = x + 1;
}

std::pair<int32_t, int32_t> TViewColumns::EndDrag() {
    Dragging = false;
    const int32_t a = std::min(DragAnchor, DragEnd) - 1;
    int32_t b = std::max(DragAnchor, DragEnd);
    if (b - a < 3) {
        b = ColumnCount - ViewOffset;
        SelStart = SelEnd = 0;
    } else {
        SelStart = a;
        SelEnd = b;
        CursorColumn = a;
        UpdateTimes();
    }
    return {std::max(0, a), std::max(0, b)};
}

std::pair<int32_t, int32_t> TViewColumns::Highlight() const {
    if (Dragging)
        return {std::min(DragAnchor, DragEnd), std::max(DragAnchor, DragEnd)};
    return {SelStart, SelEnd};
}

} // namespace vorel::repeater
