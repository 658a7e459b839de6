// Shadowing wired to the window: the "跟读" switch hands the repeater the
// microphone's takes, a kept take fills the comparison in the transcript window,
// and its panel chooses what plays after a take and deletes a sentence's takes.
#include "mainwindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>

#include "comparedata.h"
#include "guard.h"
#include "pcmsource.h"
#include "shadowpanel.h"
#include "shadowtakes.h"
#include "studykeeper.h"
#include "studystore.h"
#include "trace.h"
#include "transcriptwindow.h"

namespace vorel::app {

namespace {
// The recording a comparison reads its sentences from, opened once per lesson.
struct TSentenceSource {
    std::string path;
    std::unique_ptr<exports::IPcmSource> source;
};
} // namespace

void TfMainFree::CreateShadowing() {
    const std::string folder = study::TStudyStore::DefaultFolder() + "/takes";
    shadowTakes_ = std::make_unique<TShadowTakes>(*repeater_, folder, [this] {
        return study_ && study_->Lesson() ? study_->Lesson()->hash : std::string();
    });

    shadowPanel = new TShadowPanel(transcript);
    if (auto *layout = qobject_cast<QVBoxLayout *>(transcript->layout()))
        layout->insertWidget(1, shadowPanel); // under the rows
    connect(shadowPanel->shadowBox, &QCheckBox::toggled, this,
            [this](bool on) { Guard([&] { ShadowingToggled(on); }); });
    // F3 in either window: the switch is in reach while the main window has the keys.
    for (QWidget *w : std::initializer_list<QWidget *>{this, transcript})
        connect(new QShortcut(QKeySequence(Qt::Key_F3), w), &QShortcut::activated, shadowPanel->shadowBox,
                &QCheckBox::toggle);
    connect(shadowPanel, &TShadowPanel::replayChosen, this,
            [this](int i) { repeater_->SetReplay(static_cast<repeater::TReplay>(i)); });
    connect(shadowPanel, &TShadowPanel::deleteRequested, this, [this] { Guard([&] { DeleteShownTakes(); }); });

    auto sentences = std::make_shared<TSentenceSource>();
    connect(shadowTakes_.get(), &TShadowTakes::TakeKept, this,
            [this, sentences](int32_t startMs, int32_t endMs, const std::vector<int16_t> &take) {
                Guard([&] {
                    const repeater::TLesson *lesson = repeater_->Lesson();
                    if (!lesson)
                        return;
                    if (sentences->path != lesson->fileName || !sentences->source) {
                        sentences->source = exports::OpenRecording(lesson->fileName);
                        sentences->path = lesson->fileName;
                    }
                    const exports::TPcm pcm = sentences->source->Read(startMs, endMs);
                    shadowPanel->Show(BuildCompareData(MonoOf(pcm.samples, pcm.channels), uint32_t(pcm.sampleRate),
                                                       take, TShadowTakes::Rate, shadowTakes_->TakeCount(startMs)),
                                      startMs, shadowTakes_->LastTake());
                });
            });
    // Another lesson: the comparison was of the last one.
    connect(repeater_.get(), &repeater::TRepeater::Traced, this, [this](const std::string &kind, const std::string &) {
        if (kind == "open")
            shadowPanel->Clear();
    });
}

void TfMainFree::ShadowingToggled(bool on) {
    if (on && !shadowTakes_->Probe()) {
        const QSignalBlocker quiet(shadowPanel->shadowBox);
        shadowPanel->shadowBox->setChecked(false);
        repeater_->ShowNotice(audio::NoCaptureNotice);
        return;
    }
    repeater_->SetShadowing(on ? shadowTakes_.get() : nullptr);
    Trace("take", on ? "shadowing on" : "shadowing off");
    // The comparison comes in under the rows: the window grows by it rather than
    // squeezing the rows, and gives the room back when it goes.
    if (on == shadowPanel->compare->isHidden()) {
        const int grow = shadowPanel->compare->minimumHeight() + shadowPanel->hintLabel->sizeHint().height();
        transcript->resize(transcript->width(), transcript->height() + (on ? grow : -grow));
    }
    shadowPanel->SetShadowing(on);
}

void TfMainFree::DeleteShownTakes() {
    const repeater::TLesson *lesson = repeater_->Lesson();
    if (!lesson)
        return;
    const repeater::TReport r = repeater_->Report();
    const int32_t start = shadowPanel->ShownStart() >= 0 ? shadowPanel->ShownStart()
                          : r.sentence < r.sentenceCount ? lesson->segments->Items(r.sentence).TimeMs
                                                         : -1;
    if (start < 0)
        return;
    const int n = shadowTakes_->DeleteTakes(start);
    shadowPanel->Clear();
    repeater_->ShowNotice("已删除这一句的" + std::to_string(n) + "个跟读录音");
}

} // namespace vorel::app
