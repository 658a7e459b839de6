// The waveform strip's picture: which columns of the sample list are visible,
// the highlighted range, the play line, and the overlay of breakpoint marks drawn
// after every paint of the control. Whoever owns the state sets the fields and
// asks for a redraw; nothing here decides what they are. Owns neither the control
// nor the lists. Column fields other than ViewOffset are view-relative x
// positions. GUI thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "viewcolor.h"

namespace vorel::view {

class TMMOscope;

// Ascending breakpoint positions in file columns; implemented by the owner over
// its list.
class TBreakpoints {
public:
    virtual ~TBreakpoints() = default;
    virtual int32_t Count() const = 0;
    virtual int32_t ColumnAt(int32_t index) const = 0;
};

class TWaveOscope {
public:
    static constexpr TColor PlayLineColour = 13158;    // RGB (102, 51, 0)
    static constexpr TColor BreakpointColour = 8388736; // RGB (128, 0, 128)
    static constexpr TColor UnknownColour = 10526880;   // RGB (160, 160, 160)

    explicit TWaveOscope(TMMOscope *control = nullptr) : Oscope(control) {}

    void AttachOscope(TMMOscope *control);
    void SetSource(const std::vector<std::string> *samples, const TBreakpoints *segments);

    // Hands the range to the control without repainting.
    void ApplySelection(int32_t first, int32_t last);
    // Shows the samples from ViewOffset over the control's width.
    void RedrawWave();

    void PaintBreakpoints();
    // Draws the play line at x in NotXor mode; drawing it again erases it.
    void DrawPlayLine(TMMOscope *control, int32_t x, TColor colour);
    // The whole overlay after a paint of the control: marks, the highlighted range
    // for the next paint, the play line, the bottom edge; leaves the pen in NotXor.
    void PaintOverlay();

    TMMOscope *Oscope = nullptr;
    const std::vector<std::string> *Samples = nullptr;
    const TBreakpoints *Segments = nullptr;
    int32_t ViewOffset = 0;
    int32_t SelStart = 0, SelEnd = 0;
    int32_t PlayColumn = 0; // <= 0: no line
    // From this x on the file is not sampled yet; drawn as a dotted line (-1: all known).
    int32_t UnknownFrom = -1;

private:
    int32_t Width() const;
};

} // namespace vorel::view
