// A lesson's load while its envelope and breakpoints arrive: owns the source and
// keeps its completion (the share sampled, whether it has ended) apart from its
// changes (what a poll added), and answers which sentences and places can be read
// now. The controller asks it instead of branching on a load in each operation.
// GUI thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "lesson.h"

namespace vorel::repeater {

class TGrowingLoad {
public:
    // What one poll did: the lesson's change, and whether the load has ended.
    struct TStep {
        TGrowth growth;
        std::string notice; // for the info line once ended: how the sentences were found, or why it stopped
    };

    ~TGrowingLoad() { Cancel(); }
    // Takes over a source whose Begin has been called.
    void Begin(std::unique_ptr<ILessonSource> source) { source_ = std::move(source); }
    // Stops the source and joins its workers; the lesson keeps what it has.
    void Cancel() { source_.reset(); }
    bool Active() const { return source_ != nullptr; }
    // 0..100 while active, -1 when no load runs.
    int32_t Percent() const { return source_ ? source_->Percent() : -1; }

    // Adds to lesson what has arrived. A source that fails ends the load: what it
    // sampled stays usable, the list ends there, and the notice says why.
    TStep Poll(TLesson &lesson);

    // The sentences that can be read now: all once the load has ended.
    int32_t ReadableSentences(const TLesson &lesson) const;
    // The sentence holding ms if it can be read now, else -1. Once the load has
    // ended, past the last breakpoint: the last sentence (-1 without any).
    int32_t ReadableSentenceAt(const TLesson &lesson, int32_t ms) const;
    // Whether the sentence holding ms is still to come from the load.
    bool Awaits(const TLesson &lesson, int32_t ms) const { return Active() && ReadableSentenceAt(lesson, ms) < 0; }

private:
    std::unique_ptr<ILessonSource> source_;
};

} // namespace vorel::repeater
