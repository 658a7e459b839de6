// Which sentence comes before or after another: every sentence, or, in review,
// only those whose start is listed (the learner's marked ones). The previous,
// next and advance operations ask here; nothing else knows about review.
// GUI thread, as the repeater.
#pragma once

#include <cstdint>
#include <vector>

#include "segmentlist.h"

namespace vorel::repeater {

class TSentenceOrder {
public:
    // Review the sentences starting at startsMs (any order); empty: every sentence.
    void SetReview(std::vector<int32_t> startsMs);
    bool Reviewing() const { return !review_.empty(); }
    // The first sentence in the order after cur among the first count of list, or -1.
    int32_t After(const segment::TSegmentList &list, int32_t cur, int32_t count) const;
    // The last sentence in the order before cur, or -1.
    int32_t Before(const segment::TSegmentList &list, int32_t cur) const;

private:
    bool inOrder(const segment::TSegmentList &list, int32_t i) const;
    std::vector<int32_t> review_; // ascending
};

} // namespace vorel::repeater
