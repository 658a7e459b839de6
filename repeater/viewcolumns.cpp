#include "viewcolumns.h"

#include <algorithm>

namespace vorel::repeater {

void TViewColumns::SetSource(int32_t columnCount, int64_t sampleCount, const segment::TSegmentList *segments) {
    ColumnCount_ = columnCount;
    SampleCount_ = sampleCount;
    Segments_ = segments;
}

void TViewColumns::ResetView() {
    PlayColumn_ = ViewOffset_ = SelStart_ = SelEnd_ = CursorColumn_ = 0;
    CursorMs_ = SelStartMs_ = SelEndMs_ = 0;
    Dragging_ = false;
}

void TViewColumns::Select(int32_t c1, int32_t c2) {
    SelStart_ = c1;
    SelEnd_ = c2;
    CursorColumn_ = c1;
    updateTimes();
}

bool TViewColumns::BringSelectionIn(int32_t margin) {
    if (SelStart_ >= 0 && SelStart_ <= Width_)
        return false;
    const int32_t length = SelEnd_ - SelStart_;
    ViewOffset_ += SelStart_;
    const int32_t g = std::min(ViewOffset_, margin);
    ViewOffset_ -= g;
    Select(g, g + length);
    return true;
}

void TViewColumns::FollowPlay(int32_t ms) {
    PlayColumn_ = MsToColumns(ms) - ViewOffset_;
    CursorMs_ = ms;
}

void TViewColumns::ClearSelection() {
    SelStart_ = SelEnd_ = CursorColumn_ = 0;
    updateTimes();
}

void TViewColumns::updateTimes() {
    CursorMs_ = ColumnsToMs(ViewOffset_ + CursorColumn_);
    SelStartMs_ = ColumnsToMs(ViewOffset_ + SelStart_);
    SelEndMs_ = ColumnsToMs(ViewOffset_ + SelEnd_);
}

int32_t TViewColumns::breakpointCount() const { return Segments_ ? Segments_->Count() : 0; }

int32_t TViewColumns::breakpointColumn(int32_t i) const {
    return MsToColumns(Segments_->Items(i).TimeMs) - ViewOffset_;
}

// A divisor below 1 would divide by zero; it scrolls by a whole view instead.
int32_t TViewColumns::pageColumns() const { return Width_ / std::max<int32_t>(PageDivisor_, 1); }

int32_t TViewColumns::SelectSentenceAt(int32_t x) {
    CursorColumn_ = x;
    CursorMs_ = ColumnsToMs(x + ViewOffset_);
    // Without breakpoints there is no sentence to highlight; the range stays.
    if (breakpointCount() == 0)
        return -1;
    int32_t start = CursorMs_, end = CursorMs_;
    const int32_t index = Segments_->FindSentence(CursorMs_, start, end);
    SelStartMs_ = start;
    SelEndMs_ = end;
    SelStart_ = MsToColumns(start) - ViewOffset_;
    SelEnd_ = MsToColumns(end) - ViewOffset_;
    return index;
}

int32_t TViewColumns::ScrollForward() {
    if (SampleCount_ - ViewOffset_ <= int64_t(Width_) * 2 / std::max<int32_t>(PageDivisor_, 1))
        return 0;
    const int32_t m = pageColumns();
    ViewOffset_ += m;
    PlayColumn_ -= m;
    if (SelStart_ < SelEnd_) {
        SelStart_ -= m;
        SelEnd_ -= m;
        CursorColumn_ -= m;
        updateTimes();
    }
    return -m;
}

int32_t TViewColumns::ScrollBack() {
    if (ViewOffset_ <= 0)
        return 0;
    const int32_t m = std::min(pageColumns(), ViewOffset_);
    ViewOffset_ -= m;
    PlayColumn_ += m;
    if (SelStart_ < SelEnd_) {
        SelStart_ += m;
        SelEnd_ += m;
        CursorColumn_ += m;
        updateTimes();
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
    if (x < 0 || int64_t(x) + ViewOffset_ > int64_t(ColumnCount_) - 1 || (edge != 0 && edge != 1))
        return;
    if (edge == 0) {
        SelStart_ = x;
        if (x > SelEnd_)
            SelEnd_ = std::max(SelStart_, NextBreakpointColumn(SelStart_));
    } else {
        SelEnd_ = x;
        if (x < SelStart_)
            SelStart_ = std::min(SelEnd_, PrevBreakpointColumn(SelEnd_));
    }
    CursorColumn_ = SelStart_;
    updateTimes();
}

void TViewColumns::BeginDrag(int32_t x) {
    if (x < 0 || int64_t(x) + ViewOffset_ > int64_t(ColumnCount_) - 1)
        return;
    Dragging_ = true;
    SelStart_ = SelEnd_ = CursorColumn_ = 0;
    updateTimes();
    DragAnchor_ = DragEnd_ = x;
}

void TViewColumns::DragTo(int32_t x) {
    if (!Dragging_ || int64_t(x) + ViewOffset_ >= ColumnCount_)
        return;
    DragEnd_ = x + 1;
}

std::pair<int32_t, int32_t> TViewColumns::EndDrag() {
    Dragging_ = false;
    const int32_t a = std::min(DragAnchor_, DragEnd_) - 1;
    int32_t b = std::max(DragAnchor_, DragEnd_);
    if (b - a < 3) {
        b = ColumnCount_ - ViewOffset_;
        SelStart_ = SelEnd_ = 0;
    } else {
        SelStart_ = a;
        SelEnd_ = b;
        CursorColumn_ = a;
        updateTimes();
    }
    return {std::max(0, a), std::max(0, b)};
}

std::pair<int32_t, int32_t> TViewColumns::Highlight() const {
    if (Dragging_)
        return {std::min(DragAnchor_, DragEnd_), std::max(DragAnchor_, DragEnd_)};
    return {SelStart_, SelEnd_};
}

} // namespace vorel::repeater
