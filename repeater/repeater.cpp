// The repeater's state record, its texts and the playback and repeat controller:
// what is played, how often, with which pause after each reading, what comes next.
#include "repeater.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "repeatrules.h"
#include "lrcwriter.h"
#include "speedladder.h"
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
    v_.SetWidth(stripWidth);
}

// The load's workers are joined before anything they read goes.
TRepeater::~TRepeater() { load_.Cancel(); }

int32_t TRepeater::repeatCountNow() const { return RepeatCount(repeatIndex_); }

int32_t TRepeater::PauseLengthNow() const { return PauseLength(pauseIndex_, rangeLength_); }

int32_t TRepeater::ReadingStopMs(int32_t end) const {
    return segment::ReadingStopMs(lesson_.samples, lesson_.silenceLevel, end, lesson_.columnMs);
}

bool TRepeater::playerHolds() const {
    switch (phase_) {
    case TPhase::Reading:
    case TPhase::Paused:
        return true;
    case TPhase::Countdown:
    case TPhase::Held:
    case TPhase::HeldUntilPlay:
    case TPhase::Ended:
        return !fileEnded_; // the player stops by itself at the end of the file
    case TPhase::Speaking:
    case TPhase::ReplayingTake:
        return !fileEnded_;
    case TPhase::ReplayingSentence:
        return true;
    case TPhase::Waiting:
        // An advance waits with the player resting at the end of the last reading.
        return waitKind_ == TWaitKind::Advance && !fileEnded_;
    case TPhase::Idle:
        return false;
    }
    return false;
}

TReport TRepeater::Report() const {
    TReport r;
    r.status = status_;
    r.notice = notice_;
    // Between two readings the counter shows the readings heard, not the one to come.
    const int32_t shown = IsBetweenReadings(phase_) ? readCount_ - 1 : std::max(readCount_, 1); // 0 only before a load
    r.repeatLabel = RepeatLabel(shown, repeatCountNow());
    r.timeLabel = timeLabel_;
    r.speedHint = speedHint_;
    // Stop and pause act on what the player holds, and on a running countdown.
    r.enabled.stop = r.enabled.pause = playerHolds() || phase_ == TPhase::Countdown || IsShadowStep(phase_);
    r.enabled.prev = r.enabled.next = everStarted_ && (sentenceCount() > 0 || load_.Active());
    r.enabled.slider = hasFile();
    r.playback = phase_ == TPhase::Countdown || IsShadowStep(phase_) ? TPlayback::PauseCountdown
                 : phase_ == TPhase::Paused  ? TPlayback::Paused
                 : phase_ == TPhase::Reading ? TPlayback::Playing
                                             : TPlayback::Stopped;
    r.phase = phase_;
    r.mode = repeatMode_;
    r.repeatIndex = repeatIndex_;
    r.pauseIndex = pauseIndex_;
    r.speed = speed_;
    r.ladder = ladder_;
    r.readingSpeed = ladder_.empty() ? speed_ : readingSpeed_;
    r.sentence = curSentence_;
    r.sentenceCount = sentenceCount();
    r.lastReadingFinished = lastReadingFinished_;
    r.busy = busy_;
    r.loading = load_.Active();
    r.waiting = phase_ == TPhase::Waiting;
    r.held = IsHeld(phase_);
    r.viewOffset = v_.ViewOffset();
    std::tie(r.highlightFirst, r.highlightLast) = v_.Highlight();
    r.playColumn = v_.PlayColumn();
    r.playLineShown = playLineShown_ && v_.PlayColumn() > 0;
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
    statusShowsLoad_ = false;
    emit Traced("status", text);
}

void TRepeater::enter(TCue cue) {
    const TStep step = StepOf(cue);
    phase_ = step.phase;
    setStatus(step.status);
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
}

void TRepeater::cancelPauseCountdown() {
    clock_.Stop(TTimer::Pause);
    pauseGaugeProgress_ = 0;
}

void TRepeater::PlayerStarted() {
    TBatch batch(*this);
    if (phase_ == TPhase::ReplayingSentence)
        return; // the shadowing step's own replay, no reading
    enter(TCue::Started);
    if (takes_)
        takes_->Arm();
    v_.HidePlayLine();
    everStarted_ = true;
    clock_.Start(TTimer::Play);
    clock_.Stop(TTimer::ShowPos);
}

void TRepeater::PlayerPaused() {
    TBatch batch(*this);
    enter(TCue::UserPaused);
    ShowNotice("");
    clock_.Start(TTimer::ShowPos);
    clock_.Stop(TTimer::Play);
}

