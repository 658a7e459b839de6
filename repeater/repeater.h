// The sentence repeater without a window, a façade over its parts: the reading
// cycle's phase (phase.h), the growing load (growingload.h), the view columns, and
// the controller here, with the range and sentence operations and the rules of
// mouse work and breakpoint editing. It drives the player and its timers through
// IPlayer and IClock and reports through Changed: whoever shows it (the main
// window, a remote control, a transcript) reads Report() then and draws or
// forwards that; nobody else keeps repeater state.
//
// GUI thread only. Operations may throw the player's or the list's errors; the
// caller shows them. Every operation leaves the state consistent and emits
// Changed once when it ends (nested operations are folded into one).
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "growingload.h"
#include "lesson.h"
#include "phase.h"
#include "ports.h"
#include "sentenceorder.h"
#include "shadowing.h"
#include "stripinput.h"
#include "viewcolumns.h"

namespace vorel::repeater {

enum class TPlayback { Stopped, Playing, Paused, PauseCountdown };

// What each control may do now, computed in one place from the state.
struct TEnabled {
    bool open = true, play = true, stop = false, pause = false, prev = false, next = false, slider = false;
    bool operator==(const TEnabled &) const = default;
};

struct TReport {
    std::string status; // the status cell
    std::string notice; // the info line (without its leading space)
    std::string repeatLabel, timeLabel, speedHint;
    TEnabled enabled;
    TPlayback playback = TPlayback::Stopped;
    TPhase phase = TPhase::Idle;
    TMode mode = TMode::Marked;
    int repeatIndex = 0, pauseIndex = 0, speed = 0; // speed: the plain speed chosen on the slider
    // The speed ladder (tempo changes per reading; empty: off) and the speed of
    // the reading in progress, or of the next: what the speed slider shows.
    std::vector<int> ladder;
    int readingSpeed = 0;
    int32_t sentence = 0, sentenceCount = 0;
    bool lastReadingFinished = false; // the current sentence's last reading has ended
    bool busy = false;
    bool loading = false; // the file is still being sampled; sentenceCount grows
    bool waiting = false; // a reading waits for its sentence (or place) to be found
    // No reading runs and play reads on: a countdown held by pause, or the pause
    // rule that waits for play.
    bool held = false;
    // The waveform strip, in view columns.
    int32_t viewOffset = 0, highlightFirst = 0, highlightLast = 0, playColumn = 0;
    bool playLineShown = false;    // draw the line at playColumn (it blinks while paused)
    uint64_t waveGeneration = 0;   // changes whenever the shown columns or breakpoints change
    uint64_t growGeneration = 0;   // changes when a load appends samples or breakpoints only
    int64_t knownSamples = 0;      // how many samples have arrived (all, once loaded)
    // The progress slider, the pause gauge and the sampling gauge (-1: hidden).
    int32_t sliderPosition = 0, sliderMax = 1, pauseGaugeProgress = 0, pauseGaugeMax = 100;
    int32_t samplingPercent = -1;
};

class TRepeater : public QObject {
    Q_OBJECT
public:
    // player and clock must outlive the repeater; stripWidth in columns (pixels).
    TRepeater(IPlayer &player, IClock &clock, int32_t stripWidth, QObject *parent = nullptr);
    ~TRepeater() override;

    TReport Report() const;
    const TLesson *Lesson() const { return lesson_.fileName.empty() ? nullptr : &lesson_; }
    const TViewColumns &View() const { return v_; }
    // The stored play range (ms) and the reading number.
    int32_t RangeStart() const { return strip_.RangeStart(); }
    int32_t RangeEnd() const { return strip_.RangeEnd(); }
    int32_t ReadCount() const { return readCount_; }
    bool UseStoredRange() const { return strip_.UseStored(); }
    int32_t PauseLengthNow() const;
    int32_t PauseElapsed() const { return timerPauseTag_; }
    TPhase Phase() const { return phase_; }
    // Where a reading of a range ending at end stops: the player reads on past
    // the end, so that the last sound of a sentence is not cut.
    int32_t ReadingStopMs(int32_t end) const;

