// The transcript window wired to the repeater: it follows the current sentence,
// its rows select and play sentences, and Ctrl+S saves the breakpoints as an LRC
// file on request.
#include "mainwindow.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QShortcut>

#include "guard.h"
#include "messageline.h"
#include "player.h"
#include "segment/breakpointfile.h"
#include "segment/lrcwriter.h"
#include "trace.h"
#include "transcriptwindow.h"
#include "view/waveoscope.h"

namespace vorel::app {

void TfMainFree::CreateTranscript() {
    transcript = new TTranscriptWindow(this);
    auto guarded = [](auto f) { return [f](auto... args) { Guard([&] { f(args...); }); }; };
    connect(transcript, &TTranscriptWindow::rowSelected, this, guarded([this](int row) {
                if (fileName.empty() || busy)
                    return;
                // As a click on the waveform in marked mode: stop, make it current.
                if (playing || paused) {
                    ToggleCursor();
                    bass->Stop();
                }
                CancelPauseCountdown();
                waveView->SetPlayColumn(0);
                readCount = 1;
                GoToSentence(row);
            }));
    connect(transcript, &TTranscriptWindow::rowPlayRequested, this, guarded([this](int row) {
                if (fileName.empty() || busy)
                    return;
                SelectRow(row);
                JumpToRow(row);
            }));
    connect(transcript, &TTranscriptWindow::saveRequested, this, guarded([this] { SaveBreakpoints(); }));
    connect(transcript, &TTranscriptWindow::toggleRequested, this, [this] { ToggleTranscript(); });
    auto *save = new QShortcut(QKeySequence::Save, this);
    connect(save, &QShortcut::activated, this, guarded([this] { SaveBreakpoints(); }));
    auto *toggle = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(toggle, &QShortcut::activated, this, [this] { ToggleTranscript(); });
}

void TfMainFree::TranscriptRefill() {
    if (!transcript)
        return;
    std::vector<TTranscriptRow> rows;
    for (int32_t i = 0; segments && i + 1 < segments->Count(); ++i)
        rows.push_back({segments->Items(i).TimeMs, segments->Items(i).Text});
    transcript->SetRows(std::move(rows));
    transcript->SetCurrent(curSentence);
}

void TfMainFree::TranscriptFollow() {
    if (transcript)
        transcript->SetCurrent(curSentence);
    if (segments && curSentence >= 0 && curSentence + 1 < segments->Count() &&
        !segments->Items(curSentence).Text.empty())
        Trace("text", segments->Items(curSentence).Text);
}

void TfMainFree::TranscriptLastReadingEnded() {
    if (transcript)
        transcript->SetRevealed(curSentence);
}

void TfMainFree::TranscriptAfterLoad() {
    if (!transcript || !transcript->HasText() || transcript->isVisible())
        return;
    transcript->ShowBesideOwner();
}

void TfMainFree::ToggleTranscript() {
    if (transcript->isVisible()) {
        transcript->hide();
        return;
    }
    transcript->ShowBesideOwner();
    transcript->activateWindow();
}

void TfMainFree::SaveBreakpoints() {
    if (fileName.empty() || busy || !segments)
        return;
    std::string path = segment::BreakpointFileFor(fileName);
    // Unattended runs save under the proposed name and never replace a file.
    if (!platform::WriteMessageLineInstead("save dialog", path)) {
        QWidget *over = transcript && transcript->isActiveWindow() ? static_cast<QWidget *>(transcript) : this;
        const QString chosen = QFileDialog::getSaveFileName(over, "保存断点", QString::fromStdString(path),
                                                            "LRC 文件 (*.lrc)", nullptr,
                                                            QFileDialog::DontConfirmOverwrite);
        if (chosen.isEmpty())
            return;
        path = chosen.toStdString();
    }
    const QFileInfo target(QString::fromStdString(path));
    if (target.exists()) {
        const std::string question = "文件" + target.fileName().toStdString() + "已存在，要替换它吗？";
        if (platform::WriteMessageLineInstead("确认", question) ||
            QMessageBox::question(this, "确认", QString::fromStdString(question)) != QMessageBox::Yes)
            return;
    }
    segment::SaveLrcFile(*segments, path);
    // The list now holds the times as the file holds them.
    FillSentenceList();
    SelectRow(FindRowOfSentence(curSentence));
    RepaintWave();
    traceBreakpoints();
    ShowNotice("断点已保存到" + target.fileName().toStdString() + "（时间取到百分之一秒）");
}

} // namespace vorel::app