void TRepeater::PlayerResumed() {
    TBatch batch(*this);
    enter(TCue::Resumed);
    ShowNotice("");
    playLineShown_ = true;
    clock_.Stop(TTimer::ShowPos);
    clock_.Start(TTimer::Play);
}

void TRepeater::PlayerStopped() {
    TBatch batch(*this);
    enter(TCue::Stopped);
    player_.Stop();
    stopPlayTimers();
}

void TRepeater::SegmentEnded() {
    TBatch batch(*this);
    if (phase_ == TPhase::ReplayingSentence) {
        replayTake();
        return;
    }
    enter(TCue::SegmentEnded);
    stopPlayTimers();
    fileEnded_ = false;
    takes_ ? startSpeaking() : afterReading();
}

void TRepeater::FileEnded() {
    TBatch batch(*this);
    fileEnded_ = true;
    if (phase_ == TPhase::ReplayingSentence) {
        replayTake();
        return;
    }
    enter(TCue::FileEnded);
    stopPlayTimers();
    takes_ ? startSpeaking() : afterReading();
}

void TRepeater::Timer_ShowPosTimer() {
    TBatch batch(*this);
    if (clock_.IsActive(TTimer::Play)) {
        clock_.Stop(TTimer::ShowPos);
        return;
    }
    if (v_.PlayColumn() > 0)
        playLineShown_ = !playLineShown_;
}

void TRepeater::Timer_playTimer() {
    if (phase_ != TPhase::Reading || !hasFile())
        return;
    TBatch batch(*this);
    const int32_t pos = player_.PositionMs();
    v_.FollowPlay(pos);
    playLineShown_ = true;
    // The view follows the line: the stored range keeps its times as the columns move.
    if (v_.PlayColumn() > v_.Width() - 5 || v_.PlayColumn() < 0) {
        strip_.ShiftRange(v_.PlayColumn() < 0 ? v_.ScrollBack() : v_.ScrollForward());
    }
    // The player reads on past the range end; during that tail the position
    // already lies in the next sentence, which must not become current before the
    // reading has ended: a repeat replays this sentence, an advance goes one on.
    const bool inTail = pos >= strip_.RangeEnd();
    int32_t start = 0, end = 0;
    const int32_t found = lesson_.segments->Count() > 0 ? lesson_.segments->FindSentence(pos, start, end) : -1;
    if (!inTail && found != -1 && found != lastSeenSentence_) {
        lastSeenSentence_ = found;
        selectSentence(found);
    }
    if (!inTail && repeatMode_ == TMode::Marked && found != -1 && end > start &&
        (pos < followStart_ || pos >= followEnd_)) {
        followStart_ = start;
        followEnd_ = end;
        strip_.Mark(start / Col - v_.ViewOffset(), end / Col - v_.ViewOffset());
    }
    sliderPosition_ = pos;
    setTimeLabel(pos);
}

void TRepeater::timer_pauseTimer() {
    TBatch batch(*this);
    timerPauseTag_ += TimerIntervalMs(TTimer::Pause);
    if (timerPauseTag_ - pauseGaugeProgress_ > pauseGaugeMax_ / 50)
        pauseGaugeProgress_ = std::min(timerPauseTag_, pauseGaugeMax_);
    if (phase_ == TPhase::Speaking) {
        if (timerPauseTag_ >= speakingMs_)
            takes_->FinishTake();
        return;
    }
    if (timerPauseTag_ < PauseLengthNow())
        return;
    readAfterPause();
}

void TRepeater::readAfterPause() {
    pauseGaugeProgress_ = pauseGaugeMax_;
    const bool started = strip_.UseStored() ? startReading(strip_.RangeStart(), strip_.RangeEnd())
                                         : startReading((v_.ViewOffset() + v_.SelStart()) * Col,
                                                        (v_.ViewOffset() + v_.SelEnd()) * Col);
    timerPauseTag_ = 0;
    clock_.Stop(TTimer::Pause);
    pauseGaugeProgress_ = 0;
    if (started)
        enter(TCue::TimedStart);
    else if (phase_ != TPhase::Reading)
        phase_ = fileEnded_ ? TPhase::Idle : TPhase::Ended; // refused: nothing follows
}

// --- readings ---

