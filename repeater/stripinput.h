// The waveform strip's input: the stored range that play reads, what a press, a
// drag and a release choose in each mode, and the rule of Ctrl edits, over the
// view columns it is given. The repeater carries out what it decides (stops or
// pauses the reading, picks the sentence, plays, says so). GUI thread.
#pragma once

#include <Qt>

#include <cstdint>

#include "segmentlist.h"
#include "viewcolumns.h"

namespace vorel::repeater {

// What the waveform strip's mouse chooses: a sentence, one key's drag or clicks
// (play from there, replay up to the line), or a stretch between a left and a right click.
enum class TMode { Marked, OneKey, LeftRight };

class TStripInput {
public:
    explicit TStripInput(TViewColumns &view) : v_(view) {}

    // --- the stored range: what play reads (ms), from view columns
    void SetRange(int32_t c1, int32_t c2);
    // A range in ms, its columns as they were (a reading of the highlight).
    void StoreMs(int32_t start, int32_t end) {
        start_ = start;
        end_ = end;
    }
    // Highlights c1..c2 and stores it.
    void Mark(int32_t c1, int32_t c2);
    // The view moved by shift columns: the stored range keeps its times.
    void ShiftRange(int32_t shift) { SetRange(x1_ + shift, x2_ + shift); }
    // Stores c1..c2 with nothing highlighted (its columns forgotten: the view
    // moves on from there).
    void StoreWithoutHighlight(int32_t c1, int32_t c2);
    int32_t RangeStart() const { return start_; }
    int32_t RangeEnd() const { return end_; }
    int32_t RangeEndColumn() const { return x2_; }
    // Play reads the stored range, not the highlight (one-key mode, a range set by the slider).
    bool UseStored() const { return useStored_; }
    void SetUseStored(bool use) { useStored_ = use; }

    // --- a press, its drag and its release, x in view columns
    // What a press does to a reading under way.
    enum class TOnReading { Stop, PauseOrResume };
    // A press at x (within the file); reading: a reading is under way or paused.
    // An edit's press (ctrl) is never followed by playback.
    TOnReading Press(TMode mode, Qt::MouseButton button, bool ctrl, int32_t x, bool reading);
    // The press's choice in the strip once the reading is stopped or paused. In
    // marked mode with the left button the caller picks the sentence.
    void Choose(TMode mode, Qt::MouseButton button, int32_t x);
    // True when the one-key drag moved.
    bool Drag(TMode mode, bool leftHeld, bool ctrl, int32_t x);
    enum class TRelease { Nothing, Hold, Read };
    // Nothing for a release without its press (an edit, a press beyond the end);
    // Hold: the one-key click right of a reading holds it paused.
    TRelease Release(TMode mode, Qt::MouseButton button, bool ctrl);
    // Forgets a press (the file changed under it, or it was refused).
    void Reject() { accepted_ = false; }

    // --- Ctrl edits: a left click adds a breakpoint at t unless one lies within
    // the tolerance, a right click deletes the one within it. Returns the index of
    // the sentence then holding t, or -1 when nothing changed.
    static constexpr int32_t EditToleranceMs = 200; // five columns either side
    static int32_t EditBreakpoint(segment::TSegmentList &list, Qt::MouseButton button, int32_t t);

private:
    TViewColumns &v_;
    int32_t x1_ = 0, x2_ = 0, start_ = 0, end_ = 0;
    bool useStored_ = false;
    bool accepted_ = false; // the last press chose what to play
    int32_t pressCursor_ = 0;
    bool pressReading_ = false, holdAfterClick_ = false;
};

} // namespace vorel::repeater
