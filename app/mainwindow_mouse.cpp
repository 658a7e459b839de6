// Mouse work on the waveform (choosing what to play, breakpoint edits), the two
// sliders and the logo.
#include "mainwindow.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QTimer>
#include <QUrl>

#include "channelinfo.h"
#include "guard.h"
#include "installpaths.h"
#include "view/mmoscope.h"
#include "view/mmslider.h"
#include "player.h"
#include "repeatrules.h"
#include "view/showsamples.h"
#include "view/waveoscope.h"

namespace vorel::app {

namespace {
constexpr int32_t EditTolerance = 200; // ms: five columns either side
}

void TfMainFree::MainoscopeMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x) {
    pressAccepted_ = false;
    if (fileName.empty() || busy || !segments)
        return;
    view::TWaveOscope &v = *waveView;
    x = std::max(x, 0);
    if (x + v.ViewOffset > PointCount() - 1)
        return;
    pressAccepted_ = true;
    CancelPauseCountdown();
    pressCursor_ = v.PlayColumn;
    pressPlaying_ = playing;
    holdAfterClick = false;
    useStoredRange = false;
    const bool ctrl = mods & Qt::ControlModifier;

    if (repeatMode == 1 && button == Qt::RightButton && x > pressCursor_) {
        if (playing || paused)
            pausebtnClick();
    } else {
        if (playing || paused) {
            ToggleCursor();
            bass->Stop();
        }
        v.SetPlayColumn(0);
        RepaintWave();
    }
    readCount = 1;

    if (ctrl) {
        editBreakpoint(button, (v.ViewOffset + x) * 40);
        return;
    }
    if (button == Qt::LeftButton) {
        if (repeatMode == 0) {
            SelectSentence(v.SelectSentenceAt(x));
            // A sentence under 200 ms is passed over for its successor.
            if (v.SelEnd - v.SelStart < 5)
                SelectSentence(v.SelectSentenceAt(v.SelEnd + 1));
        } else if (repeatMode == 1) {
            useStoredRange = true;
            v.BeginDrag(Mainoscope, x);
        } else {
            v.SetSelectionEdge(Mainoscope, 0, x);
        }
    } else if (button == Qt::RightButton) {
        if (repeatMode == 1) {
            useStoredRange = true;
            if (x < pressCursor_ - 1) {
                MarkRange(x, pressCursor_);
                v.ApplySelection(v.SelStart, v.SelEnd);
                RepaintWave();
            } else if (pressPlaying_) {
                holdAfterClick = true;
            }
        } else if (repeatMode == 2) {
            v.SetSelectionEdge(Mainoscope, 1, x);
        }
    }
}

void TfMainFree::editBreakpoint(Qt::MouseButton button, int32_t t) {
    int32_t result = -1;
    if (button == Qt::LeftButton)
        result = segments->InsertBreakpoint(t, EditTolerance);
    else if (button == Qt::RightButton)
        result = segments->DeleteBreakpointNear(t, EditTolerance);
    if (result == -1) {
        ShowNotice("在误差允许范围内，无断点可供处理");
        return;
    }
    view::TWaveOscope &v = *waveView;
    int32_t start = 0, end = 0;
    segments->FindSentence(t, start, end);
    MarkRange(start / 40 - v.ViewOffset, end / 40 - v.ViewOffset);
    v.ApplySelection(v.SelStart, v.SelEnd);
    RepaintWave();
    const std::string when = audio::FormatTime(t);
    ShowNotice(button == Qt::LeftButton ? "在[" + when + "]处已成功添加了断点" : "已成功删除了[" + when + "]处的断点");
    FillSentenceList();
    SelectRow(FindRowOfSentence(result));
    // The sentence count shown after a load follows the edit.
    SetStatus(SentenceCountText(SentenceCount()));
    traceBreakpoints();
}

