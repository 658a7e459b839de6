// Shadowing over the microphone: the repeater's takes (ITakes) made real. The
// capture opens when a reading starts, so that the take begins the moment the
// reading ends; a 20 ms timer feeds the take recorder, which ends the take once
// the learner has spoken and then been silent; the take, trimmed to its speech,
// is kept in the take store under the lesson's key and the sentence's start, and
// plays on a channel of its own. The microphone is closed again once the take has
// ended. GUI thread only.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture.h"
#include "ports.h"
#include "takeplayer.h"
#include "takerecorder.h"
#include "takestore.h"

namespace vorel::repeater {
class TRepeater;
} // namespace vorel::repeater

namespace vorel::app {

// The take store's key of a sentence: the lesson's key (letters and digits of its
// fingerprint, at most 40) and the sentence's start in ms.
std::string TakeKey(const std::string &lessonHash, int32_t sentenceStartMs);

class TShadowTakes : public QObject, public repeater::ITakes {
    Q_OBJECT
public:
    static constexpr uint32_t Rate = 16000; // mono, what pitch and warping need
    static constexpr int PollMs = 20;

    // folder: where the takes are kept; lessonHash gives the lesson in use's key
    // (empty: not known yet, takes are kept under the file's name instead).
    TShadowTakes(repeater::TRepeater &repeater, const std::string &folder, std::function<std::string()> lessonHash);
    ~TShadowTakes() override;

    // Whether a capture device opens (it is closed again at once).
    bool Probe();

    // ITakes
    void Arm() override;
    void StartTake(int32_t startMs, int32_t endMs) override;
    void FinishTake() override;
    bool PlayTake() override;
    void Cancel() override;

    // The takes kept of the sentence starting at startMs in the lesson in use.
    int TakeCount(int32_t startMs) const;
    int DeleteTakes(int32_t startMs);
    // The last take kept and its sentence ([startMs, endMs)); empty path: none.
    const std::string &LastTake() const { return lastTake_; }

signals:
    // A take was kept: its trimmed samples (mono, Rate) and its sentence.
    void TakeKept(int32_t startMs, int32_t endMs, const std::vector<int16_t> &take);

private:
    void poll();
    void endTake();
    void closeCapture();
    std::string keyOf(int32_t startMs) const;

    repeater::TRepeater &repeater_;
    std::function<std::string()> lessonHash_;
    audio::TTakeStore store_;
    audio::TCapture capture_;
    audio::TTakeRecorder recorder_{Rate};
    audio::TTakePlayer player_;
    QTimer poll_;
    QElapsedTimer armed_; // since the capture opened: how far behind its frames run
    std::vector<int16_t> buffer_;
    bool taking_ = false, playing_ = false, noticeShown_ = false;
    int32_t takeStart_ = 0, takeEnd_ = 0;
    std::string lastTake_;
};

} // namespace vorel::app
