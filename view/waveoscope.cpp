#include "waveoscope.h"

#include <algorithm>

#include "mmoscope.h"
#include "showsamples.h"

namespace vorel::view {

void TWaveOscope::AttachOscope(TMMOscope *control)
{
    Oscope = control;
    ViewOffset = 0;
}

void TWaveOscope::SetSource(const std::vector<std::string> *samples, const TBreakpoints *segments)
{
    Samples = samples;
    Segments = segments;
}

int32_t TWaveOscope::Width() const { return Oscope ? Oscope->width() : 0; }

void TWaveOscope::ApplySelection(int32_t first, int32_t last)
{
    if (Oscope)
        Oscope->SetActiveRange(first, last, false);
}

void TWaveOscope::RedrawWave()
{
    static const std::vector<std::string> none;
    if (Oscope)
        ShowSamples(Oscope, Samples ? *Samples : none, ViewOffset, Width());
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
        const int32_t x = Segments->ColumnAt(i) - ViewOffset;
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
    if (UnknownFrom >= 0 && UnknownFrom < Width()) {
        // Not silence: nothing is known there yet.
        canvas.SetPenWidth(1);
        canvas.SetPenColor(UnknownColour);
        for (int32_t x = std::max(UnknownFrom, 0) / 4 * 4; x < Width(); x += 4) {
            canvas.MoveTo(x, h / 2);
            canvas.LineTo(x + 2, h / 2);
        }
    }
    canvas.SetPenWidth(2);
    canvas.MoveTo(0, h);
    canvas.LineTo(Width(), h);
    canvas.SetPenMode(TPenMode::NotXor);
}

} // namespace vorel::view