bool TRepeater::startReading(int32_t start, int32_t end) {
    fileEnded_ = false;
    const int32_t minimum = repeatMode_ == TMode::Marked ? 0 : 400;
    if (std::abs(static_cast<int64_t>(end) - start) <= minimum || start < 0) {
        ShowNotice("断点间隔太短，不能播放。");
        return false;
    }
    applyReadingSpeed();
    rangeLength_ = end - start;
    strip_.StoreMs(start, end);
    followStart_ = start;
    followEnd_ = end;
    // Whatever starts a reading ends a countdown still running for another one.
    cancelPauseCountdown();
    lastReadingFinished_ = false;
    player_.PlayRange(start, ReadingStopMs(end));
    emit Traced("read", std::to_string(start) + " " + std::to_string(end) + " " + std::to_string(readCount_));
    sliderPosition_ = strip_.RangeStart();
    setTimeLabel(strip_.RangeStart());
    return true;
}

void TRepeater::applyReadingSpeed() {
    readingSpeed_ = LadderSpeed(ladder_, readCount_, speed_);
    player_.SetTempo(readingSpeed_);
    if (ladder_.empty())
        return;
    speedHint_ = SpeedHint(readingSpeed_);
    emit Traced("speed", std::to_string(100 + readingSpeed_));
}

void TRepeater::restartRange(int32_t start, int32_t end) {
    readCount_ = 1;
    strip_.Mark(start / Col - v_.ViewOffset(), end / Col - v_.ViewOffset());
    v_.HidePlayLine();
    startReading(strip_.RangeStart(), strip_.RangeEnd());
}

bool TRepeater::goToSentence(int32_t i) {
    if (i < 0 || i >= sentenceCount())
        return false;
    selectSentence(i);
    markSentence(i);
    // The view re-based so that the sentence starts near its left edge.
    if (v_.BringSelectionIn(10))
        strip_.SetRange(v_.SelStart(), v_.SelEnd());
    return true;
}

void TRepeater::jumpToSentence(int32_t i) {
    if (i < 0)
        return;
    settle();
    if (!goToSentence(i))
        return;
    readCount_ = 1;
    startReading(strip_.RangeStart(), strip_.RangeEnd());
}

void TRepeater::afterReading() {
    v_.HidePlayLine();
    ++readCount_;
    if (readCount_ > repeatCountNow()) {
        lastReadingFinished_ = true;
        emit LastReadingFinished(curSentence_);
        if (!advanceSentence())
            return;
    }
    if (repeatMode_ != TMode::Marked && std::abs(v_.SelEnd() - v_.SelStart()) < 5 &&
        (fileEnded_ || std::abs(static_cast<int64_t>(strip_.RangeEnd()) - strip_.RangeStart()) < 200))
        return;
    startPauseAfterReading();
}

bool TRepeater::advanceSentence() {
    readCount_ = 1;
    if (repeatMode_ == TMode::Marked && order_.Reviewing()) {
        const int32_t next = order_.After(*lesson_.segments, curSentence_, sentenceCount());
        return next >= 0 && goToSentence(next);
    }
    if (repeatMode_ == TMode::Marked) {
        if (curSentence_ >= sentenceCount() - 1) {
            // The file is still being sampled: the next sentence follows once found.
            if (load_.Active())
                waitFor(TWaitKind::Advance, curSentence_ + 1);
            return false;
        }
        return goToSentence(curSentence_ + 1);
    }
    const int32_t e = endOfFileColumn();
    if (e == strip_.RangeEndColumn())
        return false;
    if (strip_.UseStored()) {
        strip_.SetRange(v_.SelEnd(), e);
        v_.Unhighlight();
    } else {
        strip_.Mark(v_.SelEnd(), e);
    }
    return true;
}

void TRepeater::startPauseAfterReading() {
    const int rule = pauseIndex_;
    if (afterShadow_ == TAfterShadow::Hold) {
        enter(TCue::CountdownHeld);
    } else if (rule == PauseNone || (afterShadow_ == TAfterShadow::ReadOn && rule != PauseWait)) {
        readAfterPause(); // none, or spent speaking
    } else if (rule == PauseWait) {
        enter(TCue::WaitForPlay);
    } else if (rule >= 2 && rule < static_cast<int>(PauseRuleItems().size())) {
        enter(TCue::CountdownBegun);
        pauseGaugeMax_ = std::max(PauseLengthNow(), 1);
        pauseGaugeProgress_ = std::min(pauseGaugeProgress_, pauseGaugeMax_);
        timerPauseTag_ = 0;
        clock_.Start(TTimer::Pause);
    }
}

// --- the operations ---

void TRepeater::dropPending() {
    cancelPauseCountdown();
    if (IsShadowStep(phase_))
        dropShadow();
    if (IsBetweenReadings(phase_) || IsShadowStep(phase_) || phase_ == TPhase::Waiting)
        phase_ = playerHolds() ? TPhase::Ended : TPhase::Idle;
}

