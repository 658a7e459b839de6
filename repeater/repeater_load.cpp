// The repeater's loads: opening a file as a transaction, then taking in what the
// growing load finds, and the waits for a sentence or a place not yet found.
#include "repeater.h"

#include "repeatrules.h"

namespace vorel::repeater {

namespace {
constexpr int32_t Col = audio::MsPerColumn;
const char *const LoadingStatus = "文件处理";
} // namespace

void TRepeater::CancelLoad() {
    if (!load_.Active())
        return;
    TBatch batch(*this);
    load_.Cancel();
    clock_.Stop(TTimer::Load);
    samplingPercent_ = -1;
    chosenPlace_ = -1;
    if (phase_ == TPhase::Waiting)
        phase_ = TPhase::Idle;
}

void TRepeater::OpenAudioFile(const std::string &file, const TSourceStarter &starter) {
    if (busy_)
        return;
    TBatch batch(*this);
    // A load still running goes first: its workers must not outlive its lesson.
    load_.Cancel();
    clock_.Stop(TTimer::Load);
    chosenPlace_ = -1;
    if (IsShadowStep(phase_))
        takes_->Cancel(); // a take belongs to the lesson it was said to
    player_.Stop();
    stopPlayTimers();
    cancelPauseCountdown();
    phase_ = TPhase::Idle;
    timerPauseTag_ = 0;
    v_.HidePlayLine();
    const std::string statusBefore = status_, noticeBefore = notice_;
    busy_ = true;
    samplingPercent_ = 0;
    struct TDone {
        TRepeater &r;
        ~TDone() { r.busy_ = false; }
    } done{*this};
    setStatus(LoadingStatus);
    statusShowsLoad_ = true;
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
    load_.Begin(std::move(source));
    v_.SetSource(lesson_.info.pointCount, static_cast<int64_t>(lesson_.samples.size()), lesson_.segments.get());
    v_.ResetView();
    redraw();
    strip_.SetUseStored(false);
    selectSentence(-1);
    prepareFirstRange();
    firstRangePending_ = sentenceCount() < 1;
    v_.HidePlayLine();
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
    if (load_.Active()) {
        if (!lesson_.notice.empty())
            ShowNotice(lesson_.notice);
        clock_.Start(TTimer::Load);
    }
}

void TRepeater::Timer_loadTimer() {
    if (!load_.Active()) {
        clock_.Stop(TTimer::Load);
        return;
    }
    TBatch batch(*this);
    pollLoad();
}

void TRepeater::pollLoad() {
    if (!load_.Active())
        return;
    // Kept by time where the list is replaced.
    const bool hasCurrent = curSentence_ >= 0 && curSentence_ < lesson_.segments->Count();
    const int32_t curStart = hasCurrent ? lesson_.segments->Items(curSentence_).TimeMs : -1;
    const std::string curText = hasCurrent ? lesson_.segments->Items(curSentence_).Text : "";
    const TGrowingLoad::TStep step = load_.Poll(lesson_);
    const TGrowth &g = step.growth;
    if (g.samples || g.breakpoints || g.replaced) {
        v_.SetSampleCount(static_cast<int64_t>(lesson_.samples.size()));
        ++growGeneration_;
    }
    if (g.replaced)
        redraw();
    // A breakpoint file read beside the load: its texts are known from here.
    if (g.replaced && !g.finished)
        traceBreakpoints();
    if (g.finished)
        clock_.Stop(TTimer::Load);
    samplingPercent_ = load_.Percent();
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
            if (repeatMode_ == TMode::Marked && !playerHolds() && phase_ != TPhase::Countdown)
                markSentence(found);
        }
    }
    if (firstRangePending_ && sentenceCount() >= 1) {
        firstRangePending_ = false;
        // Nobody has chosen anything yet: the first sentence, as a finished load prepares it.
        if (phase_ == TPhase::Idle && chosenPlace_ < 0) {
            curSentence_ = -1;
            prepareFirstRange();
        }
    }
    resolveWait();
    resolvePlace();
    if (g.finished)
        finishLoad(step.notice);
}

void TRepeater::finishLoad(const std::string &notice) {
    // The status keeps what playback says; a quiet window shows the count.
    if (statusShowsLoad_)
        setStatus(SentenceCountText(sentenceCount()));
    if (!notice.empty())
        ShowNotice(notice);
    emit Traced("load", lesson_.fileName + " " + std::to_string(lesson_.info.duration) + " " +
                            std::to_string(sentenceCount()));
    traceBreakpoints();
}

void TRepeater::waitFor(TWaitKind kind, int32_t target) {
    waitKind_ = kind;
    waitTarget_ = target;
    enter(kind == TWaitKind::Place ? TCue::WaitForPlace : TCue::WaitForSentence);
}

void TRepeater::resolveWait() {
    if (phase_ != TPhase::Waiting)
        return;
    if (waitKind_ == TWaitKind::Place) {
        const int32_t found = load_.ReadableSentenceAt(lesson_, waitTarget_);
        if (found < 0 && load_.Active())
            return;
        phase_ = TPhase::Idle; // the wait is over
        chosenPlace_ = -1;
        if (found < 0)
            setStatus(SentenceCountText(sentenceCount()));
        else
            jumpToSentence(found);
        return;
    }
    int32_t i = waitTarget_;
    if (load_.Active() && i >= sentenceCount())
        return;
    // The wait is over; an advance's player still rests at the end of its reading.
    phase_ = waitKind_ == TWaitKind::Advance && !fileEnded_ ? TPhase::Ended : TPhase::Idle;
    if (i >= sentenceCount()) {
        // The load ended without it: the wait ends as that step would have.
        if (waitKind_ == TWaitKind::Advance || sentenceCount() == 0) {
            setStatus(SentenceCountText(sentenceCount()));
            return;
        }
        i = 0; // next from the last sentence goes round to the first
    }
    if (waitKind_ == TWaitKind::Advance) {
        if (goToSentence(i))
            startPauseAfterReading();
    } else {
        jumpToSentence(i);
    }
}

void TRepeater::choosePlace(int32_t ms) {
    chosenPlace_ = ms;
    const int32_t x = ms / Col - v_.ViewOffset();
    strip_.Mark(x, x);
}

void TRepeater::resolvePlace() {
    if (chosenPlace_ < 0 || phase_ == TPhase::Waiting)
        return;
    const int32_t found = load_.ReadableSentenceAt(lesson_, chosenPlace_);
    if (found < 0 && load_.Active())
        return;
    chosenPlace_ = -1;
    if (found < 0 || repeatMode_ != TMode::Marked)
        return;
    selectSentence(found);
    markSentence(found);
    readCount_ = 1;
}

void TRepeater::prepareFirstRange() {
    if (sentenceCount() < 1) {
        strip_.Mark(0, lesson_.info.pointCount);
        return;
    }
    selectSentence(0);
    if (repeatMode_ == TMode::Marked) {
        markSentence(0);
    } else {
        // The whole file is the stored range while nothing is highlighted.
        strip_.Mark(0, lesson_.info.pointCount);
        strip_.SetUseStored(true);
        v_.Unhighlight();
    }
}

} // namespace vorel::repeater
