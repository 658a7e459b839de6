// The window's event handlers: each forwards to the repeater's operation, and
// opening a file.
#include "mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

#include "guard.h"
#include "installpaths.h"
#include "speedladder.h"
#include "studykeeper.h"
#include "view/mmoscope.h"
#include "view/mmslider.h"
#include "view/waveoscope.h"

namespace vorel::app {

QString OpenDialogFilters() {
    // Both cases: the dialog matches patterns case-sensitively on Linux.
    const QString all = "*.wav *.mp3 *.flac *.ogg *.oga *.opus *.m4a *.m4b *.mp4 *.m4v *.mov *.mkv *.mka *.webm";
    return "全部支持的音频和视频文件 (" + all + " " + all.toUpper() + ");;音频文件 (*.wav *.mp3 *.WAV *.MP3)";
}

std::string OpenDialogFolder(const std::string &lessonFile, const std::string &fallback) {
    return lessonFile.empty() ? fallback : QFileInfo(QString::fromStdString(lessonFile)).absolutePath().toStdString();
}

void TfMainFree::loadfilebtnClick() {
    if (repeater_->Report().busy)
        return;
    const std::string folder =
        OpenDialogFolder(repeater_->Lesson() ? repeater_->Lesson()->fileName : std::string(), dialogFolder);
    const QString chosen =
        QFileDialog::getOpenFileName(this, QString(), QString::fromStdString(folder), OpenDialogFilters());
    if (chosen.isEmpty() || !QFileInfo(chosen).isFile())
        return;
    dialogFolder = QFileInfo(chosen).absolutePath().toStdString();
    OpenFile(chosen.toStdString());
}

bool TfMainFree::OpenFile(const std::string &path) {
    if (repeater_->Report().busy)
        return false;
    if (!QFileInfo(QString::fromStdString(path)).isFile()) {
        ShowFailure("不能打开文件：" + path);
        return false;
    }
    bool loaded = false;
    // Only the opening waits; the sampling goes on behind the window (Timer_load).
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Guard([&] {
        repeater_->OpenAudioFile(path, [this](const std::string &file) { return StartLessonFor(file); });
        loaded = true;
    });
    QApplication::restoreOverrideCursor();
    return loaded;
}

void TfMainFree::playbtnClick() {
    if (!repeater_->Lesson() && !repeater_->Report().busy)
        loadfilebtnClick();
    repeater_->Play();
}

void TfMainFree::pausebtnClick() { repeater_->Pause(); }

void TfMainFree::PlayPauseKey() {
    using P = repeater::TPlayback;
    const P now = repeater_->Report().playback;
    if (now == P::Playing || now == P::PauseCountdown)
        repeater_->Pause();
    else
        repeater_->Play(); // resumes a pause, goes on from a held one, starts when stopped
}

void TfMainFree::MarkKey() { study_->ToggleMark(); }

void TfMainFree::stopbtnClick() { repeater_->Stop(); }

void TfMainFree::prevbtnClick() { repeater_->Previous(); }

void TfMainFree::nextbtnClick() { repeater_->Next(); }

void TfMainFree::FormMouseDown(Qt::MouseButton button) {
    const repeater::TEnabled enabled = repeater_->Report().enabled;
    if (button == Qt::LeftButton && enabled.prev)
        repeater_->Previous();
    else if (button == Qt::RightButton && enabled.next)
        repeater_->Next();
}

void TfMainFree::cb_repeattimesChange() {
    focusProgressSlider();
    repeater_->SetRepeatIndex(cb_repeattimes->currentIndex());
}

void TfMainFree::cb_ladderChange() {
    focusProgressSlider();
    const auto &items = repeater::LadderItems();
    const int i = cb_ladder->currentIndex();
    if (i >= 0 && size_t(i) < items.size())
        repeater_->SetLadder(items[size_t(i)].steps);
}

void TfMainFree::cb_pausetimeChange() {
    focusProgressSlider();
    repeater_->SetPauseIndex(cb_pausetime->currentIndex());
}

void TfMainFree::rg_bjClick() {
    focusProgressSlider();
    repeater_->SetMode(repeater::TMode::Marked);
}

void TfMainFree::rg_freeClick() {
    focusProgressSlider();
    repeater_->SetMode(repeater::TMode::OneKey);
}

void TfMainFree::rg_twokeyClick() {
    focusProgressSlider();
    repeater_->SetMode(repeater::TMode::LeftRight);
}

void TfMainFree::MainoscopeMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x) {
    repeater_->MouseDown(button, mods & Qt::ControlModifier, x);
}

void TfMainFree::MainoscopeMouseMove(Qt::MouseButtons held, Qt::KeyboardModifiers mods, int x) {
    repeater_->MouseMove(held & Qt::LeftButton, mods & Qt::ControlModifier, x);
}

void TfMainFree::MainoscopeMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x) {
    repeater_->MouseUp(button, mods & Qt::ControlModifier, x);
}

void TfMainFree::MainoscopePostPaint() {
    if (!waveView_)
        return;
    waveView_->PaintOverlay();
    // A marked sentence: a small red wedge hanging from the top at its start.
    view::TOscopeCanvas &canvas = Mainoscope->Canvas();
    canvas.SetPenMode(view::TPenMode::Copy);
    canvas.SetPenWidth(1);
    canvas.SetPenColor(0x0000FF);
    for (const int32_t x : MarkColumnsInView(study_->MarkedStarts(), repeater_->View().ViewOffset(), Mainoscope->width()))
        for (int32_t row = 0; row < 4; ++row) {
            canvas.MoveTo(x - 3 + row, row);
            canvas.LineTo(x + 4 - row, row);
        }
    canvas.SetPenMode(view::TPenMode::NotXor);
}

void TfMainFree::MainoscopePcmOverflow() { Mainoscope->SetGain(-1); }

void TfMainFree::sliderTrack() { repeater_->SliderTrack(slider->Position()); }

void TfMainFree::sliderChange() {
    // The window's own setting of the position is no event of the user's.
    if (!applying_)
        repeater_->SliderChange(slider->Position());
}

void TfMainFree::sl_speedChange() {
    if (applying_)
        return;
    focusProgressSlider();
    repeater_->SetSpeed(sl_speed->Position());
}

void TfMainFree::sl_speedTrackEnd() { repeater_->SpeedTrackEnd(); }

void TfMainFree::Image1Click() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(platform::ReadmePath())));
}

void TfMainFree::focusProgressSlider() {
    if (slider->isEnabled() && slider->isVisible())
        slider->setFocus();
}

void TfMainFree::closeEvent(QCloseEvent *e) {
    // A load still sampling ends with the window: its workers are stopped here.
    repeater_->CancelLoad();
    study_->Flush();
    e->accept();
}

} // namespace vorel::app
