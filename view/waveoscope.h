// Controller behind the waveform strip: which columns of the sample list are
// visible, the mapping between view columns and milliseconds, the highlighted
// range, the current position and the play line, and the overlay of breakpoint
// marks drawn after every paint of the control. Owns neither the control nor the
// lists. Column fields other than ViewOffset and ColumnCount are view-relative x
// positions; their time is ColumnsToMs(x + ViewOffset).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "viewcolor.h"

namespace vorel::view {

class TMMOscope;

// Ascending breakpoint times in ms; implemented by the owner over its list.
class TBreakpoints {
public:
    virtual ~TBreakpoints() = default;
    virtual int32_t Count() const = 0;
    virtual int32_t TimeAt(int32_t index) const = 0;
    // The sentence holding t (start inclusive, end exclusive), or -1 when t lies
    // before the first or after the last breakpoint (then start = t, end = last
    // breakpoint).
    virtual int32_t FindSentence(int32_t t, int32_t &start, int32_t &end) const = 0;
};

class TWaveOscope {
public:
    static constexpr int32_t MsPerColumn = 40;
    static constexpr TColor PlayLineColour = 13158;    // RGB (102, 51, 0)
    static constexpr TColor BreakpointColour = 8388736; // RGB (128, 0, 128)

    explicit TWaveOscope(int32_t pageDivisor, TMMOscope *control = nullptr);

    static int32_t ColumnsToMs(int32_t c) { return c * MsPerColumn; }
    static int32_t MsToColumns(int32_t t) { return t / MsPerColumn; }

    void AttachOscope(TMMOscope *control);
    // columnCount: duration div 40 of the loaded file.
    void SetSource(int32_t columnCount, const std::vector<std::string> *samples, const TBreakpoints *segments);

    void ResetView();
    void ClearSelection();
    void UpdateTimes();

    // Plain stores: no repaint, no time recomputation.
    void SetSelStart(int32_t v) { SelStart = v; }
    void SetSelEnd(int32_t v) { SelEnd = v; }
    void SetCursorColumn(int32_t v) { CursorColumn = v; }
    void SetPlayColumn(int32_t v) { PlayColumn = v; }
    void SetViewOffset(int32_t v) { ViewOffset = v; }
    void SetCursorMs(int32_t v) { CursorMs = v; }

    // Hands the range to the control without repainting.
    void ApplySelection(int32_t first, int32_t last);
    // Highlights the sentence under view column x, repaints and returns its index,
    // or -1 (then the range the lookup gave is highlighted all the same).
    int32_t SelectSentenceAt(int32_t x);
    void RedrawWave();

    bool CanScrollForward() const;
    bool CanScrollBack() const;
    // Move the view; return the change of view-relative columns (ScrollForward
    // negative, ScrollBack positive, 0 when the view did not move).
    int32_t ScrollForward();
    int32_t ScrollBack();

    // View column of the first breakpoint right of x, else of the last one (-1
    // without breakpoints).
    int32_t NextBreakpointColumn(int32_t x) const;
    // View column of the last breakpoint left of x, else 0.
    int32_t PrevBreakpointColumn(int32_t x) const;

    // Two-key mode: edge 0 moves the start, 1 the end, to x; repaints.
    void SetSelectionEdge(TMMOscope *control, int edge, int32_t x);

    // One-key mode drag. EndDrag returns the columns to play: a click (or a drag
    // that stayed within two columns) gives from one column left of it to the end
    // of the file.
    void BeginDrag(TMMOscope *control, int32_t x);
    void DragTo(TMMOscope *control, int32_t x);
    std::pair<int32_t, int32_t> EndDrag(TMMOscope *control);

    void PaintBreakpoints();
    // Draws the play line at x in NotXor mode; drawing it again erases it.
    void DrawPlayLine(TMMOscope *control, int32_t x, TColor colour);
    // The whole overlay after a paint of the control: marks, the highlighted range
    // for the next paint, the play line, the bottom edge; leaves the pen in NotXor.
    void PaintOverlay();

    TMMOscope *Oscope = nullptr;
    const std::vector<std::string> *Samples = nullptr;
    const TBreakpoints *Segments = nullptr;
    int32_t ColumnCount = 0;
    int32_t ViewOffset = 0;
    int32_t SelStart = 0, SelEnd = 0;
    int32_t CursorColumn = 0;
    int32_t PlayColumn = 0; // <= 0: no line
    int32_t PageDivisor = 2;
    int32_t SelStartMs = 0, SelEndMs = 0, CursorMs = 0;
    bool Dragging = false;
    int32_t DragAnchor = 0, DragEnd = 0;

private:
    int32_t Width() const;
    int32_t PageColumns() const;
};

} // namespace vorel::view
