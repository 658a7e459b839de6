// The export of flashcards from the transcript window (Ctrl+E in both windows):
// a choice of sentences and format, a save dialog, then the export on a worker
// thread behind a progress dialog whose cancel stops it.
#include "cardexport.h"

#include <QButtonGroup>
#include <QDir>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

#include "mainwindow.h"
#include "messagebox.h"
#include "repeater.h"
#include "studykeeper.h"
#include "transcriptwindow.h"

namespace vorel::app {

std::vector<int32_t> CardIndexes(TCardScope scope, int32_t count, int32_t current, const std::vector<bool> &marked) {
    std::vector<int32_t> chosen;
    for (int32_t i = 0; i < count; ++i) {
        const bool take = scope == TCardScope::All ||
                          (scope == TCardScope::Current && i == current) ||
                          (scope == TCardScope::Marked && size_t(i) < marked.size() && marked[size_t(i)]);
        if (take)
            chosen.push_back(i);
    }
    return chosen;
}

TCardExportRun::TCardExportRun(QObject *receiver, exports::TExportJob job, std::string outPath,
                               exports::TExportFormat format, Progress progress, Finished finished) {
    worker_ = std::thread([this, receiver, job = std::move(job), outPath = std::move(outPath), format,
                           progress = std::move(progress), finished = std::move(finished)] {
        std::string error;
        try {
            const std::unique_ptr<exports::IPcmSource> source = exports::OpenRecording(job.recordingPath);
            exports::Export(job, *source, outPath, format, [&](int32_t done, int32_t total) {
                QMetaObject::invokeMethod(receiver, [progress, done, total] { progress(done, total); },
                                          Qt::QueuedConnection);
                return !cancel_.load();
            });
        } catch (const std::exception &e) {
            error = e.what();
            if (error.empty())
                error = "导出失败";
        }
        QMetaObject::invokeMethod(receiver, [finished, error] { finished(error); }, Qt::QueuedConnection);
    });
}

TCardExportRun::~TCardExportRun() {
    cancel_ = true;
    if (worker_.joinable())
        worker_.join();
}

namespace {

struct TCardChoice {
    TCardScope scope = TCardScope::Current;
    exports::TExportFormat format = exports::TExportFormat::Apkg;
};

bool askCardChoice(QWidget *over, bool anyMarked, TCardChoice &choice) {
    QDialog dialog(over);
    dialog.setWindowTitle("导出卡片");
    auto *layout = new QVBoxLayout(&dialog);
    auto *current = new QRadioButton("当前句", &dialog);
    auto *marked = new QRadioButton("标记的句子", &dialog);
    auto *all = new QRadioButton("全部句子", &dialog);
    marked->setEnabled(anyMarked);
    current->setChecked(true);
    auto *apkg = new QRadioButton("Anki 卡片包 (.apkg)", &dialog);
    auto *csv = new QRadioButton("CSV 文件和音频文件夹", &dialog);
    apkg->setChecked(true);
    auto *scopes = new QButtonGroup(&dialog);
    auto *formats = new QButtonGroup(&dialog);
    for (QRadioButton *b : {current, marked, all}) {
        scopes->addButton(b);
        layout->addWidget(b);
    }
    layout->addSpacing(8);
    for (QRadioButton *b : {apkg, csv}) {
        formats->addButton(b);
        layout->addWidget(b);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    choice.scope = marked->isChecked() ? TCardScope::Marked : all->isChecked() ? TCardScope::All : TCardScope::Current;
    choice.format = csv->isChecked() ? exports::TExportFormat::Csv : exports::TExportFormat::Apkg;
    return true;
}

} // namespace

void TfMainFree::ExportCards() {
    const repeater::TLesson *lesson = repeater_->Lesson();
    if (!lesson || repeater_->Report().busy || cardExport_)
        return;
    QWidget *over = transcript->isActiveWindow() ? static_cast<QWidget *>(transcript) : this;
    if (!study_->Lesson()) {
        // Without the fingerprint the notes would have no stable identity.
        ShowMessage("导出卡片", "无法识别本文件的内容，不能导出卡片。", QMessageBox::Warning, over);
        return;
    }
    const std::vector<bool> markedRows = study_->MarkedRows();
    TCardChoice choice;
    if (!askCardChoice(over, std::find(markedRows.begin(), markedRows.end(), true) != markedRows.end(), choice))
        return;

    exports::TExportJob job;
    job.recordingPath = lesson->fileName;
    job.fingerprint = *study_->Lesson();
    job.sentences = exports::SentencesOf(*lesson->segments, lesson->samples, lesson->silenceLevel, lesson->columnMs);
    job.chosen = CardIndexes(choice.scope, static_cast<int32_t>(job.sentences.size()), repeater_->Report().sentence,
                             markedRows);
    if (job.chosen.empty())
        return;

    const bool csv = choice.format == exports::TExportFormat::Csv;
    const QFileInfo recording(QString::fromStdString(lesson->fileName));
    const QString suggested = recording.dir().filePath(recording.completeBaseName() + (csv ? ".csv" : ".apkg"));
    const QString out = QFileDialog::getSaveFileName(over, "导出卡片", suggested,
                                                     csv ? "CSV 文件 (*.csv)" : "Anki 卡片包 (*.apkg)");
    if (out.isEmpty())
        return;

    auto *progress = new QProgressDialog("正在导出卡片…", "取消", 0, static_cast<int>(job.chosen.size()), over);
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(300);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    const size_t count = job.chosen.size();
    const QString name = QFileInfo(out).fileName();
    cardExport_ = std::make_unique<TCardExportRun>(
        this, std::move(job), out.toStdString(), choice.format,
        [progress](int32_t done, int32_t total) {
            progress->setMaximum(total);
            progress->setValue(done);
        },
        [this, progress, count, name](const std::string &error) {
            const bool canceled = progress->wasCanceled();
            progress->deleteLater();
            cardExport_.reset(); // joins the worker, which has finished
            if (!error.empty() && !canceled)
                ShowMessage("导出卡片", QString::fromStdString(error), QMessageBox::Warning, transcript);
            else if (error.empty())
                repeater_->ShowNotice("已导出 " + std::to_string(count) + " 个句子：" + name.toStdString());
        });
    connect(progress, &QProgressDialog::canceled, this, [this] {
        if (cardExport_)
            cardExport_->Cancel();
    });
}

} // namespace vorel::app
