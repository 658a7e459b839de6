// A transcript without times aligned to the recording: the ".txt" beside it, or a
// text chosen in the transcript window. The alignment runs on its own thread while
// the lesson is in use; its sentences replace the split's when it is done.
#include "mainwindow.h"

#include <QFileDialog>

#include <algorithm>
#include <QFileInfo>

#include "alignjob.h"
#include "guard.h"
#include "textfile.h"
#include "transcriptwindow.h"

namespace vorel::app {

std::unique_ptr<repeater::ILessonSource> TfMainFree::StartLessonFor(const std::string &file,
                                                                    const std::string &textPath) {
    alignJob_.reset();
    return repeater::StartTextLesson(
        file,
        [this, file, textPath]() -> std::unique_ptr<repeater::ITimedTexts> {
            alignJob_ = textPath.empty() ? align::TAlignJob::ForAudio(file)
                                         : std::make_shared<align::TAlignJob>(file, textPath);
            return repeater::TimedTextsOf(alignJob_);
        },
        0, !textPath.empty());
}

void TfMainFree::OpenTextForRecording() {
    const repeater::TLesson *lesson = repeater_->Lesson();
    if (!lesson || repeater_->Report().busy)
        return;
    const QString chosen =
        QFileDialog::getOpenFileName(transcript, "打开文本", QString::fromStdString(align::TextFileFor(lesson->fileName)),
                                     "文本文件 (*.txt *.TXT);;所有文件 (*)");
    if (chosen.isEmpty())
        return;
    const std::string path = chosen.toStdString();
    const std::string file = lesson->fileName;
    Guard([&] {
        repeater_->OpenAudioFile(file, [this, path](const std::string &f) { return StartLessonFor(f, path); });
    });
}

bool TfMainFree::AlignedDoubtfully(int32_t startMs) const {
    if (!alignJob_ || !alignJob_->Finished())
        return false;
    try {
        // In time order: found by halving, as every row of a book asks.
        const std::vector<align::TAlignedSentence> &s = alignJob_->Result().Sentences;
        const auto at = std::lower_bound(s.begin(), s.end(), startMs - 10,
                                         [](const align::TAlignedSentence &a, int64_t t) { return a.BreakpointMs < t; });
        return at != s.end() && at->BreakpointMs <= startMs + 10 && at->Low;
    } catch (const std::exception &) {
        return false; // a failed alignment marks nothing
    }
}

std::string TfMainFree::AlignmentStatus() const {
    if (!alignJob_)
        return "";
    if (!alignJob_->Finished())
        return "正在按文本对齐录音…" + std::to_string(alignJob_->Percent()) + "%";
    return alignJob_->Notice();
}

} // namespace vorel::app
