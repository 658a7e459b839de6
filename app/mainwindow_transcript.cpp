// The transcript window wired to the repeater: it follows the current sentence,
// its rows select and play sentences, and Ctrl+S saves the breakpoints as an LRC
// file on request.
#include "mainwindow.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QShortcut>

#include "breakpointfile.h"
#include "guard.h"
#include "messageline.h"
#include "messagebox.h"
#include "repeater.h"
#include "transcriptwindow.h"

namespace vorel::app {

void TfMainFree::CreateTranscript() {
    transcript = new TTranscriptWindow(this);
    auto guarded = [](auto f) { return [f](auto... args) { Guard([&] { f(args...); }); }; };
    repeater::TRepeater *r = repeater_.get();
    connect(transcript, &TTranscriptWindow::rowSelected, this, guarded([r](int row) { r->ChooseSentence(row); }));
    connect(transcript, &TTranscriptWindow::rowPlayRequested, this,
            guarded([r](int row) { r->PlaySentence(row); }));
    connect(transcript, &TTranscriptWindow::saveRequested, this, guarded([this] { SaveBreakpoints(); }));
    connect(transcript, &TTranscriptWindow::toggleRequested, this, [this] { ToggleTranscript(); });
    connect(r, &repeater::TRepeater::Traced, this, [this](const std::string &kind, const std::string &) {
        if (kind == "break")
            TranscriptRefill();
        else if (kind == "open") {
            // A breakpoint file's texts are there before the sampling ends.
            TranscriptRefill();
            transcriptAfterLoad_ = true;
        } else if (kind == "load")
            transcriptAfterLoad_ = true;
    });
    connect(r, &repeater::TRepeater::Changed, this, [this] { TranscriptFollow(); });
    connect(r, &repeater::TRepeater::LastReadingFinished, this, [this](int32_t sentence) {
        transcript->SetRevealed(sentence);
    });
    auto *save = new QShortcut(QKeySequence::Save, this);
    connect(save, &QShortcut::activated, this, guarded([this] { SaveBreakpoints(); }));
    auto *toggle = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(toggle, &QShortcut::activated, this, [this] { ToggleTranscript(); });
}

void TfMainFree::TranscriptRefill() {
    std::vector<TTranscriptRow> rows;
    if (const repeater::TLesson *lesson = repeater_->Lesson()) {
        const segment::TSegmentList &s = *lesson->segments;
        for (int32_t i = 0; i + 1 < s.Count(); ++i)
            rows.push_back({s.Items(i).TimeMs, s.Items(i).Text});
    }
    transcript->SetRows(std::move(rows));
    transcript->SetCurrent(repeater_->Report().sentence);
}

void TfMainFree::TranscriptFollow() {
    if (transcript->Current() != repeater_->Report().sentence)
        transcript->SetCurrent(repeater_->Report().sentence);
    if (transcriptAfterLoad_) {
        // Opened by itself when the new lesson carries text.
        transcriptAfterLoad_ = false;
        if (transcript->HasText() && !transcript->isVisible())
            transcript->ShowBesideOwner();
    }
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
    const repeater::TLesson *lesson = repeater_->Lesson();
    if (!lesson || repeater_->Report().busy)
        return;
    std::string path = segment::BreakpointFileFor(lesson->fileName);
    // Unattended runs save under the proposed name and never replace a file.
    if (!platform::WriteMessageLineInstead("save dialog", path)) {
        QWidget *over = transcript->isActiveWindow() ? static_cast<QWidget *>(transcript) : this;
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
        if (!AskYesNo("确认", QString::fromStdString(question), this))
            return;
    }
    repeater_->SaveBreakpoints(path);
}

} // namespace vorel::app
