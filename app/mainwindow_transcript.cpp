// The transcript window wired to the repeater: it follows the current sentence,
// its rows select and play sentences, and Ctrl+S saves the breakpoints as an LRC
// file on request.
#include "mainwindow.h"

#include <algorithm>

#include <QFileDialog>
#include <QFileInfo>
#include <QCheckBox>
#include <QMessageBox>
#include <QShortcut>

#include "breakpointfile.h"
#include "guard.h"
#include "messageline.h"
#include "messagebox.h"
#include "studykeeper.h"
#include "trace.h"
#include "repeater.h"
#include "transcriptwindow.h"
#include "view/mmoscope.h"

namespace vorel::app {

void TfMainFree::CreateTranscript() {
    transcript = new TTranscriptWindow(this);
    auto guarded = [](auto f) { return [f](auto... args) { Guard([&] { f(args...); }); }; };
    repeater::TRepeater *r = repeater_.get();
    connect(transcript, &TTranscriptWindow::rowSelected, this, guarded([r](int row) { r->ChooseSentence(row); }));
    connect(transcript, &TTranscriptWindow::rowPlayRequested, this,
            guarded([r](int row) { r->PlaySentence(row); }));
    connect(transcript, &TTranscriptWindow::saveRequested, this, guarded([this] { SaveBreakpoints(); }));
    connect(transcript, &TTranscriptWindow::exportRequested, this, guarded([this] { ExportCards(); }));
    connect(transcript, &TTranscriptWindow::openTextRequested, this, guarded([this] { OpenTextForRecording(); }));
    connect(transcript, &TTranscriptWindow::toggleRequested, this, [this] { ToggleTranscript(); });
    connect(transcript, &TTranscriptWindow::playPauseRequested, this, guarded([this] { PlayPauseKey(); }));
    connect(transcript, &TTranscriptWindow::previousRequested, this, guarded([this] { prevbtnClick(); }));
    connect(transcript, &TTranscriptWindow::nextRequested, this, guarded([this] { nextbtnClick(); }));
    connect(transcript, &TTranscriptWindow::markRequested, this, guarded([this] { MarkKey(); }));
    connect(transcript, &TTranscriptWindow::forgetRequested, this, guarded([this] { ForgetStudy(); }));
    connect(transcript, &TTranscriptWindow::reviewToggled, this, guarded([this](bool on) { study_->SetReview(on); }));
    study_->OnMarksChanged = [this] {
        transcript->SetMarked(study_->MarkedRows());
        const QSignalBlocker quiet(transcript->reviewBox);
        transcript->reviewBox->setChecked(study_->Reviewing());
        Mainoscope->Invalidate();
    };
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
        // The repeater moves on before the pause after this reading; the learner
        // still checks this sentence (TranscriptFollow keeps it).
        heard_ = sentence;
        transcript->SetRevealed(sentence);
    });
    auto *save = new QShortcut(QKeySequence::Save, this);
    connect(save, &QShortcut::activated, this, guarded([this] { SaveBreakpoints(); }));
    auto *toggle = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(toggle, &QShortcut::activated, this, [this] { ToggleTranscript(); });
    auto *cards = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_E), this);
    connect(cards, &QShortcut::activated, this, guarded([this] { ExportCards(); }));
}

void TfMainFree::TranscriptRefill() {
    std::vector<TTranscriptRow> rows;
    if (const repeater::TLesson *lesson = repeater_->Lesson()) {
        const segment::TSegmentList &s = *lesson->segments;
        rows.reserve(size_t(std::max(s.Count() - 1, 0)));
        for (int32_t i = 0; i + 1 < s.Count(); ++i)
            rows.push_back({s.Items(i).TimeMs, s.Items(i).Text, AlignedDoubtfully(s.Items(i).TimeMs)});
    }
    transcript->SetRows(std::move(rows));
    transcript->SetMarked(study_->MarkedRows());
    std::vector<TTranscriptChapter> chapters;
    if (const repeater::TLesson *lesson = repeater_->Lesson())
        for (const audio::TChapter &c : lesson->info.chapters)
            chapters.push_back({c.startMs, c.title});
    transcript->SetChapters(std::move(chapters));
    heard_ = -1;
    transcript->SetCurrent(repeater_->Report().sentence);
    Trace("rows", std::to_string(transcript->RowCount()));
}

int32_t TranscriptRowShown(int32_t heard, const repeater::TReport &r) {
    const bool pauseAfterIt = r.playback == repeater::TPlayback::PauseCountdown || r.held || r.waiting;
    return heard >= 0 && pauseAfterIt ? heard : r.sentence;
}

void TfMainFree::TranscriptFollow() {
    transcript->SetStatus(AlignmentStatus());
    const repeater::TReport r = repeater_->Report();
    const int32_t row = TranscriptRowShown(heard_, r);
    if (row != heard_)
        heard_ = -1; // its pause is over
    if (transcript->Current() != row)
        transcript->SetCurrent(row);
    if (transcriptAfterLoad_) {
        // Opened by itself when the new lesson carries text or chapters; closed
        // when it has neither, unless the learner opened it.
        transcriptAfterLoad_ = false;
        const bool content = transcript->HasText() || transcript->ChapterCount() > 0;
        if (content && !transcript->isVisible())
            transcript->ShowBesideOwner();
        else if (!content && transcript->isVisible() && !transcriptByLearner_)
            transcript->hide();
    }
}

bool TfMainFree::SentenceTextHidden(int32_t sentence) const {
    return transcript && transcript->Dictation() && sentence != transcript->Revealed();
}

void TfMainFree::ToggleTranscript() {
    transcriptByLearner_ = !transcript->isVisible();
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
    QWidget *over = transcript->isActiveWindow() ? static_cast<QWidget *>(transcript) : this;
    const QString chosen = QFileDialog::getSaveFileName(
        over, "保存断点", QString::fromStdString(segment::BreakpointFileFor(lesson->fileName)), "LRC 文件 (*.lrc)",
        nullptr, QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty())
        return;
    const QFileInfo target(chosen);
    if (target.exists()) {
        const std::string question = "文件" + target.fileName().toStdString() + "已存在，要替换它吗？";
        if (!AskYesNo("确认", QString::fromStdString(question), this))
            return;
    }
    repeater_->SaveBreakpoints(chosen.toStdString());
}

void TfMainFree::ForgetStudy() {
    if (!study_->Lesson())
        return;
    const std::string question = "要忘记本文件的学习记录（学到的位置、断点、设置和难句标记）吗？";
    // An unattended run's box answers no: nothing is forgotten.
    if (platform::WriteMessageLineInstead("确认", question) ||
        QMessageBox::question(transcript, "确认", QString::fromStdString(question)) != QMessageBox::Yes)
        return;
    study_->Forget();
}

} // namespace vorel::app
