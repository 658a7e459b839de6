#include "growingload.h"

#include <exception>

#include "channelinfo.h"

namespace vorel::repeater {

TGrowingLoad::TStep TGrowingLoad::Poll(TLesson &lesson) {
    TStep step;
    if (!source_)
        return step;
    try {
        step.growth = source_->Poll(lesson);
        step.notice = step.growth.notice;
    } catch (const std::exception &e) {
        step.notice = std::string("采样中断：") + e.what();
        step.growth = TGrowth{};
        step.growth.finished = true;
        if (lesson.segments->Count() > 0) {
            CloseAtSampledEnd(*lesson.segments, static_cast<int32_t>(lesson.samples.size()) * audio::MsPerColumn);
            step.growth.breakpoints = true;
        }
    }
    if (step.growth.finished)
        source_.reset();
    return step;
}

int32_t TGrowingLoad::ReadableSentences(const TLesson &lesson) const {
    return source_ ? source_->KnownSentences(lesson) : lesson.SentenceCount();
}

int32_t TGrowingLoad::ReadableSentenceAt(const TLesson &lesson, int32_t ms) const {
    const int32_t readable = ReadableSentences(lesson);
    if (readable < 1)
        return -1;
    // Before the first breakpoint: the first sentence.
    if (ms < lesson.segments->Items(0).TimeMs)
        return 0;
    int32_t start = 0, end = 0;
    const int32_t found = lesson.segments->FindSentence(ms, start, end);
    if (found >= 0 && found < readable)
        return found;
    // Past the last breakpoint of a whole list: the last sentence.
    return source_ ? -1 : readable - 1;
}

} // namespace vorel::repeater
