// The reading cycle: where the repeater stands between the player's events, the
// pause timer and a load still growing. Every change of phase goes through the
// table in phase.cpp, one row per cue; the status cell, `held` and the enabled
// states are read from the phase, never from a text.
//
//   Idle ----------- play, next, a click, a mode --------------> Reading
//   Reading -------- pause ----> Paused ---- pause or play ----> Reading
//   Reading -------- a reading ends, by the pause rule:
//                      Countdown (a timed pause) --- its end or play --> Reading
//                      HeldUntilPlay (rule "暂停") -- play -------------> Reading
//                      Reading (rule "无"), Waiting (the next sentence not yet
//                      found), or Ended / Idle (nothing follows)
//   Countdown ------ pause ----> Held ------ pause or play ----> Reading
//   Reading -------- a reading ends while shadowing -----------> Speaking
//   Speaking ------- the take ends: ReplayingSentence, then ReplayingTake (as
//                      the learner chose), then on by the pause rule as above
//                      (the pause was spent speaking); play cuts it short,
//                      pause leaves it Held
//   Waiting -------- its sentence or place is found ----------> Reading or Countdown
//   any ------------ stop, a choice, another file ------------> Idle
// GUI thread (pure functions).
#pragma once

#include <cstdint>

namespace vorel::repeater {

enum class TPhase {
    Idle,          // nothing reads and nothing follows by itself
    Reading,       // the player reads the range
    Paused,        // the learner paused the reading: play goes on from there
    Countdown,     // the pause after a reading runs; the next reading follows it
    Held,          // that pause held by the pause button: play or pause reads on
    HeldUntilPlay, // the pause rule "暂停": play reads on
    Ended,         // a reading ended and nothing follows; the player rests at its end
    Waiting,       // a reading waits for its sentence or place, still being sampled
    Speaking,          // shadowing: the learner speaks the sentence just read, a take records
    ReplayingSentence, // shadowing: the sentence is played again before the take
    ReplayingTake,     // shadowing: the learner's take plays
};

// What moved the cycle: each cue leads to one phase and one status text.
enum class TCue {
    Started,         // the player started a reading
    TimedStart,      // ... as the end of the pause after a reading
    Resumed,         // the player goes on after a pause
    UserPaused,      // the player paused at the learner's request
    Stopped,         // the player was stopped
    SegmentEnded,    // the reading reached its range end
    FileEnded,       // the reading reached the end of the file
    CountdownBegun,  // the pause after a reading began
    CountdownHeld,   // the learner held it with pause
    WaitForPlay,     // the pause rule waits for play
    WaitForSentence, // the next sentence is not yet found
    WaitForPlace,    // the place chosen is not yet sampled
    SpeakingBegun,   // shadowing: the take of the sentence just read began
    ReplaySentence,  // shadowing: the sentence plays again
    ReplayTake,      // shadowing: the take plays
};

struct TStep {
    TPhase phase;
    const char *status;
};

// The one table of the cycle's transitions.
TStep StepOf(TCue cue);

// True while play (or pause, in Held) reads on from a pause between readings.
inline constexpr bool IsHeld(TPhase p) { return p == TPhase::Held || p == TPhase::HeldUntilPlay; }
// Between two readings of the cycle: the reading counter shows the readings heard.
inline constexpr bool IsBetweenReadings(TPhase p) { return p == TPhase::Countdown || IsHeld(p); }
// The step after a reading while shadowing.
inline constexpr bool IsShadowStep(TPhase p) {
    return p == TPhase::Speaking || p == TPhase::ReplayingSentence || p == TPhase::ReplayingTake;
}

} // namespace vorel::repeater
