// Shadowing: after each reading the learner speaks while a take records, then the
// sentence and the take play as chosen, and the cycle goes on as after a pause
// (the pause was spent speaking).
#include "repeater.h"

namespace vorel::repeater {

void TRepeater::SetShadowing(ITakes *takes) {
    TBatch batch(*this);
    if (takes == takes_)
        return;
    if (IsShadowStep(phase_))
        cutShadow(TAfterShadow::PauseRule); // the pause rule takes over
    takes_ = takes;
}

void TRepeater::startSpeaking() {
    // The range just read: the next one may be another sentence's by the time it replays.
    shadowStart_ = strip_.RangeStart();
    shadowEnd_ = strip_.RangeEnd();
    speakingMs_ = SpeakingTime(pauseIndex_, rangeLength_);
    enter(TCue::SpeakingBegun);
    pauseGaugeMax_ = std::max(speakingMs_, 1);
    pauseGaugeProgress_ = 0;
    timerPauseTag_ = 0;
    clock_.Start(TTimer::Pause);
    takes_->StartTake(shadowStart_, shadowEnd_);
}

void TRepeater::TakeEnded(bool kept) {
    if (phase_ != TPhase::Speaking)
        return;
    TBatch batch(*this);
    cancelPauseCountdown();
    if (!kept || replay_ == TReplay::Nothing) {
        finishShadow(TAfterShadow::ReadOn);
    } else if (replay_ == TReplay::SentenceThenTake) {
        enter(TCue::ReplaySentence);
        player_.SetTempo(speed_);
        player_.PlayRange(shadowStart_, ReadingStopMs(shadowEnd_));
    } else {
        replayTake();
    }
}

void TRepeater::replayTake() {
    enter(TCue::ReplayTake);
    if (!takes_->PlayTake())
        finishShadow(TAfterShadow::ReadOn);
}

void TRepeater::TakePlayed() {
    if (phase_ != TPhase::ReplayingTake)
        return;
    TBatch batch(*this);
    finishShadow(TAfterShadow::ReadOn);
}

void TRepeater::dropShadow() {
    takes_->Cancel();
    if (phase_ == TPhase::ReplayingSentence)
        player_.Stop(); // its end must not count as a reading's
}

void TRepeater::cutShadow(TAfterShadow how) {
    cancelPauseCountdown();
    dropShadow();
    finishShadow(how);
}

void TRepeater::finishShadow(TAfterShadow how) {
    // As a reading's end leaves it: the player rests at its end, or has stopped.
    if (IsShadowStep(phase_))
        phase_ = fileEnded_ ? TPhase::Idle : TPhase::Ended;
    afterShadow_ = how;
    afterReading();
    afterShadow_ = TAfterShadow::PauseRule;
}

} // namespace vorel::repeater
