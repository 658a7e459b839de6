// The repeater's rules without a window.
#include <gtest/gtest.h>

#include "repeatrules.h"
#include "speedladder.h"

using namespace vorel::repeater;

TEST(RepeatRules, ReadingsPerRange) {
    const std::pair<int, int32_t> cases[] = {{0, Forever}, {1, 1}, {4, 5}, {7, 30}, {-1, 1}, {8, 1}};
    for (auto [index, readings] : cases)
        EXPECT_EQ(RepeatCount(index), readings) << index;
}

TEST(RepeatRules, PauseAfterAReading) {
    const struct {
        int index;
        int32_t length, pause;
    } cases[] = {
        {0, 3000, 0},      {1, 3000, 0},       {2, 3000, 500},   {9, 0, 60000},
        {10, 3000, 3000},  {11, 3000, 4000},   {12, 500, 1},     {16, 3000, 1}, // 句长-5秒 never below 1 ms
        {17, 3000, 6000},  {18, 1, 1},         {19, 3000, 9000}, {21, 3000, 600},
        {22, 3000, 300},   {21, 4, 1},         {23, 3000, 0},    {19, 2000000000, Forever}, // no wrap
    };
    for (const auto &c : cases)
        EXPECT_EQ(PauseLength(c.index, c.length), c.pause) << c.index << " " << c.length;
}

TEST(RepeatRules, Texts) {
    EXPECT_EQ(RepeatLabel(2, 5), "朗读遍数：2/5");
    EXPECT_EQ(RepeatLabel(1, Forever), "朗读遍数：1/永远");
    EXPECT_EQ(SentenceCountText(12), "共12个句子");
    EXPECT_EQ(SpeedHint(20), "变速器--120%速度播放");
    EXPECT_EQ(SpeedHint(-40), "变速器--60%速度播放");
    EXPECT_EQ(SpeedHint(0), "变速器--正常速度播放");
    EXPECT_EQ(SpeedNotice(20), "播放速率调整：120%");
    EXPECT_EQ(SpeedTitle(-30), "变速器 70%");
    EXPECT_EQ(SpeedTitle(0), "变速器");
    EXPECT_EQ(PauseRuleItems().size(), 23u);
    EXPECT_EQ(PauseRuleItems()[DefaultPauseIndex], "句长1/5");
    EXPECT_EQ(RepeatCountItems()[DefaultRepeatIndex], "1次");
}

TEST(SpeedLadder, ReadingKTakesStepMinKLast) {
    const std::vector<int> up = {-30, -15, 0};
    const struct {
        std::vector<int> steps;
        int32_t reading;
        int speed;
    } cases[] = {
        {{}, 3, 25},       {up, 0, -30},           {up, 1, -30},          {up, 2, -15}, {up, 3, 0},
        {up, 4, 0},        {up, Forever, 0},       {{-90, 70}, 1, -40},   {{-90, 70}, 2, 40}, // kept within the slider
    };
    for (const auto &c : cases)
        EXPECT_EQ(LadderSpeed(c.steps, c.reading, 25), c.speed) << c.reading;
    EXPECT_EQ(LadderIndex({}), 0);
    EXPECT_EQ(LadderIndex(up), 1);
    EXPECT_EQ(LadderIndex({-1, 0}), 0); // an unlisted ladder shows as none
    EXPECT_EQ(LadderNotice({0, -20, -40}), "逐遍变速：100%→80%→60%");
}