    // --- loading (a transaction while the file opens, then growing) ---
    using TSourceStarter = std::function<std::unique_ptr<ILessonSource>(const std::string &path)>;
    // Opens the file with the source starter gives and the player's file, and
    // swaps them in only when both succeeded; otherwise rethrows with the lesson
    // in use, its view and its texts as they were (the player stopped). A load
    // still running is cancelled first. Then the lesson grows on the Load timer:
    // play, next and the mouse work on the sentences known so far, and the load
    // ends with the trace's "load" line.
    void OpenAudioFile(const std::string &file, const TSourceStarter &starter);
    // Stops a load in progress and waits for its workers; the lesson keeps what it
    // has (the window's close).
    void CancelLoad();

    // --- operations (the buttons, menus and remote controls) ---
    void Play();
    void Pause();
    void Stop();
    void Previous();
    void Next();
    // Make sentence i current and highlighted without reading it; stops playback.
    void ChooseSentence(int32_t i);
    // Read sentence i from its first reading.
    void PlaySentence(int32_t i);
    void SetMode(TMode mode);
    // Review: previous, next and the advance after a last reading go only to the
    // sentences starting at startsMs (the sentences found so far); empty: all.
    void SetReview(std::vector<int32_t> startsMs);
    bool Reviewing() const { return order_.Reviewing(); }
    void SetRepeatIndex(int index);
    void SetPauseIndex(int index);
    // The plain speed, for every reading; turns a speed ladder off.
    void SetSpeed(int percent);
    // A speed ladder (speedladder.h): reading k of each sentence at step min(k,
    // last), the reading in progress taking its step at once; empty: the plain speed.
    void SetLadder(std::vector<int> steps);
    void SpeedTrackEnd();
    void SliderTrack(int32_t positionMs);
    void SliderChange(int32_t positionMs);
    // The waveform strip, x in view columns.
    void MouseDown(Qt::MouseButton button, bool ctrl, int32_t x);
    void MouseMove(bool leftHeld, bool ctrl, int32_t x);
    void MouseUp(Qt::MouseButton button, bool ctrl, int32_t x);
    void ShowNotice(const std::string &text);
    // Writes the breakpoints and their texts as an LRC file at path (replacing it
    // through a new file and a rename) and keeps them as the file holds them.
    // Throws when the file cannot be written: the file on disk stays as it was.
    void SaveBreakpoints(const std::string &path);
    // Puts breakpoints kept from an earlier session in place of the list (times in
    // ms with their texts, ascending) once the load has ended. A reading under
    // way goes on, its sentence (found by its start) current; otherwise playback
    // stops and the first sentence is current. False, changing nothing, while the
    // load runs or for fewer than two breakpoints.
    bool ReplaceBreakpoints(const std::vector<std::pair<int32_t, std::string>> &points);

    // --- shadowing (repeater_shadow.cpp) ---
    // With takes, the pause after each reading becomes the learner's time to
    // speak (SpeakingTime), then the sentence and the take play as chosen, then
    // the next reading follows. nullptr: off. takes must outlive its use here.
    void SetShadowing(ITakes *takes);
    bool Shadowing() const { return takes_ != nullptr; }
    void SetReplay(TReplay replay) { replay_ = replay; }
    TReplay Replay() const { return replay_; }
    // From the takes: the take ended, kept (something was said) or not.
    void TakeEnded(bool kept);
    // From the takes: the take's playing ended.
    void TakePlayed();

    // --- from the player and the clock ---
    void PlayerStarted();
    void PlayerPaused();
    void PlayerResumed();
    void PlayerStopped();
    void SegmentEnded();
    void FileEnded();
    void Timer_playTimer();
    void timer_pauseTimer();
    void Timer_ShowPosTimer();
    void Timer_loadTimer();

signals:
    void Changed();
    // One event for the program's trace: kind (status, notice, read, open, load,
    // break, text, and speed: a ladder's step, in percent, before its read) and its detail. Emitted at once, in order. "open": the new
    // lesson is in use (its sampling may go on); "load": the load has ended.
    void Traced(const std::string &kind, const std::string &detail);
    // The last reading of sentence has ended (before anything moves on).
    void LastReadingFinished(int32_t sentence);

private:
    // Folds the Changed of nested operations into one, sent when the outermost ends.
    class TBatch {
    public:
        explicit TBatch(TRepeater &r) : r_(r) { ++r_.batchDepth_; }
        ~TBatch() {
            if (--r_.batchDepth_ == 0)
                emit r_.Changed();
        }
        TBatch(const TBatch &) = delete;
        TBatch &operator=(const TBatch &) = delete;