void TRepeater::settle() {
    v_.HidePlayLine();
    cancelPauseCountdown();
    if (IsShadowStep(phase_))
        takes_->Cancel();
    const TPhase before = phase_;
    player_.Stop();
    // A pause, a hold or a wait the player knew nothing of ends as a stop does.
    if (phase_ == before && before != TPhase::Idle)
        enter(TCue::Stopped);
}

void TRepeater::Play() {
    if (busy_)
        return;
    TBatch batch(*this);
    if (!hasFile()) {
        // Nothing to play: say so rather than refuse a range of nothing.
        ShowNotice(OpenFirstNotice);
        return;
    }
    if (!player_.HasOutput())
        ShowNotice(audio::NoSoundOutputNotice);
    if (phase_ == TPhase::Paused) {
        player_.Resume();
        return;
    }
    if (IsShadowStep(phase_)) {
        cutShadow(TAfterShadow::ReadOn);
        return;
    }
    dropPending();
    if (chosenPlace_ >= 0) {
        // The place chosen is read once the load has found its sentence.
        waitFor(TWaitKind::Place, chosenPlace_);
        return;
    }
    if (load_.Active() && repeatMode_ == TMode::Marked && sentenceCount() == 0) {
        // Nothing is known yet to read as a sentence: the first one, once found.
        waitFor(TWaitKind::Jump, 0);
        return;
    }
    startReading(strip_.RangeStart(), strip_.RangeEnd());
}

void TRepeater::Pause() {
    if (busy_ || !hasFile())
        return;
    TBatch batch(*this);
    switch (phase_) {
    case TPhase::Countdown:
        cancelPauseCountdown();
        enter(TCue::CountdownHeld);
        break;
    case TPhase::Speaking:
    case TPhase::ReplayingSentence:
    case TPhase::ReplayingTake:
        cutShadow(TAfterShadow::Hold);
        break;
    case TPhase::Paused:
        player_.Resume();
        break;
    case TPhase::Held:
        startReading(strip_.RangeStart(), strip_.RangeEnd());
        break;
    default:
        player_.Pause();
        break;
    }
}

void TRepeater::Stop() {
    if (busy_)
        return;
    TBatch batch(*this);
    ShowNotice("当前音频文件已停止播放");
    settle();
}

void TRepeater::Previous() {
    const int32_t before = busy_ ? -1 : order_.Before(*lesson_.segments, curSentence_);
    if (before < 0)
        return;
    TBatch batch(*this);
    chosenPlace_ = -1;
    jumpToSentence(before);
}

void TRepeater::Next() {
    if (busy_ || (sentenceCount() == 0 && !load_.Active()))
        return;
    TBatch batch(*this);
    chosenPlace_ = -1;
    if (order_.Reviewing()) {
        // Round to the first once past the last, as all sentences do.
        int32_t next = order_.After(*lesson_.segments, curSentence_, sentenceCount());
        if (next < 0)
            next = order_.After(*lesson_.segments, -1, sentenceCount());
        if (next >= 0)
            jumpToSentence(next);
        return;
    }
    if (load_.Active() && curSentence_ >= sentenceCount() - 1) {
        // Past the sentences found so far: the next one is read once it is found.
        const bool waitingForOne = phase_ == TPhase::Waiting && waitKind_ != TWaitKind::Place;
        const int32_t next = std::max(curSentence_, waitingForOne ? waitTarget_ : -1) + 1;
        settle();
        waitFor(TWaitKind::Jump, next);
        return;
    }
    jumpToSentence(curSentence_ >= sentenceCount() - 1 ? 0 : curSentence_ + 1);
}

void TRepeater::SetReview(std::vector<int32_t> startsMs) {
    TBatch batch(*this);
    order_.SetReview(std::move(startsMs));
}

void TRepeater::ChooseSentence(int32_t i) {
    if (busy_ || i < 0 || i >= sentenceCount())
        return;
    TBatch batch(*this);
    chosenPlace_ = -1;
    settle();
    goToSentence(i);
    readCount_ = 1;
}

void TRepeater::PlaySentence(int32_t i) {
    if (busy_ || i < 0 || i >= sentenceCount())
        return;
    TBatch batch(*this);
    chosenPlace_ = -1;
    jumpToSentence(i);
}

