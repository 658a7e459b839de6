// One loaded recording: what a load builds beside the lesson in use and hands
// over whole, or not at all. GUI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "channelinfo.h"
#include "segmentlist.h"

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

    int32_t SentenceCount() const;
};

// Sampling progress 0..100; the program keeps its window responsive from here.
using TLoadProgress = std::function<void(int32_t percent)>;

// Builds the lesson of an audio file: the file's information from a decoding
// stream of its own (the player is not touched), the amplitude envelope, and the
// breakpoints from the ".lrc" file beside it or from the splitter. Throws the
// decoder's, reader's or list's error; nothing outside the returned lesson changes.
// Needs the audio libraries bound.
TLesson LoadLesson(const std::string &path, const TLoadProgress &progress);

} // namespace vorel::repeater
