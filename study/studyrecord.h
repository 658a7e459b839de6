// The learner's record of one recording, as plain values: what the store keeps
// and hands back. Times are ms from the start of the recording.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fingerprint.h"

namespace vorel::study {

// Where the learner was: the current sentence and its start.
struct TPosition {
    int32_t sentence = 0;
    int32_t startMs = 0;
    bool operator==(const TPosition &) const = default;
};

struct TKeptBreakpoint {
    int32_t ms = 0;
    std::string text; // the sentence's text from here on, or empty
    bool operator==(const TKeptBreakpoint &) const = default;
};

// Breakpoints as the learner edited them, with the breakpoint file beside the
// recording as it was then (nullopt: there was none). When the file has changed
// since (SideFileWins), the file wins.
struct TKeptBreakpoints {
    std::vector<TKeptBreakpoint> points;
    std::optional<TFileStamp> sideFile;
    bool operator==(const TKeptBreakpoints &) const = default;
};

// The playing settings of the recording, in the repeater's own units: list
// indexes for repeat count and pause rule, the mode, the speed as the tempo
// change in percent, and a speed ladder (one speed per reading, in the same
// unit; empty: the plain speed holds for every reading).
struct TSettings {
    int repeatIndex = 0;
    int pauseIndex = 0;
    int mode = 0;
    int speed = 0;
    std::vector<int> ladder;
    bool operator==(const TSettings &) const = default;
};

// Per sentence, keyed by its start.
struct TSentenceNote {
    int32_t reads = 0;
    bool marked = false;
    bool operator==(const TSentenceNote &) const = default;
};

// What is known of a recording; every part is absent until something set it.
struct TRecord {
    std::optional<TPosition> position;
    std::optional<TKeptBreakpoints> breakpoints;
    std::optional<TSettings> settings;
    std::map<int32_t, TSentenceNote> sentences;
    bool Empty() const { return !position && !breakpoints && !settings && sentences.empty(); }
    bool operator==(const TRecord &) const = default;
};

} // namespace vorel::study