void TRepeater::SetMode(TMode mode) {
    TBatch batch(*this);
    // The mode only changes with a file loaded; the report keeps the mode in force.
    if (!hasFile() || busy_ || mode == repeatMode_)
        return;
    // A countdown of the old mode must not replay into the new one.
    dropPending();
    chosenPlace_ = -1;
    repeatMode_ = mode;
    if (mode == TMode::Marked) {
        int32_t start = 0, end = 0;
        int32_t found = lesson_.segments->FindSentence(v_.CursorMs(), start, end);
        if (found == -1 && sentenceCount() > 0) {
            // Past the last breakpoint (the file has ended): the last sentence.
            found = sentenceCount() - 1;
            start = lesson_.segments->Items(found).TimeMs;
            end = lesson_.segments->Items(found + 1).TimeMs;
        }
        selectSentence(found);
        restartRange(start, end);
    } else {
        restartRange((std::max(v_.PlayColumn(), v_.SelStart()) + v_.ViewOffset()) * Col,
                     (endOfFileColumn() + v_.ViewOffset()) * Col);
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
    if (!hasFile() || phase_ != TPhase::Countdown)
        return;
    // The countdown starts again under the new rule.
    dropPending();
    startPauseAfterReading();
}

void TRepeater::SetSpeed(int percent) {
    TBatch batch(*this);
    speed_ = percent;
    ladder_.clear(); // a speed chosen on the slider holds for every reading
    if (!hasFile() || !player_.HasFile())
        return;
    player_.SetTempo(percent);
    speedHint_ = SpeedHint(percent);
    ShowNotice(SpeedNotice(percent));
}

void TRepeater::SetLadder(std::vector<int> steps) {
    TBatch batch(*this);
    if (steps == ladder_)
        return;
    ladder_ = std::move(steps);
    // Between readings the count already names the next one.
    readingSpeed_ = LadderSpeed(ladder_, readCount_, speed_);
    if (!hasFile() || !player_.HasFile())
        return;
    player_.SetTempo(readingSpeed_);
    speedHint_ = SpeedHint(readingSpeed_);
    ShowNotice(LadderNotice(ladder_));
}

void TRepeater::SpeedTrackEnd() {
    if (hasFile())
        ShowNotice("");
}

// --- ranges and sentences ---

void TRepeater::markSentence(int32_t i) {
    const segment::TSegmentList &s = *lesson_.segments;
    strip_.Mark(s.Items(i).TimeMs / Col - v_.ViewOffset(), s.Items(i + 1).TimeMs / Col - v_.ViewOffset());
}

int32_t TRepeater::endOfFileColumn() const { return lesson_.info.pointCount - v_.ViewOffset(); }

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
    if (load_.Active()) {
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

bool TRepeater::ReplaceBreakpoints(const std::vector<std::pair<int32_t, std::string>> &points) {
    if (!hasFile() || busy_ || load_.Active() || points.size() < 2)
        return false;
    TBatch batch(*this);
    segment::TSegmentList &s = *lesson_.segments;
    // A reading begun while the file was still sampled goes on: the current
    // sentence becomes the one at its start in the new list.
    const bool underWay = phase_ != TPhase::Idle && phase_ != TPhase::Ended;
    const int32_t at = curSentence_ >= 0 && curSentence_ < s.Count() ? s.Items(curSentence_).TimeMs : 0;
    if (!underWay)
        settle();
    s.Clear();
    for (const auto &[ms, text] : points)
        s.Add({ms, segment::TSegmentList::MakeStamp(ms), text});
    curSentence_ = -1;
    int32_t start = 0, end = 0;
    const int32_t found = underWay ? s.FindSentence(at, start, end) : -1;
    if (found < 0) {
        prepareFirstRange();
    } else {
        selectSentence(found);
        lastSeenSentence_ = found;
        if (repeatMode_ == TMode::Marked) {
            // The readings still to come read the sentence as it now stands.
            markSentence(found);
            followStart_ = start;
            followEnd_ = end;
        }
    }
    redraw();
    setStatus(SentenceCountText(sentenceCount()));
    traceBreakpoints();
    return true;
}

void TRepeater::traceBreakpoints() {
    // A million cues make a list of megabytes, built while the window waits.
    const int32_t n = lesson_.segments->Count();
    std::string list(size_t(std::max(n, 0)) * 12, '\0');
    char *at = list.data(), *const end = at + list.size();
    for (int32_t i = 0; i < n; ++i) {
        if (i)
            *at++ = ' ';
        at = std::to_chars(at, end, lesson_.segments->Items(i).TimeMs).ptr;
    }
    list.resize(size_t(at - list.data()));
    emit Traced("break", list);
}

} // namespace vorel::repeater
