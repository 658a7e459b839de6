// The repeater's state record, its texts and the playback and repeat controller:
// what is played, how often, with which pause after each reading, what comes next.
#include "repeater.h"

#include <algorithm>
#include <cstdlib>

#include "repeatrules.h"
#include "lrcwriter.h"
#include "player.h"
#include "tailrule.h"

namespace vorel::repeater {

namespace {
constexpr int32_t Col = audio::MsPerColumn;

// The last component of a path, as the info line names files.
std::string fileNameOf(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
const char *const Banner = "Vorel语言复读机：打开一个录音，逐句复读，可变速，可按停顿自动断句";
} // namespace

TRepeater::TRepeater(IPlayer &player, IClock &clock, int32_t stripWidth, QObject *parent)
    : QObject(parent), player_(player), clock_(clock), repeatIndex_(DefaultRepeatIndex),
      pauseIndex_(DefaultPauseIndex), notice_(Banner), speedHint_(SpeedHint(0)) {
    v_.Width = stripWidth;
}

// The load's workers are joined before anything they read goes.
TRepeater::~TRepeater() { load_.reset(); }

int32_t TRepeater::repeatCountNow() const { return RepeatCount(repeatIndex_); }

int32_t TRepeater::PauseLengthNow() const { return PauseLength(pauseIndex_, rangeLength_); }

int32_t TRepeater::ReadingStopMs(int32_t end) const {
    return segment::ReadingStopMs(lesson_.samples, lesson_.silenceLevel, end, lesson_.columnMs);
}

TReport TRepeater::Report() const {
    TReport r;
    r.status = status_;
    r.notice = notice_;
    r.repeatLabel = RepeatLabel(std::max(readCount_, 1), repeatCountNow()); // 0 only before a load
    r.timeLabel = timeLabel_;
    r.speedHint = speedHint_;
    const bool countdown = clock_.IsActive(TTimer::Pause);
    // Stop and pause act on a player that has started and neither stopped nor
    // reached the end of the file, and on a running countdown.
    r.enabled.stop = r.enabled.pause = playerActive_ || countdown;
    r.enabled.prev = r.enabled.next = everStarted_ && (sentenceCount() > 0 || load_);
    r.enabled.slider = hasFile();
    r.playback = countdown ? TPlayback::PauseCountdown
                 : paused_ ? TPlayback::Paused
                 : playing_ ? TPlayback::Playing
                            : TPlayback::Stopped;
    r.mode = repeatMode_;
    r.repeatIndex = repeatIndex_;
    r.pauseIndex = pauseIndex_;
    r.speed = speed_;
    r.sentence = curSentence_;
    r.sentenceCount = sentenceCount();
    r.lastReadingFinished = lastReadingFinished_;
    r.busy = busy_;
    r.loading = load_ != nullptr;
    r.waiting = waitFor_ >= 0;
    r.held = !countdown && !playing_ && !paused_ && ((resumeArmed_ && playerActive_) || status_ == "暂停...");
    r.viewOffset = v_.ViewOffset;
    std::tie(r.highlightFirst, r.highlightLast) = v_.Highlight();
    r.playColumn = v_.PlayColumn;
    r.playLineShown = playLineShown_ && v_.PlayColumn > 0;
    r.waveGeneration = waveGeneration_;
    r.growGeneration = growGeneration_;
    r.knownSamples = static_cast<int64_t>(lesson_.samples.size());
    r.sliderPosition = sliderPosition_;
    r.sliderMax = hasFile() ? lesson_.info.duration : 1;
    r.pauseGaugeProgress = pauseGaugeProgress_;
    r.pauseGaugeMax = pauseGaugeMax_;
    r.samplingPercent = samplingPercent_;
    return r;
}

// --- texts ---

void TRepeater::setStatus(const std::string &text) {
    status_ = text;
    emit Traced("status", text);
}

void TRepeater::ShowNotice(const std::string &text) {
    TBatch batch(*this);
    if (text.empty()) {
        showFileInfo();
        return;
    }
    notice_ = text;
    emit Traced("notice", text);
}

void TRepeater::showFileInfo() {
    const std::string base = fileNameOf(lesson_.fileName);
    const audio::TChannelInfo &i = lesson_.info;
    ShowNotice(" 时长:" + audio::FormatTime(i.duration) + " 声道:" + std::to_string(i.channels) + " 采样率:" +
               std::to_string(i.libInfo.freq) + " 文件:" + base);
}

void TRepeater::setTimeLabel(int32_t ms) {
    timeLabel_ = audio::FormatTime(ms) + " / " + audio::FormatTime(lesson_.info.duration);
}

// --- timers and the player's events ---

void TRepeater::stopPlayTimers() {
    clock_.Stop(TTimer::Play);
    clock_.Stop(TTimer::ShowPos);
    clock_.Stop(TTimer::Pause);
    playing_ = false;
    paused_ = false;
}

void TRepeater::cancelPauseCountdown() {
    clock_.Stop(TTimer::Pause);
    pauseGaugeProgress_ = 0;
}

void TRepeater::PlayerStarted() {
    TBatch batch(*this);
    setStatus("开始播放");
    v_.PlayColumn = 0;
    playing_ = true;
    paused_ = false;
    playerActive_ = everStarted_ = true;
    clock_.Start(TTimer::Play);
    clock_.Stop(TTimer::ShowPos);
}

void TRepeater::PlayerPaused() {
    TBatch batch(*this);
    setStatus("暂停...");
    ShowNotice("");
    paused_ = true;
    playing_ = true;
    clock_.Start(TTimer::ShowPos);
    clock_.Stop(TTimer::Play);
}

void TRepeater::PlayerResumed() {
    TBatch batch(*this);
    setStatus("恢复播放");
    ShowNotice("");
    paused_ = false;
    playing_ = true;
    playLineShown_ = true;
    clock_.Stop(TTimer::ShowPos);
    clock_.Start(TTimer::Play);
}

void TRepeater::PlayerStopped() {
    TBatch batch(*this);
    setStatus("结束播放");
    player_.Stop();
    stopPlayTimers();
    playerActive_ = false;
}

void TRepeater::SegmentEnded() {
    TBatch batch(*this);
    setStatus("本段播放结束");
    stopPlayTimers();
    fileEnded_ = false;
    afterReading();
}

void TRepeater::FileEnded() {
    TBatch batch(*this);
    setStatus("文件播放结束");
    stopPlayTimers();
    fileEnded_ = true;
    // The player has stopped by itself: nothing is left to stop or pause.
    playerActive_ = false;
    afterReading();
}

void TRepeater::Timer_ShowPosTimer() {
    TBatch batch(*this);
    if (clock_.IsActive(TTimer::Play)) {
        clock_.Stop(TTimer::ShowPos);
        return;
    }
    if (v_.PlayColumn > 0)
        playLineShown_ = !playLineShown_;
}

void TRepeater::Timer_playTimer() {
    if (!playing_ || paused_ || !hasFile())
        return;
    TBatch batch(*this);
    const int32_t pos = player_.PositionMs();
    v_.PlayColumn = pos / Col - v_.ViewOffset;
    v_.CursorMs = pos;
    playLineShown_ = true;
    // The view follows the line: the stored range keeps its times as the columns move.
    if (v_.PlayColumn > v_.Width - 5 || v_.PlayColumn < 0) {
        const int32_t shift = v_.PlayColumn < 0 ? v_.ScrollBack() : v_.ScrollForward();
        v_.PlayColumn += shift;
        setRange(rangeX1_ + shift, rangeX2_ + shift);
    }
    // The player reads on past the range end; during that tail the position
    // already lies in the next sentence, which must not become current before the
    // reading has ended: a repeat replays this sentence, an advance goes one on.
    const bool inTail = pos >= rangeEnd_;
    int32_t start = 0, end = 0;
    const int32_t found = lesson_.segments->Count() > 0 ? lesson_.segments->FindSentence(pos, start, end) : -1;
    if (!inTail && found != -1 && found != lastSeenSentence_) {
        lastSeenSentence_ = found;
        selectSentence(found);
    }
    if (!inTail && repeatMode_ == 0 && found != -1 && end > start && (pos < followStart_ || pos >= followEnd_)) {
        followStart_ = start;
        followEnd_ = end;
        markRange(start / Col - v_.ViewOffset, end / Col - v_.ViewOffset);
    }
    sliderPosition_ = pos;
    setTimeLabel(pos);
}

void TRepeater::timer_pauseTimer() {
    TBatch batch(*this);
    timerPauseTag_ += TimerIntervalMs(TTimer::Pause);
    if (timerPauseTag_ - pauseGaugeProgress_ > pauseGaugeMax_ / 50)
        pauseGaugeProgress_ = std::min(timerPauseTag_, pauseGaugeMax_);
    if (timerPauseTag_ < PauseLengthNow())
        return;
    pauseGaugeProgress_ = pauseGaugeMax_;
    if (useStoredRange_)
        startReading(rangeStart_, rangeEnd_);
    else
        startReading((v_.ViewOffset + v_.SelStart) * Col, (v_.ViewOffset + v_.SelEnd) * Col);
    timerPauseTag_ = 0;
    clock_.Stop(TTimer::Pause);
    pauseGaugeProgress_ = 0;
    setStatus("定时自动播放");
}

// --- readings ---

void TRepeater::startReading(int32_t start, int32_t end) {
    fileEnded_ = false;
    const int32_t minimum = repeatMode_ == 0 ? 0 : 400;
    if (std::abs(static_cast<int64_t>(end) - start) <= minimum || start < 0) {
        ShowNotice("断点间隔太短，不能播放。");
        return;
    }
    player_.SetTempo(speed_);
    rangeLength_ = end - start;
    rangeStart_ = start;
    rangeEnd_ = end;
    followStart_ = start;
    followEnd_ = end;
    // Whatever starts a reading ends a countdown still running for another one.
    cancelPauseCountdown();
    lastReadingFinished_ = false;
    player_.PlayRange(start, ReadingStopMs(end));
    resumeArmed_ = false;
    emit Traced("read", std::to_string(start) + " " + std::to_string(end) + " " + std::to_string(readCount_));
    sliderPosition_ = rangeStart_;
    setTimeLabel(rangeStart_);
}

void TRepeater::restartRange(int32_t start, int32_t end) {
    readCount_ = 1;
    markRange(start / Col - v_.ViewOffset, end / Col - v_.ViewOffset);
    v_.PlayColumn = 0;
    startReading(rangeStart_, rangeEnd_);
}

bool TRepeater::goToSentence(int32_t i) {
    if (i < 0 || i >= sentenceCount())
        return false;
    selectSentence(i);
    markSentence(i);
    if (v_.SelStart < 0 || v_.SelStart > v_.Width) {
        // Re-base the view so that the sentence starts near its left edge.
        const int32_t length = v_.SelEnd - v_.SelStart;
        v_.ViewOffset += v_.SelStart;
        const int32_t g = std::min(v_.ViewOffset, 10);
        v_.ViewOffset -= g;
        markRange(g, g + length);
    }
    return true;
}

void TRepeater::jumpToSentence(int32_t i) {
    if (i < 0)
        return;
    v_.PlayColumn = 0;
    cancelPauseCountdown();
    player_.Stop();
    if (!goToSentence(i))
        return;
    readCount_ = 1;
    startReading(rangeStart_, rangeEnd_);
}

bool TRepeater::afterReading() {
    v_.PlayColumn = 0;
    ++readCount_;
    if (readCount_ > repeatCountNow()) {
        lastReadingFinished_ = true;
        emit LastReadingFinished(curSentence_);
        if (!advanceSentence())
            return false;
    }
    if (repeatMode_ != 0 && std::abs(v_.SelEnd - v_.SelStart) < 5 &&
        (fileEnded_ || std::abs(static_cast<int64_t>(rangeEnd_) - rangeStart_) < 200))
        return true;
    startPauseAfterReading();
    return true;
}

bool TRepeater::advanceSentence() {
    readCount_ = 1;
    if (repeatMode_ == 0) {
        if (curSentence_ >= sentenceCount() - 1) {
            // The file is still being sampled: the next sentence follows once found.
            if (load_)
                waitForSentence(curSentence_ + 1, true);
            return false;
        }
        return goToSentence(curSentence_ + 1);
    }
    const int32_t e = endOfFileColumn();
    if (e == rangeX2_)
        return false;
    if (useStoredRange_) {
        setRange(v_.SelEnd, e);
        v_.SelStart = v_.SelEnd = 0;
    } else {
        markRange(v_.SelEnd, e);
    }
    return true;
}

void TRepeater::startPauseAfterReading() {
    const int rule = pauseIndex_;
    if (rule == PauseNone) {
        timer_pauseTimer();
    } else if (rule == PauseWait) {
        setStatus("暂停...");
    } else if (rule >= 2 && rule < static_cast<int>(PauseRuleItems().size())) {
        setStatus("");
        pauseGaugeMax_ = std::max(PauseLengthNow(), 1);
        pauseGaugeProgress_ = std::min(pauseGaugeProgress_, pauseGaugeMax_);
        timerPauseTag_ = 0;
        clock_.Start(TTimer::Pause);
    }
}

// --- the operations ---

void TRepeater::Play() {
    if (busy_)
        return;
    TBatch batch(*this);
    if (!hasFile()) {
        // Nothing to play: say so rather than refuse a range of nothing.
        ShowNotice("请先打开一个音频文件（WAV或MP3）。");
        return;
    }
    if (!player_.HasOutput())
        ShowNotice(audio::NoSoundOutputNotice);
    waitFor_ = -1;
    if (paused_) {
        player_.Resume();
        return;
    }
    cancelPauseCountdown();
    if (load_ && repeatMode_ == 0 && sentenceCount() == 0) {
        // Nothing is known yet to read as a sentence: the first one, once found.
        waitForSentence(0, false);
        return;
    }
    startReading(rangeStart_, rangeEnd_);
}

void TRepeater::Pause() {
    if (busy_ || !hasFile())
        return;
    TBatch batch(*this);
    if (clock_.IsActive(TTimer::Pause)) {
        resumeArmed_ = true;
        cancelPauseCountdown();
    } else if (paused_) {
        player_.Resume();
    } else if (!resumeArmed_) {
        player_.Pause();
    } else {
        startReading(rangeStart_, rangeEnd_);
        resumeArmed_ = false;
    }
}

void TRepeater::Stop() {
    if (busy_)
        return;
    TBatch batch(*this);
    waitFor_ = -1;
    ShowNotice("当前音频文件已停止播放");
    v_.PlayColumn = 0;
    cancelPauseCountdown();
    player_.Stop();
}

void TRepeater::Previous() {
    if (busy_ || curSentence_ <= 0)
        return;
    TBatch batch(*this);
    waitFor_ = -1;
    jumpToSentence(curSentence_ - 1);
}

void TRepeater::Next() {
    if (busy_ || (sentenceCount() == 0 && !load_))
        return;
    TBatch batch(*this);
    if (load_ && curSentence_ >= sentenceCount() - 1) {
        // Past the sentences found so far: the next one is read once it is found.
        const int32_t next = std::max(curSentence_, waitFor_) + 1;
        v_.PlayColumn = 0;
        cancelPauseCountdown();
        player_.Stop();
        waitForSentence(next, false);
        return;
    }
    waitFor_ = -1;
    jumpToSentence(curSentence_ >= sentenceCount() - 1 ? 0 : curSentence_ + 1);
}

void TRepeater::ChooseSentence(int32_t i) {
    if (busy_ || i < 0 || i >= sentenceCount())
        return;
    TBatch batch(*this);
    waitFor_ = -1;
    v_.PlayColumn = 0;
    cancelPauseCountdown();
    player_.Stop();
    goToSentence(i);
    readCount_ = 1;
}

void TRepeater::PlaySentence(int32_t i) {
    if (busy_ || i < 0 || i >= sentenceCount())
        return;
    TBatch batch(*this);
    waitFor_ = -1;
    jumpToSentence(i);
}

void TRepeater::SetMode(int mode) {
    TBatch batch(*this);
    // The mode only changes with a file loaded; the report keeps the mode in force.
    if (!hasFile() || busy_ || mode == repeatMode_ || mode < 0 || mode > 2)
        return;
    // A countdown of the old mode must not replay into the new one.
    cancelPauseCountdown();
    waitFor_ = -1;
    if (mode == 0) {
        repeatMode_ = 0;
        int32_t start = 0, end = 0;
        int32_t found = lesson_.segments->FindSentence(v_.CursorMs, start, end);
        if (found == -1 && sentenceCount() > 0) {
            // Past the last breakpoint (the file has ended): the last sentence.
            found = sentenceCount() - 1;
            start = lesson_.segments->Items(found).TimeMs;
            end = lesson_.segments->Items(found + 1).TimeMs;
        }
        selectSentence(found);
        restartRange(start, end);
    } else {
        repeatMode_ = mode;
        restartRange((std::max(v_.PlayColumn, v_.SelStart) + v_.ViewOffset) * Col,
                     (endOfFileColumn() + v_.ViewOffset) * Col);
        repeatIndex_ = 0; // 永远
    }
}

void TRepeater::SetRepeatIndex(int index) {
    TBatch batch(*this);
    repeatIndex_ = index;
    readCount_ = 1;
}

void TRepeater::SetPauseIndex(int index) {
    TBatch batch(*this);
    pauseIndex_ = index;
    if (!hasFile() || !clock_.IsActive(TTimer::Pause))
        return;
    // The countdown starts again under the new rule.
    clock_.Stop(TTimer::Pause);
    setStatus("");
    pauseGaugeProgress_ = 0;
    startPauseAfterReading();
}

void TRepeater::SetSpeed(int percent) {
    TBatch batch(*this);
    speed_ = percent;
    if (!hasFile() || !player_.HasFile())
        return;
    player_.SetTempo(percent);
    speedHint_ = SpeedHint(percent);
    ShowNotice(SpeedNotice(percent));
}

void TRepeater::SpeedTrackEnd() {
    if (hasFile())
        ShowNotice("");
}

// --- ranges and sentences ---

void TRepeater::setRange(int32_t c1, int32_t c2) {
    rangeX1_ = c1;
    rangeX2_ = c2;
    rangeStart_ = (c1 + v_.ViewOffset) * Col;
    rangeEnd_ = (c2 + v_.ViewOffset) * Col;
}

void TRepeater::markRange(int32_t c1, int32_t c2) {
    v_.SelStart = c1;
    v_.SelEnd = c2;
    v_.CursorColumn = v_.SelStart;
    v_.UpdateTimes();
    setRange(v_.SelStart, v_.SelEnd);
}

void TRepeater::markSentence(int32_t i) {
    const segment::TSegmentList &s = *lesson_.segments;
    markRange(s.Items(i).TimeMs / Col - v_.ViewOffset, s.Items(i + 1).TimeMs / Col - v_.ViewOffset);
}

int32_t TRepeater::endOfFileColumn() const { return lesson_.info.pointCount - v_.ViewOffset; }

void TRepeater::selectSentence(int32_t i) {
    if (i == curSentence_)
        return;
    ShowNotice("");
    curSentence_ = i;
    traceText();
}

void TRepeater::traceText() {
    if (curSentence_ >= 0 && curSentence_ < sentenceCount() && !lesson_.segments->Items(curSentence_).Text.empty())
        emit Traced("text", lesson_.segments->Items(curSentence_).Text);
}

void TRepeater::SaveBreakpoints(const std::string &path) {
    if (!hasFile() || busy_)
        return;
    TBatch batch(*this);
    if (load_) {
        // A list still growing would be written cut short.
        ShowNotice("文件还在采样，请稍后再保存断点。");
        return;
    }
    segment::SaveLrcFile(*lesson_.segments, path);
    // The list now holds the times as the file holds them; rounding may have
    // joined two breakpoints.
    curSentence_ = std::min(curSentence_, std::max(0, sentenceCount() - 1));
    redraw();
    setStatus(SentenceCountText(sentenceCount()));
    traceBreakpoints();
    ShowNotice("断点已保存到" + fileNameOf(path) + "（时间取到百分之一秒）");
}

void TRepeater::traceBreakpoints() {
    std::string list;
    for (int32_t i = 0; i < lesson_.segments->Count(); ++i)
        list += (i ? " " : "") + std::to_string(lesson_.segments->Items(i).TimeMs);
    emit Traced("break", list);
}

// --- loading ---

namespace {

// A lesson built whole by a loader: known at once, finished at the first poll.
class TWholeLesson : public ILessonSource {
public:
    TWholeLesson(std::function<TLesson()> build) : build_(std::move(build)) {}
    TLesson Begin() override { return build_(); }
    TGrowth Poll(TLesson &lesson) override {
        TGrowth g;
        g.finished = true;
        g.notice = lesson.notice;
        return g;
    }
    int32_t Percent() const override { return 100; }
    int32_t KnownSentences(const TLesson &lesson) const override { return lesson.SentenceCount(); }

private:
    std::function<TLesson()> build_;
};

const char *const LoadingStatus = "文件处理";
const char *const WaitingStatus = "正在查找下一句...";

} // namespace

void TRepeater::LoadAudioFile(const std::string &file, const TLoader &loader) {
    OpenAudioFile(file, [this, &loader](const std::string &path) -> std::unique_ptr<ILessonSource> {
        return std::make_unique<TWholeLesson>([this, &loader, path] {
            return loader(path, [this](int32_t percent) {
                samplingPercent_ = percent >= 100 ? -1 : percent;
                emit Changed();
            });
        });
    });
}

void TRepeater::CancelLoad() {
    if (!load_)
        return;
    TBatch batch(*this);
    load_.reset();
    clock_.Stop(TTimer::Load);
    samplingPercent_ = -1;
    waitFor_ = -1;
}

void TRepeater::OpenAudioFile(const std::string &file, const TSourceStarter &starter) {
    if (busy_)
        return;
    TBatch batch(*this);
    // A load still running goes first: its workers must not outlive its lesson.
    load_.reset();
    clock_.Stop(TTimer::Load);
    waitFor_ = -1;
    player_.Stop();
    stopPlayTimers();
    cancelPauseCountdown();
    timerPauseTag_ = 0;
    v_.PlayColumn = 0;
    const std::string statusBefore = status_, noticeBefore = notice_;
    busy_ = true;
    samplingPercent_ = 0;
    struct TDone {
        TRepeater &r;
        ~TDone() { r.busy_ = false; }
    } done{*this};
    setStatus(LoadingStatus);
    ShowNotice("正在对音频文件进行采样...");
    emit Changed(); // shown before the work begins

    TLesson fresh;
    std::unique_ptr<ILessonSource> source;
    bool playerOpened = false;
    try {
        source = starter(file);
        fresh = source->Begin();
        playerOpened = true;
        player_.Open(file);
    } catch (...) {
        source.reset();
        samplingPercent_ = -1;
        // The lesson in use stays; the player gets its file back.
        if (playerOpened && hasFile()) {
            try {
                player_.Open(lesson_.fileName);
            } catch (...) {
                lesson_ = TLesson{};
                v_.SetSource(0, 0, lesson_.segments.get());
                redraw();
            }
        }
        setStatus(statusBefore);
        notice_ = noticeBefore;
        throw;
    }

    lesson_ = std::move(fresh);
    load_ = std::move(source);
    v_.SetSource(lesson_.info.pointCount, static_cast<int64_t>(lesson_.samples.size()), lesson_.segments.get());
    v_.ResetView();
    redraw();
    useStoredRange_ = false;
    selectSentence(-1);
    prepareFirstRange();
    firstRangePending_ = sentenceCount() < 1;
    v_.PlayColumn = 0;
    lastSeenSentence_ = 0;
    sliderPosition_ = 0;
    timeLabel_ = "00:00 / " + audio::FormatTime(lesson_.info.duration);
    player_.SetTempo(speed_);
    showFileInfo();
    readCount_ = 1;
    busy_ = false;
    // The lesson is in use from here; a breakpoint or subtitle file's texts are all known.
    emit Traced("open", file + " " + std::to_string(lesson_.info.duration));
    // What the file gave at once may already be all there is.
    pollLoad();
    if (load_) {
        if (!lesson_.notice.empty())
            ShowNotice(lesson_.notice);
        clock_.Start(TTimer::Load);
    }
}

void TRepeater::Timer_loadTimer() {
    if (!load_) {
        clock_.Stop(TTimer::Load);
        return;
    }
    TBatch batch(*this);
    pollLoad();
}

void TRepeater::pollLoad() {
    if (!load_)
        return;
    // Kept by time where the list is replaced.
    const bool hasCurrent = curSentence_ >= 0 && curSentence_ < lesson_.segments->Count();
    const int32_t curStart = hasCurrent ? lesson_.segments->Items(curSentence_).TimeMs : -1;
    const std::string curText = hasCurrent ? lesson_.segments->Items(curSentence_).Text : "";
    TGrowth g;
    std::string failure;
    try {
        g = load_->Poll(lesson_);
    } catch (const std::exception &e) {
        // What was sampled before the error stays usable; the list ends there.
        failure = std::string("采样中断：") + e.what();
        g.finished = true;
        if (lesson_.segments->Count() > 0) {
            const int32_t end = static_cast<int32_t>(lesson_.samples.size()) * Col;
            if (end > lesson_.segments->Items(lesson_.segments->Count() - 1).TimeMs)
                lesson_.segments->Add({end, segment::TSegmentList::MakeStamp(end), "", ""});
            g.breakpoints = true;
        }
    }
    if (g.samples || g.breakpoints || g.replaced) {
        v_.SampleCount = static_cast<int64_t>(lesson_.samples.size());
        ++growGeneration_;
    }
    if (g.replaced)
        redraw();
    if (g.finished) {
        load_.reset();
        clock_.Stop(TTimer::Load);
        samplingPercent_ = -1;
    } else {
        samplingPercent_ = load_->Percent();
    }
    if (g.replaced && curStart >= 0) {
        int32_t start = 0, end = 0;
        const int32_t found = lesson_.segments->FindSentence(curStart, start, end);
        if (found >= 0 && found < sentenceCount()) {
            curSentence_ = found;
            lastSeenSentence_ = found;
            // Texts that came with the new list (an aligned transcript) are shown at once.
            if (lesson_.segments->Items(found).Text != curText)
                traceText();
            // A reading under way ends as it began; a stopped one takes the new bounds.
            if (repeatMode_ == 0 && !playerActive_ && !clock_.IsActive(TTimer::Pause))
                markSentence(found);
        }
    }
    if (firstRangePending_ && sentenceCount() >= 1) {
        firstRangePending_ = false;
        // Nobody has chosen anything yet: the first sentence, as a finished load prepares it.
        if (!playerActive_ && !clock_.IsActive(TTimer::Pause) && waitFor_ < 0) {
            curSentence_ = -1;
            prepareFirstRange();
        }
    }
    resolveWait();
    if (g.finished)
        finishLoad(failure.empty() ? g.notice : failure);
}

void TRepeater::finishLoad(const std::string &notice) {
    // The status keeps what playback says; a quiet window shows the count.
    if (status_ == LoadingStatus || status_ == WaitingStatus)
        setStatus(SentenceCountText(sentenceCount()));
    if (!notice.empty())
        ShowNotice(notice);
    emit Traced("load", lesson_.fileName + " " + std::to_string(lesson_.info.duration) + " " +
                            std::to_string(sentenceCount()));
    traceBreakpoints();
}

void TRepeater::waitForSentence(int32_t i, bool advance) {
    waitFor_ = i;
    waitAdvance_ = advance;
    setStatus(WaitingStatus);
}

void TRepeater::resolveWait() {
    if (waitFor_ < 0 || (load_ && waitFor_ >= sentenceCount()))
        return;
    int32_t i = waitFor_;
    waitFor_ = -1;
    if (i >= sentenceCount()) {
        // The load ended without it: the wait ends as that step would have.
        if (waitAdvance_ || sentenceCount() == 0) {
            setStatus(SentenceCountText(sentenceCount()));
            return;
        }
        i = 0; // next from the last sentence goes round to the first
    }
    if (waitAdvance_) {
        if (goToSentence(i))
            startPauseAfterReading();
    } else {
        jumpToSentence(i);
    }
}

void TRepeater::prepareFirstRange() {
    if (sentenceCount() < 1) {
        markRange(0, lesson_.info.pointCount);
        return;
    }
    selectSentence(0);
    if (repeatMode_ == 0) {
        markSentence(0);
    } else {
        // The whole file is the stored range while nothing is highlighted.
        markRange(0, lesson_.info.pointCount);
        useStoredRange_ = true;
        v_.SelStart = v_.SelEnd = 0;
    }
}

} // namespace vorel::repeater
