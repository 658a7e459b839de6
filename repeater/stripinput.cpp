#include "stripinput.h"

#include <algorithm>
#include <cstdlib>

namespace vorel::repeater {

void TStripInput::SetRange(int32_t c1, int32_t c2) {
    x1_ = c1;
    x2_ = c2;
    start_ = TViewColumns::ColumnsToMs(c1 + v_.ViewOffset());
    end_ = TViewColumns::ColumnsToMs(c2 + v_.ViewOffset());
}

void TStripInput::Mark(int32_t c1, int32_t c2) {
    v_.Select(c1, c2);
    SetRange(c1, c2);
}

void TStripInput::StoreWithoutHighlight(int32_t c1, int32_t c2) {
    Mark(c1, c2);
    x1_ = x2_ = 0;
    v_.Unhighlight();
    useStored_ = true;
}

TStripInput::TOnReading TStripInput::Press(TMode mode, Qt::MouseButton button, bool ctrl, int32_t x, bool reading) {
    accepted_ = !ctrl;
    pressCursor_ = v_.PlayColumn();
    pressReading_ = reading;
    holdAfterClick_ = false;
    useStored_ = false;
    return mode == TMode::OneKey && button == Qt::RightButton && x > pressCursor_ ? TOnReading::PauseOrResume
                                                                                  : TOnReading::Stop;
}

void TStripInput::Choose(TMode mode, Qt::MouseButton button, int32_t x) {
    if (button == Qt::LeftButton) {
        if (mode == TMode::OneKey) {
            useStored_ = true;
            v_.BeginDrag(x);
        } else if (mode == TMode::LeftRight) {
            v_.SetSelectionEdge(0, x);
        }
    } else if (button == Qt::RightButton) {
        if (mode == TMode::OneKey) {
            useStored_ = true;
            // Left of the line: replay up to it; right of it: the pause holds.
            if (x < pressCursor_ - 1)
                Mark(x, pressCursor_);
            else if (pressReading_)
                holdAfterClick_ = true;
        } else if (mode == TMode::LeftRight) {
            v_.SetSelectionEdge(1, x);
        }
    }
}

bool TStripInput::Drag(TMode mode, bool leftHeld, bool ctrl, int32_t x) {
    if (!accepted_ || mode != TMode::OneKey || !leftHeld || ctrl)
        return false;
    v_.DragTo(x);
    return true;
}

TStripInput::TRelease TStripInput::Release(TMode mode, Qt::MouseButton button, bool ctrl) {
    // An edit's release never starts playback, whichever key is let go first.
    const bool accepted = accepted_;
    accepted_ = false;
    if (!accepted || ctrl)
        return TRelease::Nothing;
    if (mode != TMode::OneKey) {
        SetRange(v_.SelStart(), v_.SelEnd());
        return TRelease::Read;
    }
    if (button == Qt::LeftButton) {
        const auto [a, b] = v_.EndDrag();
        SetRange(a, b);
    }
    return holdAfterClick_ ? TRelease::Hold : TRelease::Read;
}

int32_t TStripInput::EditBreakpoint(segment::TSegmentList &list, Qt::MouseButton button, int32_t t) {
    if (button == Qt::RightButton)
        return list.DeleteBreakpointNear(t, EditToleranceMs);
    if (button != Qt::LeftButton)
        return -1;
    // The tolerance holds on both sides of every breakpoint: no sentence shorter
    // than it is made.
    for (int32_t i = 0; i < list.Count(); ++i)
        if (std::abs(static_cast<int64_t>(list.Items(i).TimeMs) - t) < EditToleranceMs)
            return -1;
    return list.InsertBreakpoint(t, EditToleranceMs);
}

} // namespace vorel::repeater
