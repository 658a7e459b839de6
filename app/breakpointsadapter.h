// The waveform view sees the loaded lesson's breakpoints through this adapter, so
// that the view needs nothing of the segmentation and audio layers.
#pragma once

#include "channelinfo.h"
#include "repeater.h"
#include "waveoscope.h"

namespace vorel::app {

class TSegmentBreakpoints : public view::TBreakpoints {
public:
    explicit TSegmentBreakpoints(const repeater::TRepeater &r) : r_(r) {}
    int32_t Count() const override { return r_.Lesson() ? r_.Lesson()->segments->Count() : 0; }
    int32_t ColumnAt(int32_t index) const override {
        return r_.Lesson()->segments->Items(index).TimeMs / audio::MsPerColumn;
    }

private:
    const repeater::TRepeater &r_;
};

} // namespace vorel::app
