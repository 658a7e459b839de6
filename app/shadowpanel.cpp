#include "shadowpanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shadowtakes.h"
#include "takestore.h"
#include "tempfolder.h"
#include "shadowing.h"

namespace vorel::app {

std::vector<std::string> LaneFiles(int lane, const std::string &sentenceFile, const std::string &takeFile) {
    std::vector<std::string> files;
    if (lane == view::TCompareView::SentenceLane || lane == view::TCompareView::AlignedLane)
        files.push_back(sentenceFile);
    if (lane == view::TCompareView::TakeLane || lane == view::TCompareView::AlignedLane)
        files.push_back(takeFile);
    std::erase(files, std::string());
    return files;
}

TShadowPanel::TShadowPanel(QWidget *parent) : QWidget(parent) {
    shadowBox = new QCheckBox("跟读", this);
    shadowBox->setObjectName("shadowBox");
    shadowBox->setFocusPolicy(Qt::ClickFocus);
    shadowBox->setToolTip("每读完一遍，在停顿中说出这一句：录下来，回放，并与原句对比（F3）");
    title_ = new QLabel("回放：", this);
    replayBox = new QComboBox(this);
    for (const std::string &item : repeater::ReplayItems())
        replayBox->addItem(QString::fromStdString(item));
    replayBox->setFocusPolicy(Qt::ClickFocus);
    deleteButton = new QPushButton(DeleteTakesText, this);
    deleteButton->setFocusPolicy(Qt::ClickFocus);
    deleteButton->setToolTip("删除本机保存的这一句的全部跟读录音（录音从不离开本机）");
    hintLabel = new QLabel("点上栏放原句，中栏放录音，下栏先后放两者", this);
    compare = new view::TCompareView(this);
    compare->setMinimumHeight(150);
    auto *row = new QHBoxLayout;
    row->addWidget(shadowBox);
    row->addWidget(title_);
    row->addWidget(replayBox);
    row->addStretch(1);
    row->addWidget(deleteButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(row);
    layout->addWidget(compare, 1);
    layout->addWidget(hintLabel);
    connect(replayBox, &QComboBox::activated, this, [this](int i) { emit replayChosen(i); });
    connect(deleteButton, &QPushButton::clicked, this, [this] { emit deleteRequested(); });
    connect(compare, &view::TCompareView::PlayRequested, this, [this](int lane) { play(lane); });
    SetShadowing(false);
    timer_.setInterval(TShadowTakes::PollMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (!player_.Playing())
            playNext();
    });
}

void TShadowPanel::Show(view::TCompareData data, int32_t startMs, const std::string &takeFile) {
    timer_.stop();
    player_.Stop();
    queue_.clear();
    // The sentence as the view shows it, in a file of its own to play on its own channel.
    audio::TTakeStore scratch(platform::InstanceTempFolder() + "compare", 1);
    sentenceFile_ = scratch.Save("sentence", data.sentence, data.sentenceRate);
    takeFile_ = takeFile;
    shownStart_ = startMs;
    compare->SetData(std::move(data));
}

void TShadowPanel::SetShadowing(bool on) {
    for (QWidget *w : std::initializer_list<QWidget *>{title_, replayBox, compare, hintLabel})
        w->setVisible(on);
}

void TShadowPanel::Clear() {
    timer_.stop();
    player_.Stop();
    queue_.clear();
    sentenceFile_.clear();
    takeFile_.clear();
    shownStart_ = -1;
    compare->SetData({});
}

void TShadowPanel::play(int lane) {
    queue_ = LaneFiles(lane, sentenceFile_, takeFile_);
    player_.Stop();
    playNext();
}

void TShadowPanel::playNext() {
    while (!queue_.empty()) {
        const std::string next = queue_.front();
        queue_.erase(queue_.begin());
        if (player_.Play(next)) {
            timer_.start();
            return;
        }
    }
    timer_.stop();
    player_.Stop();
}

} // namespace vorel::app