    private:
        TRepeater &r_;
    };
    void enter(TCue cue);
    // A countdown, a hold or a wait ends without its reading (the player keeps
    // what it holds).
    void dropPending();
    // Everything stops: the pending step and the player.
    void settle();
    void setStatus(const std::string &text);
    void showFileInfo();
    void stopPlayTimers();
    void cancelPauseCountdown();
    bool startReading(int32_t start, int32_t end);
    // The reading about to start takes the plain speed or its ladder step.
    void applyReadingSpeed();
    void restartRange(int32_t start, int32_t end);
    bool goToSentence(int32_t i);
    void jumpToSentence(int32_t i);
    void afterReading();
    bool advanceSentence();
    void startPauseAfterReading();
    void markSentence(int32_t i);
    int32_t endOfFileColumn() const;
    void selectSentence(int32_t i);
    void editBreakpoint(Qt::MouseButton button, int32_t t);
    bool withinFile(int32_t x) const;
    void traceBreakpoints();
    void traceText();
    void prepareFirstRange();
    // The sentences that can be read: all once loaded, the known ones before.
    int32_t sentenceCount() const { return load_.ReadableSentences(lesson_); }
    void pollLoad();
    void finishLoad(const std::string &notice);
    // A reading waits for what the load has not yet found: sentence i, as a jump or
    // as the advance after a last reading (with its pause), or the sentence at a place.
    enum class TWaitKind { Jump, Advance, Place };
    void waitFor(TWaitKind kind, int32_t target);
    void resolveWait();
    // A place chosen past what the load has found: its sentence is chosen once found.
    void choosePlace(int32_t ms);
    void resolvePlace();
    bool hasFile() const { return !lesson_.fileName.empty(); }
    int32_t repeatCountNow() const;
    void setTimeLabel(int32_t ms);
    void redraw() { ++waveGeneration_; }
    // The player holds a reading it can pause or stop: one under way or one that
    // rests at its range end.
    bool playerHolds() const;
    // Shadowing: the take after a reading, its replay, and how the cycle goes on.
    enum class TAfterShadow { PauseRule, ReadOn, Hold };
    void startSpeaking();
    void replayTake();
    void finishShadow(TAfterShadow how);
    void cutShadow(TAfterShadow how);
    void dropShadow(); // the take or its replay stops, nothing follows from it
    void readAfterPause();

    IPlayer &player_;
    IClock &clock_;
    TLesson lesson_;
    TGrowingLoad load_;
    TSentenceOrder order_;
    TViewColumns v_;
    TStripInput strip_{v_};
    int batchDepth_ = 0;

    // The reading cycle.
    TPhase phase_ = TPhase::Idle;
    TWaitKind waitKind_ = TWaitKind::Jump;
    int32_t waitTarget_ = 0;  // a sentence index, or a place in ms
    int32_t chosenPlace_ = -1; // ms, while a chosen place waits to be found
    bool fileEnded_ = false;   // the last reading ran to the end of the file
    int32_t readCount_ = 0, rangeLength_ = 0;
    bool everStarted_ = false;  // previous and next are usable once anything has played
    bool lastReadingFinished_ = false;
    int32_t timerPauseTag_ = 0;
    ITakes *takes_ = nullptr;
    TReplay replay_ = TReplay::SentenceThenTake;
    TAfterShadow afterShadow_ = TAfterShadow::PauseRule;
    int32_t shadowStart_ = 0, shadowEnd_ = 0, speakingMs_ = 0; // the sentence just read, the time to speak

    // The state record.
    int32_t curSentence_ = 0;
    TMode repeatMode_ = TMode::Marked;
    int repeatIndex_, pauseIndex_, speed_ = 0;
    std::vector<int> ladder_;
    int readingSpeed_ = 0; // what the player was last tuned to by a reading or a ladder
    bool busy_ = false;
    int32_t followStart_ = 0, followEnd_ = 0;
    int32_t lastSeenSentence_ = 0;
    bool playLineShown_ = true;
    bool firstRangePending_ = false; // the first sentence is not yet known
    bool statusShowsLoad_ = false;   // nothing has spoken in the status cell since the load began

    // The texts and gauges the window shows.
    std::string status_ = "停止";
    std::string notice_;
    std::string timeLabel_ = "00:00 / 00:00";
    std::string speedHint_;
    int32_t sliderPosition_ = 0;
    int32_t pauseGaugeProgress_ = 0, pauseGaugeMax_ = 100;
    int32_t samplingPercent_ = -1;
    uint64_t waveGeneration_ = 0, growGeneration_ = 0;
};

} // namespace vorel::repeater
