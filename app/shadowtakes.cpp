#include "shadowtakes.h"

#include <QCryptographicHash>

#include "repeater.h"
#include "trace.h"

namespace vorel::app {

namespace {
// A take never runs longer than three minutes, whatever the repeater's time to
// speak (the recorder sets aside room for all of it).
constexpr int64_t LongestTakeFrames = int64_t(TShadowTakes::Rate) * 180;
} // namespace

std::string TakeKey(const std::string &lessonHash, int32_t sentenceStartMs) {
    std::string key;
    for (char c : lessonHash)
        if (key.size() < 40 && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            key += c;
    return (key.empty() ? std::string("lesson") : key) + "-" + std::to_string(sentenceStartMs);
}

TShadowTakes::TShadowTakes(repeater::TRepeater &repeater, const std::string &folder,
                           std::function<std::string()> lessonHash)
    : repeater_(repeater), lessonHash_(std::move(lessonHash)), store_(folder) {
    poll_.setInterval(PollMs);
    poll_.setTimerType(Qt::PreciseTimer);
    connect(&poll_, &QTimer::timeout, this, [this] { poll(); });
}

TShadowTakes::~TShadowTakes() {
    player_.Stop();
    closeCapture();
}

bool TShadowTakes::Probe() {
    if (capture_.IsOpen())
        return true;
    const bool ok = capture_.Open(Rate);
    capture_.Close();
    return ok;
}

std::string TShadowTakes::keyOf(int32_t startMs) const {
    std::string hash = lessonHash_ ? lessonHash_() : std::string();
    if (hash.empty()) {
        // No fingerprint (no study store): the file's name stands in.
        const repeater::TLesson *l = repeater_.Lesson();
        hash = QCryptographicHash::hash(QByteArray::fromStdString(l ? l->fileName : ""), QCryptographicHash::Sha256)
                   .toHex()
                   .toStdString();
    }
    return TakeKey(hash, startMs);
}

void TShadowTakes::Arm() {
    if (capture_.IsOpen())
        return;
    if (capture_.Open(Rate)) {
        buffer_.clear();
        armed_.start();
        poll_.start();
        Trace("take", "armed");
    } else if (!noticeShown_) {
        noticeShown_ = true;
        repeater_.ShowNotice(audio::NoCaptureNotice);
    }
}

void TShadowTakes::StartTake(int32_t startMs, int32_t endMs) {
    takeStart_ = startMs;
    takeEnd_ = endMs;
    taking_ = true;
    Arm();
    if (!capture_.IsOpen()) {
        Trace("take", "no capture");
        return; // the time to speak runs out with nothing said
    }
    // What was heard while the sentence played is not the take's: it begins at the
    // newest frame captured now.
    buffer_.clear();
    if (!capture_.Read(buffer_))
        Trace("take", "capture lost");
    buffer_.clear();
    recorder_.Start(capture_.FramesRead(), LongestTakeFrames);
    // The frame the take starts at was heard `behind` ms before now (the capture's
    // buffering): the recording reaches back over the moment the reading ended.
    const int64_t behind = armed_.elapsed() - capture_.FramesRead() * 1000 / Rate;
    Trace("take", "start " + std::to_string(startMs) + " " + std::to_string(endMs) + " at frame " +
                      std::to_string(capture_.FramesRead()) + " behind " + std::to_string(behind) + " ms");
}

void TShadowTakes::poll() {
    if (playing_ && !player_.Playing()) {
        playing_ = false;
        player_.Stop();
        Trace("take", "played");
        repeater_.TakePlayed();
    }
    if (!capture_.IsOpen()) {
        if (!playing_)
            poll_.stop();
        return;
    }
    const int64_t at = capture_.FramesRead();
    buffer_.clear();
    const bool whole = capture_.Read(buffer_);
    if (taking_ && recorder_.Recording() && recorder_.Feed(buffer_.data(), buffer_.size(), at)) {
        endTake();
        return;
    }
    if (!whole && taking_)
        endTake(); // the device went away: what was said so far
    buffer_.clear();
}

void TShadowTakes::FinishTake() {
    if (!taking_)
        return;
    if (capture_.IsOpen() && recorder_.Recording()) {
        const int64_t at = capture_.FramesRead();
        buffer_.clear();
        capture_.Read(buffer_);
        recorder_.Feed(buffer_.data(), buffer_.size(), at);
    }
    endTake();
}

void TShadowTakes::endTake() {
    taking_ = false;
    const std::vector<int16_t> take = recorder_.Trimmed(); // empty when never started
    const audio::TSpeechSpan span = recorder_.SpeechSamples();
    closeCapture();
    std::string path;
    if (!take.empty())
        path = store_.Save(keyOf(takeStart_), take, Rate);
    lastTake_ = path;
    Trace("take", path.empty() ? "nothing kept"
                               : "kept " + std::to_string(take.size()) + " of " + std::to_string(recorder_.Raw().size()) +
                                     " from " + std::to_string(span.first) + " " + path);
    recorder_ = audio::TTakeRecorder(Rate);
    repeater_.TakeEnded(!path.empty());
    if (!path.empty())
        emit TakeKept(takeStart_, takeEnd_, take);
}

bool TShadowTakes::PlayTake() {
    if (lastTake_.empty() || !player_.Play(lastTake_))
        return false;
    playing_ = true;
    poll_.start();
    return true;
}

void TShadowTakes::Cancel() {
    if (taking_)
        Trace("take", "dropped");
    taking_ = false;
    recorder_ = audio::TTakeRecorder(Rate);
    closeCapture();
    playing_ = false;
    player_.Stop();
    poll_.stop();
}

void TShadowTakes::closeCapture() { capture_.Close(); }

int TShadowTakes::TakeCount(int32_t startMs) const { return int(store_.Takes(keyOf(startMs)).size()); }

int TShadowTakes::DeleteTakes(int32_t startMs) {
    const int n = store_.DeleteAll(keyOf(startMs));
    lastTake_.clear();
    return n;
}

} // namespace vorel::app
