#include "waveoscope.h"

#include <algorithm>

#include "mmoscope.h"
#include "showsamples.h"

namespace vorel::view {

TWaveOscope::TWaveOscope(int32_t pageDivisor, TMMOscope *control) : Oscope(control), PageDivisor(pageDivisor)
{
    ClearSelection();
}

void TWaveOscope::AttachOscope(TMMOscope *control)
{
    Oscope = control;
    ViewOffset = 0;
}

void TWaveOscope::SetSource(int32_t columnCount, const std::vector<std::string> *samples,
                            const TBreakpoints *segments)
{
    ColumnCount = columnCount;
    Samples = samples;
    Segments = segments;
}

void TWaveOscope::ResetView()
{
    PlayColumn = ViewOffset = SelStart = SelEnd = CursorColumn = 0;
    CursorMs = SelStartMs = SelEndMs = 0;
}

void TWaveOscope::ClearSelection()
{
    SelStart = SelEnd = CursorColumn = 0;
    UpdateTimes();
}

void TWaveOscope::UpdateTimes()
{
    CursorMs = ColumnsToMs(ViewOffset + CursorColumn);
    SelStartMs = ColumnsToMs(ViewOffset + SelStart);
    SelEndMs = ColumnsToMs(ViewOffset + SelEnd);
}

int32_t TWaveOscope::Width() const { return Oscope ? Oscope->width() : 0; }

// A divisor below 1 would divide by zero; it scrolls by a whole view instead.
int32_t TWaveOscope::PageColumns() const { return Width() / std::max<int32_t>(PageDivisor, 1); }

void TWaveOscope::ApplySelection(int32_t first, int32_t last)
{
    if (Oscope)
        Oscope->SetActiveRange(first, last, false);
}

int32_t TWaveOscope::SelectSentenceAt(int32_t x)
{
    CursorColumn = x;
    CursorMs = ColumnsToMs(x + ViewOffset);
    int32_t index = -1;
    // Without breakpoints there is no sentence to highlight; the range stays.
    if (Segments && Segments->Count() > 0) {
        int32_t start = CursorMs, end = CursorMs;
        index = Segments->FindSentence(CursorMs, start, end);
        SelStartMs = start;
        SelEndMs = end;
        SelStart = MsToColumns(start) - ViewOffset;
        SelEnd = MsToColumns(end) - ViewOffset;
        ApplySelection(SelStart, SelEnd);
    }
    if (Oscope)
        Oscope->Repaint();
    return index;
}

void TWaveOscope::RedrawWave()
{
    static const std::vector<std::string> none;
    if (Oscope)
        ShowSamples(Oscope, Samples ? *Samples : none, ViewOffset, Width());
}

bool TWaveOscope::CanScrollForward() const
{
    if (!Samples || !Oscope)
        return false;
    return int64_t(Samples->size()) - ViewOffset > int64_t(Width()) * 2 / std::max<int32_t>(PageDivisor, 1);
}

bool TWaveOscope::CanScrollBack() const { return ViewOffset > 0; }

int32_t TWaveOscope::ScrollForward()
{
    if (!CanScrollForward())
        return 0;
    const int32_t m = PageColumns();
    ViewOffset += m;
    if (SelStart < SelEnd) {
        SelStart -= m;
        SelEnd -= m;
        CursorColumn -= m;
        UpdateTimes();
    }
    RedrawWave();
    return -m;
}

int32_t TWaveOscope::ScrollBack()
{
    if (!CanScrollBack())
        return 0;
    const int32_t m = std::min(PageColumns(), ViewOffset);
    ViewOffset -= m;
    if (SelStart < SelEnd) {
        SelStart += m;
        SelEnd += m;
        CursorColumn += m;
        UpdateTimes();
    }
    RedrawWave();
    return m;
}

int32_t TWaveOscope::NextBreakpointColumn(int32_t x) const
{
    const int32_t n = Segments ? Segments->Count() : 0;
    if (n <= 0)
        return -1;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t c = MsToColumns(Segments->TimeAt(i)) - ViewOffset;
        if (c > x)
            return c;
    }
    return MsToColumns(Segments->TimeAt(n - 1)) - ViewOffset;
}

