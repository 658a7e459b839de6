// One loaded recording: what a load builds beside the lesson in use and hands
// over whole, or not at all. GUI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "channelinfo.h"
#include "breakpointfile.h"
#include "segmentlist.h"
#include "subtitlereader.h"

namespace vorel::repeater {

struct TLesson {
    std::string fileName;
    audio::TChannelInfo info;
    segment::TStrings samples; // one amplitude text per column
    std::unique_ptr<segment::TSegmentList> segments = std::make_unique<segment::TSegmentList>();
    // The tail rule's view of the recording: its silence level and the audio
    // length one column of samples stands for.
    int32_t silenceLevel = 1800;
    double columnMs = audio::MsPerColumn;
    std::string notice; // said once the lesson is in (how the breakpoints were found), or empty
    segment::TBreakpointSource source = segment::TBreakpointSource::Split;

    int32_t SentenceCount() const;
};

// The end of the sampled audio closes the list, as the splitter's list ends: put
// after the last breakpoint, or in order before breakpoints the learner put past
// it; a list holding only its start gets a second one (audio too short to sample).
void CloseAtSampledEnd(segment::TSegmentList &list, int32_t endMs);

// Sampling progress 0..100; the program keeps its window responsive from here.
using TLoadProgress = std::function<void(int32_t percent)>;

// Builds the lesson of an audio file: the file's information from a decoding
// stream of its own (the player is not touched), the amplitude envelope, and the
// breakpoints from the ".lrc" file beside it or from the splitter. Throws the
// decoder's, reader's or list's error; nothing outside the returned lesson changes.
// Needs the audio libraries bound.
TLesson LoadLesson(const std::string &path, const TLoadProgress &progress);

// What one poll of a load added to its lesson.
struct TGrowth {
    bool samples = false;     // samples were appended
    bool breakpoints = false; // breakpoints were appended to the list
    bool replaced = false;    // the whole list was replaced (the noise floor, at the end)
    bool finished = false;    // the lesson is complete: nothing more comes
    std::string notice;       // for the info line at the end (how the breakpoints were found)
};

// A lesson whose envelope and breakpoints arrive while it is in use. GUI thread.
class ILessonSource {
public:
    virtual ~ILessonSource() = default;
    // The lesson as far as it is known at once: the file's information, the
    // breakpoints of a file beside it; called once.
    virtual TLesson Begin() = 0;
    // Adds to lesson what has arrived since the last poll. Throws the sampler's
    // error; the lesson then holds what came before it.
    virtual TGrowth Poll(TLesson &lesson) = 0;
    // The share of the file sampled, 0..100.
    virtual int32_t Percent() const = 0;
    // How many sentences of lesson can be read now: their ends and tails are
    // sampled, so that a reading stops where it will stop once all is known.
    virtual int32_t KnownSentences(const TLesson &lesson) const = 0;
};

// The program's load: opens the file at once (throws the decoder's error), then
// samples it on worker threads (threads 0: one per core) and splits it as the
// samples arrive. The breakpoints and samples equal those of LoadLesson. Needs the
// audio libraries bound. Destroying the source stops and joins its workers.
std::unique_ptr<ILessonSource> StartLesson(const std::string &path, unsigned threads = 0);

// Sentences with their times found while the lesson is in use (a transcript
// aligned to the recording). GUI thread.
class ITimedTexts {
public:
    virtual ~ITimedTexts() = default;
    virtual int32_t Percent() const = 0; // 0..100
    // False while the work goes on; then true once, with the sentences (none when
    // it failed) and what the info line should say about them.
    virtual bool Take(std::vector<segment::TCue> &cues, std::string &notice) = 0;
};
// Timed texts over a shared job that has the same Percent and Take (an alignment
// running on its own thread); the job lives as long as its longest holder.
template <class TJob>
std::unique_ptr<ITimedTexts> TimedTextsOf(std::shared_ptr<TJob> job) {
    class TOfJob : public ITimedTexts {
    public:
        explicit TOfJob(std::shared_ptr<TJob> j) : job_(std::move(j)) {}
        int32_t Percent() const override { return job_->Percent(); }
        bool Take(std::vector<segment::TCue> &cues, std::string &notice) override { return job_->Take(cues, notice); }

    private:
        std::shared_ptr<TJob> job_;
    };
    return job ? std::make_unique<TOfJob>(std::move(job)) : nullptr;
}

// Called only where no breakpoint file beside the audio gives breakpoints; may
// return null (nothing to align).
using TTimedTextsStarter = std::function<std::unique_ptr<ITimedTexts>()>;

// StartLesson, and where no breakpoint file gives breakpoints (or always, with
// overFiles: a text the learner chose), the timed texts: the sentences found so
// far serve until they arrive and are then replaced by them (source Txt). Texts
// that came without a sentence keep what was there.
std::unique_ptr<ILessonSource> StartTextLesson(const std::string &path, TTimedTextsStarter start,
                                               unsigned threads = 0, bool overFiles = false);

} // namespace vorel::repeater
