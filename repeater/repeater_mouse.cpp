// Mouse work on the waveform strip (choosing what to play, breakpoint edits) and
// the progress slider, in view columns.
#include <algorithm>

#include "repeater.h"
#include "repeatrules.h"

namespace vorel::repeater {

namespace {
constexpr int32_t Col = audio::MsPerColumn;
constexpr int32_t EditTolerance = 200; // ms: five columns either side
} // namespace

void TRepeater::MouseDown(Qt::MouseButton button, bool ctrl, int32_t x) {
    pressAccepted_ = false;
    if (!hasFile() || busy_)
        return;
    x = std::max(x, 0);
    if (int64_t(x) + v_.ViewOffset > int64_t(lesson_.info.pointCount) - 1)
        return;
    TBatch batch(*this);
    chosenPlace_ = -1;
    // An edit's release never starts playback, whichever key is let go first.
    pressAccepted_ = !ctrl;
    dropPending();
    pressCursor_ = v_.PlayColumn;
    pressPlaying_ = phase_ == TPhase::Reading || phase_ == TPhase::Paused;
    holdAfterClick_ = false;
    useStoredRange_ = false;

    if (repeatMode_ == TMode::OneKey && button == Qt::RightButton && x > pressCursor_) {
        if (pressPlaying_)
            Pause();
    } else {
        if (pressPlaying_)
            player_.Stop();
        v_.PlayColumn = 0;
    }
    readCount_ = 1;

    if (ctrl) {
        editBreakpoint(button, (v_.ViewOffset + x) * Col);
        return;
    }
    if (button == Qt::LeftButton) {
        if (repeatMode_ == TMode::Marked && load_.Awaits(lesson_, (v_.ViewOffset + x) * Col)) {
            // Not yet found: its sentence is read once the load has found it.
            choosePlace((v_.ViewOffset + x) * Col);
        } else if (repeatMode_ == TMode::Marked) {
            selectSentence(v_.SelectSentenceAt(x));
            // A sentence under 200 ms is passed over for its successor.
            if (v_.SelEnd - v_.SelStart < 5)
                selectSentence(v_.SelectSentenceAt(v_.SelEnd + 1));
        } else if (repeatMode_ == TMode::OneKey) {
            useStoredRange_ = true;
            v_.BeginDrag(x);
        } else {
            v_.SetSelectionEdge(0, x);
        }
    } else if (button == Qt::RightButton) {
        if (repeatMode_ == TMode::OneKey) {
            useStoredRange_ = true;
            if (x < pressCursor_ - 1)
                markRange(x, pressCursor_);
            else if (pressPlaying_)
                holdAfterClick_ = true;
        } else if (repeatMode_ == TMode::LeftRight) {
            v_.SetSelectionEdge(1, x);
        }
    }
}

bool TRepeater::nearBreakpoint(int32_t t) const {
    const segment::TSegmentList &s = *lesson_.segments;
    for (int32_t i = 0; i < s.Count(); ++i)
        if (std::abs(static_cast<int64_t>(s.Items(i).TimeMs) - t) < EditTolerance)
            return true;
    return false;
}

void TRepeater::editBreakpoint(Qt::MouseButton button, int32_t t) {
    segment::TSegmentList &s = *lesson_.segments;
    int32_t result = -1;
    // The tolerance holds on both sides of every breakpoint: no sentence shorter
    // than it is made.
    if (button == Qt::LeftButton && !nearBreakpoint(t))
        result = s.InsertBreakpoint(t, EditTolerance);
    else if (button == Qt::RightButton)
        result = s.DeleteBreakpointNear(t, EditTolerance);
    if (result == -1) {
        ShowNotice("在误差允许范围内，无断点可供处理");
        return;
    }
    int32_t start = 0, end = 0;
    s.FindSentence(t, start, end);
    markRange(start / Col - v_.ViewOffset, end / Col - v_.ViewOffset);
    const std::string when = audio::FormatTime(t);
    ShowNotice(button == Qt::LeftButton ? "在[" + when + "]处已成功添加了断点" : "已成功删除了[" + when + "]处的断点");
    const bool moved = result != curSentence_;
    curSentence_ = result;
    if (moved)
        traceText();
    redraw();
    // The sentence count shown after a load follows the edit.
    setStatus(SentenceCountText(sentenceCount()));
    traceBreakpoints();
}

void TRepeater::MouseMove(bool leftHeld, bool ctrl, int32_t x) {
    if (!hasFile() || busy_ || !pressAccepted_)
        return;
    if (repeatMode_ == TMode::OneKey && leftHeld && !ctrl) {
        TBatch batch(*this);
        v_.DragTo(x);
    }
}

void TRepeater::MouseUp(Qt::MouseButton button, bool ctrl, int32_t x) {
    // A release without its press (a press beyond the end, an edit, a press made
    // before the file was loaded) starts nothing.
    const bool accepted = pressAccepted_;
    pressAccepted_ = false;
    if (!hasFile() || busy_ || !accepted || ctrl)
        return;
    TBatch batch(*this);
    x = std::max(x, 0);
    if (int64_t(x) + v_.ViewOffset > int64_t(lesson_.info.pointCount) - 1)
        x = lesson_.info.pointCount - v_.ViewOffset - 1;
    if (chosenPlace_ >= 0) {
        waitFor(TWaitKind::Place, chosenPlace_);
        return;
    }
    if (repeatMode_ != TMode::OneKey) {
        setRange(v_.SelStart, v_.SelEnd);
    } else {
        if (button == Qt::LeftButton) {
            const auto [a, b] = v_.EndDrag();
            setRange(a, b);
        }
        if (holdAfterClick_) {
            clock_.Start(TTimer::ShowPos);
            return;
        }
    }
    startReading(rangeStart_, rangeEnd_);
    sliderPosition_ = v_.SelStartMs;
    setTimeLabel(sliderPosition_);
}

void TRepeater::SliderTrack(int32_t p) {
    if (busy_ || !hasFile())
        return;
    TBatch batch(*this);
    settle();
    chosenPlace_ = -1;
    p = std::clamp(p, 0, lesson_.info.duration);
    v_.ViewOffset = p / Col;
    const int32_t middle = (v_.ViewOffset + v_.Width / 2) * Col;
    if (repeatMode_ == TMode::Marked && load_.Awaits(lesson_, middle)) {
        // Not yet found: play waits for its sentence, never reads another.
        choosePlace(middle);
    } else if (repeatMode_ == TMode::Marked) {
        // The sentence in the middle of the view, or the last one past the end.
        selectSentence(v_.SelectSentenceAt(v_.Width / 2));
        if (curSentence_ == -1 && sentenceCount() >= 1) {
            selectSentence(sentenceCount() - 1);
            markSentence(sentenceCount() - 1);
        }
        markRange(v_.SelStart, v_.SelEnd);
    } else {
        // From the view's left edge to the end of the audio, nothing highlighted.
        markRange(0, endOfFileColumn());
        rangeX1_ = rangeX2_ = 0;
        v_.SelStart = v_.SelEnd = 0;
        useStoredRange_ = true;
    }
    sliderPosition_ = p;
    setTimeLabel(p);
}

void TRepeater::SliderChange(int32_t p) {
    TBatch batch(*this);
    sliderPosition_ = p;
    setTimeLabel(p);
}

} // namespace vorel::repeater
