#include "sentenceorder.h"

#include <algorithm>

namespace vorel::repeater {

void TSentenceOrder::SetReview(std::vector<int32_t> startsMs) {
    std::sort(startsMs.begin(), startsMs.end());
    review_ = std::move(startsMs);
}

bool TSentenceOrder::inOrder(const segment::TSegmentList &list, int32_t i) const {
    return review_.empty() || std::binary_search(review_.begin(), review_.end(), list.Items(i).TimeMs);
}

int32_t TSentenceOrder::After(const segment::TSegmentList &list, int32_t cur, int32_t count) const {
    for (int32_t i = std::max(cur + 1, 0); i < std::min(count, list.Count()); ++i)
        if (inOrder(list, i))
            return i;
    return -1;
}

int32_t TSentenceOrder::Before(const segment::TSegmentList &list, int32_t cur) const {
    for (int32_t i = std::min(cur, list.Count()) - 1; i >= 0; --i)
        if (inOrder(list, i))
            return i;
    return -1;
}

} // namespace vorel::repeater