void TfMainFree::MainoscopeMouseMove(Qt::MouseButtons held, Qt::KeyboardModifiers mods, int x) {
    if (fileName.empty() || busy || !pressAccepted_)
        return;
    if (repeatMode == 1 && (held & Qt::LeftButton) && !(mods & Qt::ControlModifier))
        waveView->DragTo(Mainoscope, x);
}

void TfMainFree::MainoscopeMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x) {
    // A release without its press (a press beyond the end, an edit, a press made
    // before the file was loaded) starts nothing.
    const bool accepted = pressAccepted_;
    pressAccepted_ = false;
    if (fileName.empty() || busy || !accepted || (mods & Qt::ControlModifier))
        return;
    view::TWaveOscope &v = *waveView;
    x = std::max(x, 0);
    if (x + v.ViewOffset > PointCount() - 1)
        x = PointCount() - v.ViewOffset - 1;
    if (repeatMode != 1) {
        SetRange(v.SelStart, v.SelEnd);
    } else {
        if (button == Qt::LeftButton) {
            const auto [a, b] = v.EndDrag(Mainoscope);
            SetRange(a, b);
            v.ApplySelection(v.SelStart, v.SelEnd);
            RepaintWave();
        }
        if (holdAfterClick) {
            Timer_ShowPos->start();
            return;
        }
    }
    StartReading(rangeStart, rangeEnd);
    slider->SetPosition(v.SelStartMs);
    RepaintWave();
}

void TfMainFree::MainoscopePostPaint() {
    if (waveView)
        waveView->PaintOverlay();
}

void TfMainFree::MainoscopePcmOverflow() { Mainoscope->SetGain(-1); }

void TfMainFree::sliderTrack() {
    if (busy || fileName.empty() || !segments)
        return;
    view::TWaveOscope &v = *waveView;
    CancelPauseCountdown();
    if (playing) {
        ToggleCursor();
        v.SetPlayColumn(0);
    }
    bass->Stop();
    const int32_t p = slider->Position();
    view::ShowSamplesAt(Mainoscope, *samples, p);
    v.SetViewOffset(p / 40);
    if (repeatMode == 0) {
        SelectSentence(v.SelectSentenceAt(Mainoscope->width() / 2));
        if (curSentence == -1 && segments->Count() >= 2) {
            const int32_t last = segments->Count() - 2;
            SelectSentence(last);
            MarkRange(segments->Items(last).TimeMs / 40 - v.ViewOffset,
                      segments->Items(last + 1).TimeMs / 40 - v.ViewOffset);
        }
        MarkRange(v.SelStart, v.SelEnd);
        v.ApplySelection(v.SelStart, v.SelEnd);
        RepaintWave();
    } else {
        MarkRange(0, EndOfFileColumn());
        rangeX1 = rangeX2 = 0;
        v.SelStart = v.SelEnd = 0;
        useStoredRange = true;
        v.ApplySelection(0, 0);
    }
    l_time->setText(QString::fromStdString(audio::FormatTime(p) + " / " + audio::FormatTime(Duration())));
}

void TfMainFree::sliderChange() {
    l_time->setText(
        QString::fromStdString(audio::FormatTime(slider->Position()) + " / " + audio::FormatTime(Duration())));
}

void TfMainFree::sl_speedChange() {
    focusProgressSlider();
    if (fileName.empty() || !bass || bass->handle == 0)
        return;
    const int s = sl_speed->Position();
    bass->SetTempo(s);
    sl_speed->setToolTip(QString::fromStdString(SpeedHint(s)));
    ShowNotice(SpeedNotice(s));
}

void TfMainFree::sl_speedTrackEnd() {
    if (!fileName.empty())
        ShowNotice("");
}

void TfMainFree::Image1Click() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(platform::ReadmePath())));
}

void TfMainFree::focusProgressSlider() {
    if (slider->isEnabled() && slider->isVisible())
        slider->setFocus();
}

void TfMainFree::closeEvent(QCloseEvent *e) {
    // Sampling lets the window handle events; it cannot go away under the load.
    if (busy) {
        closeRequested_ = true;
        e->ignore();
        return;
    }
    e->accept();
}

} // namespace vorel::app
