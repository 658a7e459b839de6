// Opening an audio file, and the range and sentence operations over the view.
#include "mainwindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>

#include "bassstream.h"
#include "breakpointsadapter.h"
#include "channelinfo.h"
#include "guard.h"
#include "messageline.h"
#include "view/mmoscope.h"
#include "view/mmslider.h"
#include "player.h"
#include "repeatrules.h"
#include "segment/breakpointfile.h"
#include "segment/samplelist.h"
#include "trace.h"
#include "view/waveoscope.h"
#include "widgets.h"

namespace vorel::app {

namespace {

// Runs f on every way out of a scope.
template <typename F> struct Finally {
    F f;
    ~Finally() { f(); }
};
template <typename F> Finally(F) -> Finally<F>;

} // namespace

int32_t TfMainFree::PointCount() const { return chanInfo ? chanInfo->pointCount : 0; }

int32_t TfMainFree::Duration() const { return chanInfo ? chanInfo->duration : 0; }

int32_t TfMainFree::SentenceCount() const { return segments ? std::max(0, segments->Count() - 1) : 0; }

void TfMainFree::loadfilebtnClick() {
    if (busy)
        return;
    // Unattended runs (tests) open files through the command line or a second start.
    if (platform::WriteMessageLineInstead("open dialog", "not shown"))
        return;
    const QString chosen = QFileDialog::getOpenFileName(this, QString(), QString::fromStdString(dialogFolder),
                                                        "音频文件 (*.wav *.mp3 *.WAV *.MP3)");
    if (chosen.isEmpty() || !QFileInfo(chosen).isFile())
        return;
    dialogFolder = QFileInfo(chosen).absolutePath().toStdString();
    OpenFile(chosen.toStdString());
}

bool TfMainFree::OpenFile(const std::string &path) {
    if (busy)
        return false;
    if (!QFileInfo(QString::fromStdString(path)).isFile()) {
        ShowFailure("不能打开文件：" + path);
        return false;
    }
    bool loaded = false;
    Guard([&] { loaded = LoadAudioFile(path); });
    if (loaded) {
        slider->setEnabled(true);
        playbtn->setEnabled(true);
    }
    emit StateChanged();
    if (closeRequested_)
        close();
    return loaded;
}

bool TfMainFree::LoadAudioFile(const std::string &file) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    busy = true;
    const Finally done{[this] {
        fg1->SetProgress(0);
        fg1->SetShowText(false);
        readCount = 1;
        ShowRepeatLabel();
        QApplication::restoreOverrideCursor();
        busy = false;
    }};
    useStoredRange = false;
    SetStatus("文件处理");

    bass->Stop();
    waveView->ResetView();
    RepaintWave();
    timer_pause->stop();
    Timer_play->stop();
    Timer_ShowPos->stop();
    CancelPauseCountdown();
    Mainoscope->setVisible(true);
    fg1->SetProgress(0);
    fg2->SetProgress(0);

    // From here on the previous file is gone from the player: until this load
    // completes, the window holds no file, so nothing can play a stale range.
    fileName.clear();
    slider->setEnabled(false);
    samples->clear();
    bass->Open(file);
    *chanInfo = bass->info;
    samples->clear();
    waveView->ClearSelection();
    RepaintWave();
    SelectSentence(-1);
    ShowNotice("正在对音频文件进行采样...");

    {
        segment::TWaveSampleList sampler;
        sampler.SetProgressHandler([this](int32_t percent, bool &cancel) { SampleProgress(percent, cancel); });
        sampler.SampleFile(file, false);
        *samples = sampler.Samples;
    }

    std::string extraNotice;
    auto list = std::make_unique<segment::TSegmentList>();
    const int32_t duration = chanInfo->duration;
    const segment::TBreakpointLoad how = segment::LoadBreakpoints(*list, file, *samples, duration);
    if (how.LrcWithoutStamps)
        // Not one time stamp in it: sentences found at the pauses beat none at all.
        extraNotice = "断点文件中没有有效的时间标签，已按停顿自动断句。";
    else if (how.Split.NoiseFloor)
        extraNotice = segment::NoiseFloorSplitNotice;
    breakpointView_->SetList(list.get());
    segments = std::move(list);

    FillSentenceList();

    bassStream.reset();
    bassStream = std::make_unique<audio::TBassStream>(file, false);
    waveView->SetSource(bassStream->info.pointCount, samples.get(), breakpointView_.get());
    waveView->SetViewOffset(0);

