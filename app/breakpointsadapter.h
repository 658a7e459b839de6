// The waveform view sees the breakpoint list through this adapter, so that the
// view needs nothing of the segmentation and audio layers.
#pragma once

#include "segment/segmentlist.h"
#include "view/waveoscope.h"

namespace vorel::app {

class TSegmentBreakpoints : public view::TBreakpoints {
public:
    explicit TSegmentBreakpoints(const segment::TSegmentList *list = nullptr) : list_(list) {}
    void SetList(const segment::TSegmentList *list) { list_ = list; }
    int32_t Count() const override { return list_ ? list_->Count() : 0; }
    int32_t TimeAt(int32_t index) const override { return list_->Items(index).TimeMs; }
    int32_t FindSentence(int32_t t, int32_t &start, int32_t &end) const override {
        if (!list_ || list_->Count() == 0) {
            start = end = t;
            return -1;
        }
        return list_->FindSentence(t, start, end);
    }

private:
    const segment::TSegmentList *list_;
};

} // namespace vorel::app
