#include "lesson.h"

#include <algorithm>

#include "bassstream.h"
#include "breakpointfile.h"
#include "samplelist.h"
#include "tailrule.h"

namespace vorel::repeater {

int32_t TLesson::SentenceCount() const { return segments ? std::max(0, segments->Count() - 1) : 0; }

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
    lesson.columnMs = segment::ColumnMsOf(lesson.info);
    if (!how.Notice.empty())
        lesson.notice = how.Notice;
    else if (how.LrcWithoutStamps)
        // Not one time stamp in it: sentences found at the pauses beat none at all.
        lesson.notice = "断点文件中没有有效的时间标签，已按停顿自动断句。";
    else if (how.Split.NoiseFloor)
        lesson.notice = segment::NoiseFloorSplitNotice;
    return lesson;
}

} // namespace vorel::repeater
