// The repeat controller: what is played, how often, with which pause after each
// reading, and what comes next.
#include "mainwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <cstdlib>

#include "channelinfo.h"
#include "guard.h"
#include "view/mmoscope.h"
#include "view/mmslider.h"
#include "player.h"
#include "repeatrules.h"
#include "trace.h"
#include "view/waveoscope.h"
#include "widgets.h"

namespace vorel::app {

int32_t TfMainFree::RepeatCountNow() const { return RepeatCount(cb_repeattimes->currentIndex()); }

int32_t TfMainFree::PauseLengthNow() const { return PauseLength(cb_pausetime->currentIndex(), rangeLength); }

void TfMainFree::ShowRepeatLabel() { l_repeat->setText(QString::fromStdString(RepeatLabel(readCount, RepeatCountNow()))); }

int TfMainFree::SelectedRow() const {
    QTreeWidgetItem *item = lvSegment->currentItem();
    return item ? lvSegment->indexOfTopLevelItem(item) : -1;
}

void TfMainFree::SelectRow(int row) {
    if (row < 0 || row >= lvSegment->topLevelItemCount())
        return;
    lvSegment->setCurrentItem(lvSegment->topLevelItem(row));
}

void TfMainFree::StartReading(int32_t start, int32_t end) {
    fileEnded = false;
    const int32_t minimum = rg_bj->isChecked() ? 0 : 400;
    if (std::abs(static_cast<int64_t>(end) - start) <= minimum || start < 0) {
        ShowNotice("断点间隔太短，不能播放。");
    } else {
        bass->SetTempo(sl_speed->Position());
        rangeLength = end - start;
        rangeStart = start;
        rangeEnd = end;
        followStart = start;
        followEnd = end;
        bass->PlayRange(static_cast<uint32_t>(start), static_cast<uint32_t>(end), false);
        resumeArmed = false;
        Trace("read", std::to_string(start) + " " + std::to_string(end) + " " + std::to_string(readCount));
        slider->SetPosition(rangeStart);
    }
    ShowRepeatLabel();
    RepaintWave();
}

void TfMainFree::RestartRange(int32_t start, int32_t end) {
    readCount = 1;
    MarkRange(start / 40 - waveView->ViewOffset, end / 40 - waveView->ViewOffset);
    if (playing)
        ToggleCursor();
    waveView->SetPlayColumn(0);
    waveView->ApplySelection(waveView->SelStart, waveView->SelEnd);
    RepaintWave();
    StartReading(rangeStart, rangeEnd);
}

bool TfMainFree::GoToSentence(int32_t i) {
    if (!segments || i < 0 || i >= segments->Count() - 1)
        return false;
    SelectSentence(i);
    view::TWaveOscope &v = *waveView;
    MarkRange(segments->Items(i).TimeMs / 40 - v.ViewOffset, segments->Items(i + 1).TimeMs / 40 - v.ViewOffset);
    v.ApplySelection(v.SelStart, v.SelEnd);
    RepaintWave();
    ShowRepeatLabel();
    if (v.SelStart < 0 || v.SelStart > Mainoscope->width()) {
        const int32_t length = v.SelEnd - v.SelStart;
        v.ViewOffset += v.SelStart;
        const int32_t g = std::min(v.ViewOffset, 10);
        v.ViewOffset -= g;
        MarkRange(g, g + length);
        v.RedrawWave();
    }
    return true;
}

int32_t TfMainFree::NextMarkedSentence(int row) const {
    for (int r = row + 1; r < lvSegment->topLevelItemCount(); ++r) {
        QTreeWidgetItem *item = lvSegment->topLevelItem(r);
        if (item->checkState(0) == Qt::Checked)
            return item->text(0).toInt() - 1;
    }
    return -1;
}

void TfMainFree::JumpToRow(int row) {
    if (row == -1)
        return;
    if (playing) {
        ToggleCursor();
        waveView->SetPlayColumn(0);
    }
    CancelPauseCountdown();
    bass->Stop();
    if (!GoToSentence(row))
        return;
    QTreeWidgetItem *item = lvSegment->currentItem();
    if (item && item->checkState(0) == Qt::Checked) {
        readCount = 1;
        StartReading(rangeStart, rangeEnd);
    }
}

bool TfMainFree::AfterReading() {
    ToggleCursor();
    waveView->SetPlayColumn(0);
    ++readCount;
    if (readCount > RepeatCountNow())
        TranscriptLastReadingEnded();
    if (readCount > RepeatCountNow() && !AdvanceSentence())
        return false;
    if (repeatMode != 0 && std::abs(waveView->SelEnd - waveView->SelStart) < 5 &&
        (fileEnded || std::abs(static_cast<int64_t>(rangeEnd) - rangeStart) < 200))
        return true;
    StartPauseAfterReading();
    return true;
}

bool TfMainFree::AdvanceSentence() {
    readCount = 1;
    if (repeatMode == 0) {
        const int row = SelectedRow();
        if (row >= lvSegment->topLevelItemCount() - 1)
            return false;
        return GoToSentence(NextMarkedSentence(row));
    }
    view::TWaveOscope &v = *waveView;
    const int32_t e = EndOfFileColumn();
    if (e == rangeX2)
        return false;
    if (useStoredRange) {
        SetRange(v.SelEnd, e);
        v.SelStart = v.SelEnd = 0;
    } else {
        MarkRange(v.SelEnd, e);
    }
    v.ApplySelection(v.SelStart, v.SelEnd);
    RepaintWave();
    return true;
}

void TfMainFree::StartPauseAfterReading() {
    const int rule = cb_pausetime->currentIndex();
    if (rule == PauseNone) {
        timer_pauseTimer();
    } else if (rule == PauseWait) {
        SetStatus("暂停...");
    } else if (rule >= 2 && rule < static_cast<int>(PauseRuleItems().size())) {
        SetStatus("");
        fg2->SetMaxValue(PauseLengthNow());
        timerPauseTag = 0;
        timer_pause->start();
    }
}

void TfMainFree::timer_pauseTimer() {
    timerPauseTag += timer_pause->interval();
    if (timerPauseTag - fg2->Progress() > fg2->MaxValue() / 50)
        fg2->SetProgress(timerPauseTag);
    if (timerPauseTag < PauseLengthNow())
        return;
    fg2->SetProgress(fg2->MaxValue());
    const view::TWaveOscope &v = *waveView;
    if (useStoredRange)
        StartReading(rangeStart, rangeEnd);
    else
        StartReading((v.ViewOffset + v.SelStart) * 40, (v.ViewOffset + v.SelEnd) * 40);
    timerPauseTag = 0;
    timer_pause->stop();
    fg2->SetProgress(0);
    SetStatus("定时自动播放");
}

void TfMainFree::PlayerStarted() {
    SetStatus("开始播放");
    waveView->SetPlayColumn(0);
    playing = true;
    paused = false;
    playerActive_ = everStarted_ = true;
    UpdateTransport();
    Timer_play->start();
    Timer_ShowPos->stop();
}

void TfMainFree::PlayerPaused() {
    SetStatus("暂停...");
    ShowNotice("");
    paused = true;
    playing = true;
    Timer_ShowPos->start();
    Timer_play->stop();
}

void TfMainFree::PlayerResumed() {
    SetStatus("恢复播放");
    ShowNotice("");
    paused = false;
    playing = true;
    Timer_ShowPos->stop();
    Timer_play->start();
    RepaintWave();
}

void TfMainFree::PlayerStopped() {
    SetStatus("结束播放");
    bass->Stop();
    StopPlayTimers();
    playerActive_ = false;
    UpdateTransport();
    timer_pause->stop();
}

void TfMainFree::playbtnClick() {
    if (busy)
        return;
    if (fileName.empty()) {
        loadfilebtnClick();
        if (fileName.empty()) {
            // Nothing to play: say so rather than refuse a range of nothing.
            ShowNotice("请先打开一个音频文件（WAV或MP3）。");
            return;
        }
    }
    if (paused) {
        bass->Resume();
        return;
    }
    if (playing)
        ToggleCursor();
    if (timer_pause->isActive())
        CancelPauseCountdown();
    StartReading(rangeStart, rangeEnd);
    RepaintWave();
}

void TfMainFree::pausebtnClick() {
    if (busy || fileName.empty())
        return;
    if (timer_pause->isActive()) {
        resumeArmed = true;
        CancelPauseCountdown();
    } else if (paused) {
        bass->Resume();
    } else if (!resumeArmed) {
        bass->Pause();
    } else {
        StartReading(rangeStart, rangeEnd);
        resumeArmed = false;
    }
}

void TfMainFree::stopbtnClick() {
    if (busy)
        return;
    ShowNotice("当前音频文件已停止播放");
    waveView->SetPlayColumn(0);
    RepaintWave();
    CancelPauseCountdown();
    bass->Stop();
}

void TfMainFree::prevbtnClick() {
    if (busy)
        return;
    const int row = SelectedRow();
    if (row > 0) {
        SelectRow(row - 1);
        JumpToRow(row - 1);
    }
}

void TfMainFree::nextbtnClick() {
    if (busy || lvSegment->topLevelItemCount() == 0)
        return;
    const int row = SelectedRow();
    const int next = row >= lvSegment->topLevelItemCount() - 1 ? 0 : row + 1;
    SelectRow(next);
    JumpToRow(next);
}

void TfMainFree::FormMouseDown(Qt::MouseButton button) {
    if (button == Qt::LeftButton && prevbtn->isEnabled())
        prevbtnClick();
    else if (button == Qt::RightButton && nextbtn->isEnabled())
        nextbtnClick();
}

void TfMainFree::cb_repeattimesChange() {
    focusProgressSlider();
    readCount = 1;
    ShowRepeatLabel();
}

void TfMainFree::cb_pausetimeChange() {
    focusProgressSlider();
    if (fileName.empty())
        return;
    if (timer_pause->isActive()) {
        timer_pause->stop();
        SetStatus("");
        fg2->SetProgress(0);
        StartPauseAfterReading();
    }
}

void TfMainFree::rg_bjClick() {
    focusProgressSlider();
    if (fileName.empty() || busy || repeatMode == 0) {
        setModeButton(repeatMode);
        return;
    }
    Mainoscope->setCursor(Qt::ArrowCursor);
    repeatMode = 0;
    int32_t start = 0, end = 0;
    const int32_t found = segments->FindSentence(waveView->CursorMs, start, end);
    SelectSentence(found);
    RestartRange(start, end);
    setModeButton(0);
}

void TfMainFree::rg_freeClick() { switchToFreeMode(1); }

void TfMainFree::rg_twokeyClick() { switchToFreeMode(2); }

void TfMainFree::switchToFreeMode(int mode) {
    focusProgressSlider();
    // The mode only changes with a file loaded; the buttons show the mode in force.
    if (fileName.empty() || busy || repeatMode == mode) {
        setModeButton(repeatMode);
        return;
    }
    Mainoscope->setCursor(Qt::CrossCursor);
    repeatMode = mode;
    const view::TWaveOscope &v = *waveView;
    RestartRange((std::max(v.PlayColumn, v.SelStart) + v.ViewOffset) * 40, (EndOfFileColumn() + v.ViewOffset) * 40);
    cb_repeattimes->setCurrentIndex(0);
    ShowRepeatLabel();
    setModeButton(mode);
}

void TfMainFree::setModeButton(int mode) {
    QRadioButton *b = mode == 0 ? rg_bj : mode == 1 ? rg_free : rg_twokey;
    b->setChecked(true);
}

void TfMainFree::Timer_ShowPosTimer() {
    if (Timer_play->isActive()) {
        Timer_ShowPos->stop();
        return;
    }
    if (waveView->PlayColumn > 0)
        ToggleCursor();
}

void TfMainFree::Timer_playTimer() {
    if (!playing || paused || fileName.empty())
        return;
    view::TWaveOscope &v = *waveView;
    if (v.PlayColumn > 0)
        ToggleCursor();
    const int32_t pos = CurrentPositionMs();
    v.PlayColumn = pos / 40 - v.ViewOffset;
    v.CursorMs = pos;
    ToggleCursor();
    // The view follows the line: the stored range keeps its times as the columns move.
    if (v.PlayColumn > Mainoscope->width() - 5 || v.PlayColumn < 0) {
        const int32_t shift = v.PlayColumn < 0 ? v.ScrollBack() : v.ScrollForward();
        SetRange(rangeX1 + shift, rangeX2 + shift);
        v.ApplySelection(v.SelStart, v.SelEnd);
        RepaintWave();
    }
    // The player reads 100 ms past the range end; during that tail the position
    // already lies in the next sentence, which must not become current before the
    // reading has ended: a repeat replays this sentence, an advance goes one on.
    const bool inTail = pos >= rangeEnd;
    int32_t start = 0, end = 0;
    const int32_t found = segments ? segments->FindSentence(v.CursorMs, start, end) : -1;
    if (!inTail && found != -1 && found != lastSeenSentence) {
        lastSeenSentence = found;
        SelectSentence(found);
    }
    if (!inTail && repeatMode == 0 && found != -1 && end > start &&
        (v.CursorMs < followStart || v.CursorMs >= followEnd)) {
        followStart = start;
        followEnd = end;
        MarkRange(start / 40 - v.ViewOffset, end / 40 - v.ViewOffset);
        v.ApplySelection(v.SelStart, v.SelEnd);
        RepaintWave();
    }
    slider->SetPosition(pos);
}

} // namespace vorel::app