    view::TWaveOscope &v = *waveView;
    if (segments->Count() <= 1) {
        MarkRange(0, PointCount());
    } else {
        SelectSentence(0);
        if (repeatMode == 0) {
            MarkRange(segments->Items(0).TimeMs / 40, segments->Items(1).TimeMs / 40);
        } else {
            MarkRange(0, PointCount());
            useStoredRange = true;
            v.SelStart = v.SelEnd = 0;
            v.ApplySelection(0, 0);
            RepaintWave();
        }
    }

    v.SetPlayColumn(0);
    fileName = file;
    slider->SetMinValue(0);
    slider->SetMaxValue(duration);
    slider->SetPosition(0);
    // After the slider: its change notice writes the label in the short form.
    l_time->setText(QString::fromStdString("00:00 / " + audio::FormatTime(duration)));
    v.RedrawWave();
    SetStatus(SentenceCountText(SentenceCount()));
    bass->SetTempo(sl_speed->Position());
    ShowFileInfo();
    if (!extraNotice.empty())
        ShowNotice(extraNotice);
    Trace("load", file + " " + std::to_string(duration) + " " + std::to_string(SentenceCount()));
    traceBreakpoints();
    return true;
}

void TfMainFree::traceBreakpoints() {
    if (!TraceEnabled() || !segments)
        return;
    std::string list;
    for (int32_t i = 0; i < segments->Count(); ++i)
        list += (i ? " " : "") + std::to_string(segments->Items(i).TimeMs);
    Trace("break", list);
}

void TfMainFree::FillSentenceList() {
    const bool wasBusy = busy;
    busy = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Finally done{[this, wasBusy] {
        lvSegment->setUpdatesEnabled(true);
        QApplication::restoreOverrideCursor();
        busy = wasBusy;
    }};
    lvSegment->setUpdatesEnabled(false);
    lvSegment->clear();
    if (!segments)
        return;
    QList<QTreeWidgetItem *> rows;
    for (int32_t i = 0; i + 1 < segments->Count(); ++i) {
        const segment::TSegmentRec &rec = segments->Items(i);
        auto *item = new QTreeWidgetItem(
            {QString::number(i + 1), QString::fromStdString(rec.Stamp), QString::fromStdString(rec.Text)});
        item->setTextAlignment(1, Qt::AlignRight);
        item->setCheckState(0, Qt::Checked);
        rows.append(item);
    }
    lvSegment->addTopLevelItems(rows);
}

void TfMainFree::SampleProgress(int32_t percent, bool &) {
    if (!fg1->ShowText())
        fg1->SetShowText(true);
    fg1->SetProgress(percent);
    QCoreApplication::processEvents();
    if (percent >= 100) {
        fg1->SetProgress(0);
        fg1->SetShowText(false);
    }
}

void TfMainFree::SetRange(int32_t c1, int32_t c2) {
    rangeX1 = c1;
    rangeX2 = c2;
    rangeStart = (c1 + waveView->ViewOffset) * 40;
    rangeEnd = (c2 + waveView->ViewOffset) * 40;
}

void TfMainFree::MarkRange(int32_t c1, int32_t c2) {
    view::TWaveOscope &v = *waveView;
    v.SelStart = c1;
    v.SelEnd = c2;
    v.CursorColumn = v.SelStart;
    v.UpdateTimes();
    SetRange(v.SelStart, v.SelEnd);
}

int32_t TfMainFree::EndOfFileColumn() const { return PointCount() - waveView->ViewOffset; }

void TfMainFree::ToggleCursor() { waveView->DrawPlayLine(Mainoscope, waveView->PlayColumn, PlayLineColour); }

void TfMainFree::SelectSentence(int32_t i) {
    if (i == curSentence)
        return;
    const bool wasBusy = busy;
    busy = true;
    ShowNotice("");
    curSentence = i;
    if (i >= 0 && i < lvSegment->topLevelItemCount())
        SelectRow(FindRowOfSentence(i));
    busy = wasBusy;
    emit StateChanged();
}

int TfMainFree::FindRowOfSentence(int32_t i) const {
    const int rows = lvSegment->topLevelItemCount();
    if (i < 0 || i >= rows)
        return -1;
    const QString caption = QString::number(i + 1);
    for (int r = 0; r < rows; ++r)
        if (lvSegment->topLevelItem(r)->text(0) == caption)
            return r;
    return -1;
}

void TfMainFree::RepaintWave() { Mainoscope->Repaint(); }

} // namespace vorel::app
