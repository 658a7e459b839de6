#include "lesson.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <optional>

#include "bassstream.h"
#include "breakpointfile.h"
#include "samplelist.h"
#include "splitwave.h"
#include "subtitlereader.h"
#include "tailrule.h"

namespace vorel::repeater {

int32_t TLesson::SentenceCount() const { return segments ? std::max(0, segments->Count() - 1) : 0; }

namespace {

// Not one time stamp in the breakpoint file: sentences found at the pauses beat none at all.
const char *const NoStampsNotice = "断点文件中没有有效的时间标签，已按停顿自动断句。";

// The info line's word on a load: what was skipped, then how the sentences were
// found (a breakpoint file without stamps, or the noise floor).
std::string noticeOf(const segment::TBreakpointLoad &how, bool noiseFloor) {
    const std::string skipped = segment::NoticeSummary(how.Notices);
    const std::string found = how.LrcWithoutStamps ? NoStampsNotice
                              : noiseFloor         ? segment::NoiseFloorSplitNotice
                                                   : "";
    return skipped.empty() ? found : found.empty() ? skipped : skipped + " " + found;
}

// An LRC or subtitle file's breakpoints are known before sampling; its first
// sentence waits for this much sound so that the first reading has its tail.
constexpr int32_t FileBreakpointsFirstMs = 2000;

// Appends t; where the learner has put a breakpoint of their own past it, t goes
// into its place (and not twice).
void addInOrder(segment::TSegmentList &list, int32_t t) {
    if (list.Count() == 0 || list.Items(list.Count() - 1).TimeMs < t) {
        list.Add({t, segment::TSegmentList::MakeStamp(t), ""});
        return;
    }
    const int32_t at = list.InsertBreakpoint(t, 1);
    if (at >= 0)
        list.RefreshStamp(at);
}

} // namespace

void CloseAtSampledEnd(segment::TSegmentList &list, int32_t endMs) {
    const int32_t last = list.Count() > 0 ? list.Items(list.Count() - 1).TimeMs : -1;
    if (last < endMs || (list.Count() == 1 && last == endMs))
        list.Add({endMs, segment::TSegmentList::MakeStamp(endMs), ""});
    else if (last > endMs)
        addInOrder(list, endMs);
}

namespace {

class TProgressiveLesson : public ILessonSource {
public:
    TProgressiveLesson(const std::string &path, unsigned threads) : path_(path), feed_(path, false, threads) {}

    ~TProgressiveLesson() override {
        // Another file is opened: a long read of this one's subtitles ends early.
        stopReading_ = true;
        if (reading_.valid())
            reading_.wait();
    }

    TLesson Begin() override {
        TLesson lesson;
        lesson.fileName = path_;
        lesson.info = feed_.Info();
        lesson.columnMs = segment::ColumnMsOf(lesson.info);
        lesson.samples.reserve(feed_.TotalSamples());
        // The breakpoint or subtitle file is read beside the sampling: a million
        // cues take seconds, which the window must not wait for. What is read
        // within a moment (any usual file) is there when the lesson opens.
        reading_ = std::async(std::launch::async, [path = path_, duration = lesson.info.duration, stop = &stopReading_] {
            TFileRead read;
            read.how = segment::LoadBreakpointFile(read.list, path, duration, stop);
            return read;
        });
        if (reading_.wait_for(std::chrono::milliseconds(ReadAtOnceMs)) == std::future_status::ready)
            takeFile(lesson);
        return lesson;
    }

    // Whether the breakpoint file (or its absence) is known yet.
    bool FileKnown() const { return !reading_.valid(); }

