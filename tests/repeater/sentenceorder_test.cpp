// Review order: previous and next over the listed sentences only.
#include <gtest/gtest.h>

#include "sentenceorder.h"

namespace vorel::repeater {
namespace {

TEST(SentenceOrder, AfterAndBeforeSkipWhatIsNotReviewed) {
    segment::TSegmentList list; // sentences start at 0, 1000, ... 5000; 6000 ends the last
    for (int32_t ms = 0; ms <= 6000; ms += 1000)
        list.Add({ms, segment::TSegmentList::MakeStamp(ms), ""});
    struct Case {
        std::vector<int32_t> review;
        int32_t cur, count, after, before;
    } cases[] = {
        {{}, 2, 6, 3, 1},                  // every sentence
        {{}, 5, 6, -1, 4},                 // the last has none after
        {{}, 0, 6, 1, -1},                 // the first none before
        {{4000, 1000}, 2, 6, 4, 1},        // in review, whatever the listed order
        {{4000, 1000}, 4, 6, -1, 1},
        {{4000, 1000}, 0, 6, 1, -1},
        {{4000}, 1, 4, -1, -1},            // found so far: 4 sentences
        {{2500, 3000}, 0, 6, 3, -1},       // a start that is no sentence's counts for none
    };
    for (const Case &c : cases) {
        TSentenceOrder order;
        order.SetReview(c.review);
        EXPECT_EQ(order.Reviewing(), !c.review.empty());
        EXPECT_EQ(order.After(list, c.cur, c.count), c.after) << c.cur;
        EXPECT_EQ(order.Before(list, c.cur), c.before) << c.cur;
    }
}

} // namespace
} // namespace vorel::repeater
