// The shadowing panel under the transcript's rows: the "跟读" switch, what plays after a take, the
// button that deletes the sentence's takes, and the comparison of the last take
// with its sentence, whose lanes play the sentence, the take, or both in turn on a
// channel of their own (the lesson's place is left alone). GUI thread.
#pragma once

#include <QTimer>
#include <QWidget>

#include <string>
#include <vector>

#include "compareview.h"
#include "takeplayer.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace vorel::app {

// The files a click on a lane of the comparison plays, in order.
std::vector<std::string> LaneFiles(int lane, const std::string &sentenceFile, const std::string &takeFile);

inline const char *const DeleteTakesText = "删除本句录音";

class TShadowPanel : public QWidget {
    Q_OBJECT
public:
    explicit TShadowPanel(QWidget *parent);

    // The comparison of a take (kept at takeFile) with its sentence starting at startMs.
    void Show(view::TCompareData data, int32_t startMs, const std::string &takeFile);
    // Shows the comparison and the replay choice while shadowing is on (the switch
    // itself is the owner's to set: the microphone may be missing).
    void SetShadowing(bool on);
    // Empties the comparison (the sentence's takes are gone, another lesson).
    void Clear();
    // The sentence shown (-1: none).
    int32_t ShownStart() const { return shownStart_; }
    const std::vector<std::string> &Queue() const { return queue_; }

    QCheckBox *shadowBox = nullptr;
    QComboBox *replayBox = nullptr;
    QPushButton *deleteButton = nullptr;
    QLabel *hintLabel = nullptr;
    view::TCompareView *compare = nullptr;

signals:
    void replayChosen(int index); // a TReplay
    void deleteRequested();

private:
    void play(int lane);
    void playNext();

    QLabel *title_ = nullptr;
    audio::TTakePlayer player_;
    QTimer timer_;
    std::vector<std::string> queue_;
    std::string sentenceFile_, takeFile_;
    int32_t shownStart_ = -1;
};

} // namespace vorel::app