int32_t TWaveOscope::PrevBreakpointColumn(int32_t x) const
{
    const int32_t n = Segments ? Segments->Count() : 0;
    for (int32_t i = n - 1; i >= 0; --i) {
        const int32_t c = MsToColumns(Segments->TimeAt(i)) - ViewOffset;
        if (c < x)
            return c;
    }
    return 0;
}

void TWaveOscope::SetSelectionEdge(TMMOscope *control, int edge, int32_t x)
{
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
    if (control)
        control->SetActiveRange(SelStart, SelEnd, true);
}

void TWaveOscope::BeginDrag(TMMOscope *control, int32_t x)
{
    if (x < 0 || int64_t(x) + ViewOffset > int64_t(ColumnCount) - 1)
        return;
    Dragging = true;
    SelStart = SelEnd = CursorColumn = 0;
    UpdateTimes();
    if (control)
        control->Repaint();
    DragAnchor = DragEnd = x;
    if (control)
        control->SetActiveRange(x, x, true);
}

void TWaveOscope::DragTo(TMMOscope *control, int32_t x)
{
    if (!Dragging || int64_t(x) + ViewOffset >= ColumnCount)
        return;
    DragEnd = x + 1;
    if (control)
        control->SetActiveRange(std::min(DragAnchor, DragEnd), std::max(DragAnchor, DragEnd), true);
}

std::pair<int32_t, int32_t> TWaveOscope::EndDrag(TMMOscope *)
{
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

void TWaveOscope::PaintBreakpoints()
{
    if (!Oscope || !Segments)
        return;
    TOscopeCanvas &canvas = Oscope->Canvas();
    canvas.SetPenMode(TPenMode::Copy);
    const int32_t h = Oscope->DrawHeight(), w = Width();
    const int32_t n = Segments->Count();
    for (int32_t i = 0; i < n; ++i) {
        const int32_t x = MsToColumns(Segments->TimeAt(i)) - ViewOffset;
        if (x > w)
            break;
        if (x <= 0)
            continue;
        canvas.SetPenWidth(2);
        canvas.SetPenColor(BreakpointColour);
        canvas.MoveTo(x, h / 2 - 2);
        canvas.LineTo(x, h / 2 + 2);
        canvas.SetPenWidth(1);
        canvas.SetPenColor(PlayLineColour);
        canvas.MoveTo(x, h - 1);
        canvas.LineTo(x, h - 5);
    }
}

void TWaveOscope::DrawPlayLine(TMMOscope *control, int32_t x, TColor colour)
{
    if (!control || !control->isVisible())
        return;
    TOscopeCanvas &canvas = control->Canvas();
    canvas.SetPenWidth(1);
    canvas.SetPenColor(colour);
    canvas.SetPenMode(TPenMode::NotXor);
    if (x > 0) {
        canvas.MoveTo(x, 2);
        canvas.LineTo(x, control->DrawHeight() - 2);
    }
}

void TWaveOscope::PaintOverlay()
{
    if (!Oscope || !Oscope->isVisible())
        return;
    PaintBreakpoints();
    // Puts back the range that ShowSamples' clear reset, for the next paint.
    ApplySelection(SelStart, SelEnd);
    // The paint has just overwritten the line.
    if (PlayColumn > 0)
        DrawPlayLine(Oscope, PlayColumn, PlayLineColour);
    TOscopeCanvas &canvas = Oscope->Canvas();
    const int32_t h = Oscope->DrawHeight();
    canvas.SetPenMode(TPenMode::Copy);
    canvas.SetPenWidth(2);
    canvas.MoveTo(0, h);
    canvas.LineTo(Width(), h);
    canvas.SetPenMode(TPenMode::NotXor);
}

} // namespace vorel::view
