// Mouse work on the waveform strip (choosing what to play, breakpoint edits) and
// the progress slider, in view columns.
#include <algorithm>

#include "repeater.h"
#include "repeatrules.h"

namespace vorel::repeater {

namespace {
constexpr int32_t Col = audio::MsPerColumn;
} // namespace

bool TRepeater::withinFile(int32_t x) const {
    return int64_t(x) + v_.ViewOffset() <= int64_t(lesson_.info.pointCount) - 1;
}

void TRepeater::MouseDown(Qt::MouseButton button, bool ctrl, int32_t x) {
    strip_.Reject();
    if (!hasFile() || busy_)
        return;
    x = std::max(x, 0);
    if (!withinFile(x))
        return;
    TBatch batch(*this);
    chosenPlace_ = -1;
    dropPending();
    const bool reading = phase_ == TPhase::Reading || phase_ == TPhase::Paused;
    if (strip_.Press(repeatMode_, button, ctrl, x, reading) == TStripInput::TOnReading::PauseOrResume) {
        if (reading)
            Pause();
    } else {
        if (reading)
            player_.Stop();
        v_.HidePlayLine();
    }
    readCount_ = 1;

    if (ctrl) {
        editBreakpoint(button, (v_.ViewOffset() + x) * Col);
        return;
    }
    const int32_t t = (v_.ViewOffset() + x) * Col;
    if (repeatMode_ != TMode::Marked || button != Qt::LeftButton) {
        strip_.Choose(repeatMode_, button, x);
    } else if (load_.Awaits(lesson_, t)) {
        // Not yet found: its sentence is read once the load has found it.
        choosePlace(t);
    } else {
        selectSentence(v_.SelectSentenceAt(x));
        // A sentence under 200 ms is passed over for its successor.
        if (v_.SelEnd() - v_.SelStart() < 5)
            selectSentence(v_.SelectSentenceAt(v_.SelEnd() + 1));
    }
}

void TRepeater::editBreakpoint(Qt::MouseButton button, int32_t t) {
    segment::TSegmentList &s = *lesson_.segments;
    const int32_t result = TStripInput::EditBreakpoint(s, button, t);
    if (result == -1) {
        ShowNotice("在误差允许范围内，无断点可供处理");
        return;
    }
    int32_t start = 0, end = 0;
    s.FindSentence(t, start, end);
    strip_.Mark(start / Col - v_.ViewOffset(), end / Col - v_.ViewOffset());
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
    if (!hasFile() || busy_)
        return;
    if (strip_.Drag(repeatMode_, leftHeld, ctrl, x))
        TBatch batch(*this); // reports the drag
}

void TRepeater::MouseUp(Qt::MouseButton button, bool ctrl, int32_t) {
    // A release without its press (a press beyond the end, an edit, a press made
    // before the file was loaded) starts nothing.
    if (!hasFile() || busy_) {
        strip_.Reject();
        return;
    }
    const TStripInput::TRelease release = strip_.Release(repeatMode_, button, ctrl);
    if (release == TStripInput::TRelease::Nothing)
        return;
    TBatch batch(*this);
    if (chosenPlace_ >= 0) {
        waitFor(TWaitKind::Place, chosenPlace_);
        return;
    }
    if (release == TStripInput::TRelease::Hold) {
        clock_.Start(TTimer::ShowPos);
        return;
    }
    startReading(strip_.RangeStart(), strip_.RangeEnd());
    sliderPosition_ = v_.SelStartMs();
    setTimeLabel(sliderPosition_);
}

void TRepeater::SliderTrack(int32_t p) {
    if (busy_ || !hasFile())
        return;
    TBatch batch(*this);
    settle();
    chosenPlace_ = -1;
    p = std::clamp(p, 0, lesson_.info.duration);
    v_.ScrollTo(p / Col);
    const int32_t middle = (v_.ViewOffset() + v_.Width() / 2) * Col;
    if (repeatMode_ == TMode::Marked && load_.Awaits(lesson_, middle)) {
        // Not yet found: play waits for its sentence, never reads another.
        choosePlace(middle);
    } else if (repeatMode_ == TMode::Marked) {
        // The sentence in the middle of the view, or the last one past the end.
        selectSentence(v_.SelectSentenceAt(v_.Width() / 2));
        if (curSentence_ == -1 && sentenceCount() >= 1) {
            selectSentence(sentenceCount() - 1);
            markSentence(sentenceCount() - 1);
        }
        strip_.Mark(v_.SelStart(), v_.SelEnd());
    } else {
        // From the view's left edge to the end of the audio, nothing highlighted.
        strip_.StoreWithoutHighlight(0, endOfFileColumn());
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
