// What the repeater drives: the player and its three timers. The program
// implements these over the real player and QTimer, tests over a fake player and
// a hand-driven clock. GUI thread only.
#pragma once

#include <cstdint>
#include <string>

namespace vorel::repeater {

// The player. Start, pause, resume and stop are reported back through the
// repeater's PlayerStarted .. PlayerStopped, called synchronously from inside the
// call that caused them; the end of a range and of the file arrive later through
// SegmentEnded and FileEnded. Failures to open or play throw; pause, resume and
// stop fail silently.
class IPlayer {
public:
    virtual ~IPlayer() = default;
    // Releases the previous file, then opens path; on failure no file is open.
    virtual void Open(const std::string &path) = 0;
    virtual bool HasFile() const = 0;
    // Plays from startMs and pauses itself at stopMs (the range end plus its tail).
    virtual void PlayRange(int32_t startMs, int32_t stopMs) = 0;
    virtual void Pause() = 0;  // only while playing
    virtual void Resume() = 0; // only while paused
    virtual void Stop() = 0;   // only while not stopped
    virtual int32_t PositionMs() const = 0;
    // False when no sound output could be opened: files still open and play silently.
    virtual bool HasOutput() const { return true; }
    virtual void SetTempo(int percent) = 0; // -40 .. 40, nothing without a file
};

enum class TTimer {
    Play,    // 80 ms: play line, scrolling, following sentences, progress slider
    Pause,   // 50 ms: the countdown of the pause after a reading
    ShowPos, // 1000 ms: the play line blinks while paused
    Load,    // 20 ms: what a load in progress has found is taken in
};

inline constexpr int32_t TimerIntervalMs(TTimer t) {
    return t == TTimer::Play ? 80 : t == TTimer::Pause ? 50 : t == TTimer::Load ? 20 : 1000;
}

// Timers that call the repeater's Timer_playTimer, timer_pauseTimer,
// Timer_ShowPosTimer and Timer_loadTimer on expiry while started.
class IClock {
public:
    virtual ~IClock() = default;
    virtual void Start(TTimer t) = 0;
    virtual void Stop(TTimer t) = 0;
    virtual bool IsActive(TTimer t) const = 0;
};

// The learner's microphone and takes, for shadowing. Whoever implements it
// reports back through the repeater's TakeEnded and TakePlayed, never from inside
// the call that started the take or its playing, except FinishTake.
class ITakes {
public:
    virtual ~ITakes() = default;
    // A reading starts: capture gets ready so that a take can begin the moment it ends.
    virtual void Arm() = 0;
    // The take of the sentence [startMs, endMs) just read begins now; it ends by
    // itself (TakeEnded) once the learner has spoken and then been silent.
    virtual void StartTake(int32_t startMs, int32_t endMs) = 0;
    // The time to speak is over: the take ends now, TakeEnded follows at once.
    virtual void FinishTake() = 0;
    // Plays the take just kept; false when there is none. TakePlayed follows its end.
    virtual bool PlayTake() = 0;
    // Drops a take being recorded or stops one playing; nothing is reported.
    virtual void Cancel() = 0;
};

} // namespace vorel::repeater
