// The growing load's rules: where the sampled end closes the list, and which
// sentence a place gives while the load runs and after it.
#include <gtest/gtest.h>

#include "growingload.h"

namespace vorel::repeater {
namespace {

std::vector<int32_t> timesOf(const segment::TSegmentList &list) {
    std::vector<int32_t> t;
    for (int32_t i = 0; i < list.Count(); ++i)
        t.push_back(list.Items(i).TimeMs);
    return t;
}

TEST(GrowingLoadTest, TheSampledEndClosesTheListOnce) {
    const struct {
        std::vector<int32_t> before;
        int32_t end;
        std::vector<int32_t> after;
    } cases[] = {
        {{0, 2000}, 5000, {0, 2000, 5000}},
        {{0}, 0, {0, 0}},                           // too short to sample: one empty sentence
        {{0, 2000, 8000}, 5000, {0, 2000, 5000, 8000}}, // the learner's breakpoint past it stays
        {{0, 5000}, 5000, {0, 5000}},               // already closed: not twice
    };
    for (const auto &c : cases) {
        segment::TSegmentList list;
        for (int32_t t : c.before)
            list.Add({t, "", ""});
        CloseAtSampledEnd(list, c.end);
        EXPECT_EQ(timesOf(list), c.after) << c.end;
    }
}

// Knows the sentences whose end lies before `known` ms.
class PartSource : public ILessonSource {
public:
    explicit PartSource(int32_t known) : known_(known) {}
    TLesson Begin() override { return {}; }
    TGrowth Poll(TLesson &) override { return {}; }
    int32_t Percent() const override { return 10; }
    int32_t KnownSentences(const TLesson &lesson) const override {
        int32_t n = 0;
        while (n < lesson.SentenceCount() && lesson.segments->Items(n + 1).TimeMs <= known_)
            ++n;
        return n;
    }

private:
    int32_t known_;
};

TEST(GrowingLoadTest, APlaceGivesItsSentenceOnlyOnceItCanBeRead) {
    TLesson lesson;
    for (int32_t t : {1000, 3000, 6000, 9000})
        lesson.segments->Add({t, "", ""});
    TGrowingLoad load;
    load.Begin(std::make_unique<PartSource>(6000));
    const struct {
        int32_t ms, whileLoading, afterwards;
    } cases[] = {
        {500, 0, 0},    // before the first breakpoint: the first sentence
        {2000, 0, 0},
        {5999, 1, 1},
        {6000, -1, 2},  // its sentence ends past what is known
        {9000, -1, 2},  // the last breakpoint, and past it: the last sentence once all is known
        {20000, -1, 2},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(load.ReadableSentenceAt(lesson, c.ms), c.whileLoading) << c.ms;
        EXPECT_EQ(load.Awaits(lesson, c.ms), c.whileLoading < 0) << c.ms;
    }
    EXPECT_EQ(load.ReadableSentences(lesson), 2);
    load.Cancel();
    for (const auto &c : cases)
        EXPECT_EQ(load.ReadableSentenceAt(lesson, c.ms), c.afterwards) << c.ms;
    EXPECT_EQ(load.ReadableSentences(lesson), 3);
    EXPECT_EQ(load.Percent(), -1);
}

} // namespace
} // namespace vorel::repeater