    TGrowth Poll(TLesson &lesson) override {
        TGrowth g;
        if (reading_.valid()) {
            if (reading_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
                // The samples gather meanwhile; nothing is finished before the file is in.
                if (feed_.Take(lesson.samples) > 0)
                    g.samples = true;
                return g;
            }
            takeFile(lesson);
            g.replaced = g.breakpoints = true;
        }
        const bool finished = feed_.Finished();
        const size_t from = std::min(scanned_, lesson.samples.size());
        if (feed_.Take(lesson.samples) > 0)
            g.samples = true;
        scanned_ = lesson.samples.size();
        if (scan_)
            for (size_t i = from; i < lesson.samples.size(); ++i)
                if (const int64_t c = scan_->Feed(segment::StrToInt(lesson.samples[i])); c >= 0) {
                    addInOrder(*lesson.segments, static_cast<int32_t>(c * audio::MsPerColumn));
                    g.breakpoints = true;
                }
        if (!finished)
            return g;
        feed_.RethrowError();
        finish(lesson, g);
        return g;
    }

    int32_t Percent() const override { return feed_.Percent(); }

    int32_t KnownSentences(const TLesson &lesson) const override {
        if (reading_.valid())
            return 0;
        if (done_)
            return lesson.SentenceCount();
        if (!fromFile_)
            return lesson.SentenceCount(); // every breakpoint in the list is final
        const int64_t sampledMs = static_cast<int64_t>(lesson.samples.size()) * audio::MsPerColumn;
        if (sampledMs < FileBreakpointsFirstMs)
            return 0;
        // The reading of sentence i stops by the tail's end, which must be sampled:
        // the count of sentence ends (breakpoints 1..) early enough, found by
        // halving since the list is in time order (this is asked on every report).
        const int64_t lastEnd = sampledMs - segment::ReadingTailMs - audio::MsPerColumn;
        int32_t lo = 0, hi = lesson.SentenceCount();
        while (lo < hi) {
            const int32_t mid = lo + (hi - lo) / 2;
            if (lesson.segments->Items(mid + 1).TimeMs <= lastEnd)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

private:
    struct TFileRead {
        segment::TSegmentList list;
        segment::TBreakpointLoad how;
    };
    static constexpr int ReadAtOnceMs = 100;
    segment::TStopFlag stopReading_{false};

    void takeFile(TLesson &lesson) {
        TFileRead read = reading_.get();
        how_ = read.how;
        // The list object stays: the view holds it.
        *lesson.segments = std::move(read.list);
        fromFile_ = how_.Source != segment::TBreakpointSource::Split;
        lesson.source = how_.Source;
        settings_ = lesson.segments->Settings;
        if (!fromFile_) {
            scan_.emplace(settings_);
            lesson.segments->Add({0, segment::TSegmentList::MakeStamp(0), ""});
        }
        scanned_ = 0; // samples taken while the file was read are scanned now
        lesson.silenceLevel = settings_.SilenceLevel;
        lesson.notice = noticeOf(how_, false);
    }

    void finish(TLesson &lesson, TGrowth &g) {
        done_ = true;
        g.finished = true;
        if (fromFile_) {
            lesson.silenceLevel = segment::TailLevel(settings_, lesson.samples);
            g.notice = lesson.notice;
            return;
        }
        CloseAtSampledEnd(*lesson.segments, static_cast<int32_t>(lesson.samples.size()) * audio::MsPerColumn);
        g.breakpoints = true;
        // The noise floor needs the whole recording; where it is taken its list
        // replaces the one built so far, which holds the fixed level's breakpoints.
        segment::TStrings times;
        const segment::TSplitOutcome outcome = segment::SplitAtNoiseFloor(settings_, lesson.samples, times);
        lesson.silenceLevel = outcome.SilenceLevel;
        if (outcome.NoiseFloor) {
            lesson.segments->Clear();
            for (const std::string &v : times) {
                const int32_t t = segment::StrToInt(v);
                lesson.segments->Add({t, segment::TSegmentList::MakeStamp(t), ""});
            }
            g.replaced = true;
            lesson.notice = noticeOf(how_, true);
        }
        g.notice = lesson.notice;
    }

    std::string path_;
    segment::TSampleFeed feed_;
    segment::TBreakpointLoad how_;
    segment::TSplitSettings settings_;
    std::optional<segment::TSplitScan> scan_;
    std::future<TFileRead> reading_;
    size_t scanned_ = 0;
    bool fromFile_ = false, done_ = false;
};

// The progressive lesson until the timed texts are in; then their breakpoints.
class TTextLesson : public ILessonSource {
public:
    TTextLesson(const std::string &path, TTimedTextsStarter start, unsigned threads, bool overFiles)
        : inner_(path, threads), start_(std::move(start)), overFiles_(overFiles) {}

    TLesson Begin() override {
        TLesson lesson = inner_.Begin();
        decideTexts(lesson);
        return lesson;
    }

    TGrowth Poll(TLesson &lesson) override {
        if (!decided_ || !texts_) {
            TGrowth g = inner_.Poll(lesson);
            decideTexts(lesson);
            if (!texts_)
                return g;
            sampled_ = g.finished;
            g.finished = false;
            return withTexts(lesson, g);
        }
        TGrowth g;
        if (!sampled_) {
            g = inner_.Poll(lesson);
            sampled_ = g.finished;
            g.finished = false;
        }
        return withTexts(lesson, g);
    }

    int32_t Percent() const override { return texts_ ? std::min(inner_.Percent(), texts_->Percent()) : inner_.Percent(); }

    int32_t KnownSentences(const TLesson &lesson) const override { return inner_.KnownSentences(lesson); }

private:
    // Texts are timed over a recording without a breakpoint file, or over any
    // where asked: known once the file (or its absence) is.
    void decideTexts(const TLesson &lesson) {
        if (decided_ || !start_ || (!overFiles_ && !inner_.FileKnown()))
            return;
        decided_ = true;
        if (overFiles_ || lesson.source == segment::TBreakpointSource::Split)
            texts_ = start_();
    }

    TGrowth withTexts(TLesson &lesson, TGrowth g) {
        if (!taken_)
            taken_ = texts_->Take(cues_, notice_);
        if (!sampled_ || !taken_)
            return g;
        g.finished = true;
        if (!cues_.empty()) {
            segment::TSegmentList &list = *lesson.segments;
            list.Clear();
            segment::CuesToBreakpoints(list, std::move(cues_), lesson.info.duration);
            segment::EndAtDuration(list, lesson.info.duration);
            lesson.source = segment::TBreakpointSource::Txt;
            lesson.silenceLevel = segment::TailLevel(list.Settings, lesson.samples);
            g.replaced = g.breakpoints = true;
        }
        lesson.notice = notice_;
        g.notice = notice_;
        return g;
    }

    TProgressiveLesson inner_;
    TTimedTextsStarter start_;
    std::unique_ptr<ITimedTexts> texts_;
    std::vector<segment::TCue> cues_;
    std::string notice_;
    bool overFiles_, decided_ = false, sampled_ = false, taken_ = false;
};

} // namespace

std::unique_ptr<ILessonSource> StartTextLesson(const std::string &path, TTimedTextsStarter start, unsigned threads,
                                               bool overFiles) {
    return std::make_unique<TTextLesson>(path, std::move(start), threads, overFiles);
}

std::unique_ptr<ILessonSource> StartLesson(const std::string &path, unsigned threads) {
    return std::make_unique<TProgressiveLesson>(path, threads);
}

TLesson LoadLesson(const std::string &path, const TLoadProgress &progress) {
    TLesson lesson;
    lesson.fileName = path;
    {
        // Opening is also the check: a file that cannot be decoded fails here.
        const audio::TBassStream probe(path, false);
        lesson.info = probe.info;
    }
    segment::TWaveSampleList sampler;
    if (progress)
        sampler.SetProgressHandler([&progress](int32_t percent, bool &) { progress(percent); });
    sampler.SampleFile(path, false);
    lesson.samples = std::move(sampler.Samples);
    const segment::TBreakpointLoad how =
        segment::LoadBreakpoints(*lesson.segments, path, lesson.samples, lesson.info.duration);
    lesson.silenceLevel = how.Split.SilenceLevel;
    lesson.source = how.Source;
    lesson.columnMs = segment::ColumnMsOf(lesson.info);
    lesson.notice = noticeOf(how, how.Split.NoiseFloor);
    return lesson;
}

} // namespace vorel::repeater
