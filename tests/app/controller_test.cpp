// The repeat controller in the window, on the manual clock: readings, counts,
// pauses, navigation, modes, breakpoint edits and the two sliders.
#include "windowfixture.h"

#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>

#include "view/mmslider.h"
#include "view/waveoscope.h"
#include "widgets.h"

using namespace vorel::app;
using vorel::app::test::MakeToneLesson;
using vorel::app::test::WindowTest;

namespace {

struct Reading {
    int32_t start, end;
    std::string label;
    bool operator==(const Reading &) const = default;
};

std::ostream &operator<<(std::ostream &o, const Reading &r) { return o << r.start << ".." << r.end << " " << r.label; }

} // namespace

class ControllerTest : public WindowTest {
protected:
    // Three sentences of 1.5 s tone and 0.5 s silence: breakpoints 0, 2000, 4000, 6000.
    void loadLesson() {
        ASSERT_TRUE(w->OpenFile(MakeToneLesson(dir, "lesson", {1.5, 1.5, 1.5}, 0.5, true)));
        ASSERT_EQ(w->segments->Count(), 4);
    }
    Reading now() const { return {w->rangeStart, w->rangeEnd, w->l_repeat->text().toStdString()}; }
    // Plays on from the current reading until the material ends, recording every
    // reading started; pauses run to their end at once.
    std::vector<Reading> readAll(int maxReadings = 40) {
        std::vector<Reading> seen{now()};
        for (int i = 0; i < maxReadings; ++i) {
            renderUntilEnd();
            if (w->timer_pause->isActive())
                finishPause();
            if (!w->playing)
                break;
            seen.push_back(now());
        }
        return seen;
    }
};

TEST_F(ControllerTest, EachSentenceIsReadAsOftenAsChosenThenTheNext) {
    loadLesson();
    w->cb_repeattimes->setCurrentIndex(3); // 3次
    w->cb_pausetime->setCurrentIndex(3);   // 1秒
    w->playbtnClick();
    EXPECT_EQ(w->StatusText(), "开始播放");
    const std::vector<Reading> expected = {
        {0, 2000, "朗读遍数：1/3"},    {0, 2000, "朗读遍数：2/3"},    {0, 2000, "朗读遍数：3/3"},
        {2000, 4000, "朗读遍数：1/3"}, {2000, 4000, "朗读遍数：2/3"}, {2000, 4000, "朗读遍数：3/3"},
        {4000, 6000, "朗读遍数：1/3"}, {4000, 6000, "朗读遍数：2/3"}, {4000, 6000, "朗读遍数：3/3"},
    };
    EXPECT_EQ(readAll(), expected);
    EXPECT_FALSE(w->playing);
    EXPECT_EQ(w->StatusText(), "文件播放结束");
    // The 100-ms tail past each range never made the next sentence current early:
    // sentence k was current at every tick of its own readings.
    std::vector<int32_t> changes;
    for (int32_t s : seenSentences)
        if (changes.empty() || changes.back() != s)
            changes.push_back(s);
    EXPECT_EQ(changes, (std::vector<int32_t>{0, 1, 2}));
}

TEST_F(ControllerTest, PauseRulesDecideWhenTheNextReadingStarts) {
    loadLesson();
    w->cb_repeattimes->setCurrentIndex(2); // 2次

    w->cb_pausetime->setCurrentIndex(0); // 无: at once, said so
    w->playbtnClick();
    renderUntilEnd();
    EXPECT_TRUE(w->playing);
    EXPECT_EQ(w->StatusText(), "定时自动播放");
    EXPECT_EQ(now(), (Reading{0, 2000, "朗读遍数：2/2"}));

    w->cb_pausetime->setCurrentIndex(1); // 暂停: waits for play
    renderUntilEnd();
    EXPECT_FALSE(w->playing);
    EXPECT_FALSE(w->timer_pause->isActive());
    EXPECT_EQ(w->StatusText(), "暂停...");
    w->pausebtnClick(); // starts nothing while waiting
    EXPECT_FALSE(w->playing);
    w->playbtnClick();
    EXPECT_TRUE(w->playing);
    EXPECT_EQ(now(), (Reading{2000, 4000, "朗读遍数：1/2"}));

    w->cb_pausetime->setCurrentIndex(16); // 句长-5秒 on a 2-s range: 1 ms
    renderUntilEnd();
    EXPECT_TRUE(w->timer_pause->isActive());
    EXPECT_EQ(w->PauseLengthNow(), 1);
    // Pause during the countdown holds it; pause again plays the stored range.
    w->pausebtnClick();
    EXPECT_FALSE(w->timer_pause->isActive());
    EXPECT_EQ(w->fg2->Progress(), 0);
    EXPECT_FALSE(w->playing);
    w->pausebtnClick();
    EXPECT_TRUE(w->playing);
    EXPECT_EQ(now(), (Reading{2000, 4000, "朗读遍数：2/2"}));
    // And the next pause press pauses: the held state's flag is spent.
    w->pausebtnClick();
    EXPECT_TRUE(w->paused);
    EXPECT_EQ(w->StatusText(), "暂停...");
    w->pausebtnClick();
    EXPECT_FALSE(w->paused);
    EXPECT_EQ(w->StatusText(), "恢复播放");
}

TEST_F(ControllerTest, ChangingThePauseRuleRestartsTheCountdown) {
    loadLesson();
    w->cb_repeattimes->setCurrentIndex(2);
    w->cb_pausetime->setCurrentIndex(5); // 5秒
    w->playbtnClick();
    renderUntilEnd();
    for (int i = 0; i < 40; ++i)
        w->timer_pauseTimer();
    EXPECT_EQ(w->timerPauseTag, 2000);
    w->cb_pausetime->setCurrentIndex(3); // 1秒
    w->cb_pausetimeChange();
    EXPECT_TRUE(w->timer_pause->isActive());
    EXPECT_EQ(w->timerPauseTag, 0);
    EXPECT_EQ(w->fg2->MaxValue(), 1000);
    for (int i = 0; i < 19; ++i)
        w->timer_pauseTimer();
    EXPECT_FALSE(w->playing);
    w->timer_pauseTimer();
    EXPECT_TRUE(w->playing);
    EXPECT_EQ(w->StatusText(), "定时自动播放");
}

TEST_F(ControllerTest, NextWrapsPreviousStopsAndMovingResetsTheCount) {
    loadLesson();
    w->cb_repeattimes->setCurrentIndex(3);
    w->playbtnClick();
    renderUntilEnd();
    finishPause();
    EXPECT_EQ(now(), (Reading{0, 2000, "朗读遍数：2/3"}));
    const Reading steps[] = {
        {2000, 4000, "朗读遍数：1/3"}, // next
        {4000, 6000, "朗读遍数：1/3"}, // next
        {0, 2000, "朗读遍数：1/3"},    // next wraps to the first
    };
    for (const Reading &r : steps) {
        w->nextbtnClick();
        EXPECT_EQ(now(), r);
        EXPECT_TRUE(w->playing);
    }
    w->prevbtnClick(); // at the first sentence: nothing
    EXPECT_EQ(now(), steps[2]);
    EXPECT_EQ(w->SelectedRow(), 0);
    w->nextbtnClick();
    w->prevbtnClick();
    EXPECT_EQ(now(), (Reading{0, 2000, "朗读遍数：1/3"}));
    // The window background: left is previous, right is next.
    w->FormMouseDown(Qt::RightButton);
    EXPECT_EQ(w->rangeStart, 2000);
    w->FormMouseDown(Qt::LeftButton);
    EXPECT_EQ(w->rangeStart, 0);
}

TEST_F(ControllerTest, ModeSwitchesPlayToTheEndForeverAndKeepTheButtonsTrue) {
    // Without a file the mode stays, and so does the button that shows it.
    w->rg_free->click();
    EXPECT_EQ(w->repeatMode, 0);
    EXPECT_TRUE(w->rg_bj->isChecked());

    loadLesson();
    w->nextbtnClick(); // the second sentence highlighted and playing
    renderMsForTicks(500);
    const int32_t playColumn = w->waveView->PlayColumn;
    ASSERT_GT(playColumn, w->waveView->SelStart);
    w->rg_free->click();
    EXPECT_EQ(w->repeatMode, 1);
    EXPECT_TRUE(w->rg_free->isChecked());
    EXPECT_EQ(w->cb_repeattimes->currentText().toStdString(), "永远");
    EXPECT_EQ(w->rangeStart, (playColumn + w->waveView->ViewOffset) * 40);
    EXPECT_EQ(w->rangeEnd, w->PointCount() * 40);
    EXPECT_EQ(w->l_repeat->text().toStdString(), "朗读遍数：1/永远");

    // Outside marked mode a range must be longer than 400 ms.
    w->StartReading(0, 400);
    EXPECT_EQ(w->NoticeText(), "断点间隔太短，不能播放。");
    EXPECT_EQ(w->rangeEnd, w->PointCount() * 40);
    w->StartReading(0, 401);
    EXPECT_EQ(w->rangeEnd, 401);

    w->rg_bj->click();
    EXPECT_EQ(w->repeatMode, 0);
    EXPECT_TRUE(w->rg_bj->isChecked());
    w->StartReading(100, 101); // marked mode refuses only an empty range
    EXPECT_EQ(w->rangeEnd, 101);
    w->StartReading(100, 100);
    EXPECT_EQ(w->rangeEnd, 101);
}

TEST_F(ControllerTest, CtrlClicksAddAndDeleteBreakpointsWithinTolerance) {
    loadLesson();
    auto ctrlClick = [&](Qt::MouseButton b, int32_t ms) {
        const int x = ms / 40 - w->waveView->ViewOffset;
        w->MainoscopeMouseDown(b, Qt::ControlModifier, x);
        w->MainoscopeMouseUp(b, Qt::ControlModifier, x);
    };
    const struct {
        Qt::MouseButton button;
        int32_t ms;
        std::vector<int32_t> after;
        const char *notice;
    } cases[] = {
        {Qt::LeftButton, 3000, {0, 2000, 3000, 4000, 6000}, "在[3.00]处已成功添加了断点"},
        {Qt::LeftButton, 3160, {0, 2000, 3000, 4000, 6000}, "在误差允许范围内，无断点可供处理"},
        {Qt::RightButton, 2080, {0, 3000, 4000, 6000}, "已成功删除了[2.08]处的断点"},
        {Qt::RightButton, 40, {0, 3000, 4000, 6000}, "在误差允许范围内，无断点可供处理"},
        {Qt::RightButton, 5960, {0, 3000, 4000, 6000}, "在误差允许范围内，无断点可供处理"},
        {Qt::MiddleButton, 3000, {0, 3000, 4000, 6000}, "在误差允许范围内，无断点可供处理"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.notice);
        ctrlClick(c.button, c.ms);
        std::vector<int32_t> times;
        for (int i = 0; i < w->segments->Count(); ++i)
            times.push_back(w->segments->Items(i).TimeMs);
        EXPECT_EQ(times, c.after);
        EXPECT_EQ(w->NoticeText(), c.notice);
        EXPECT_EQ(w->lvSegment->topLevelItemCount(), int(c.after.size()) - 1);
        EXPECT_FALSE(w->playing); // an edit never plays
    }
    EXPECT_EQ(w->StatusText(), "共3个句子");
    // The joined sentence 0..3000 is highlighted after the delete.
    EXPECT_EQ(w->waveView->SelStartMs, 0);
    EXPECT_EQ(w->waveView->SelEndMs, 3000);
}

TEST_F(ControllerTest, DraggingTheProgressSliderChoosesWhatPlayNext) {
    // 8-s sentences, so that the middle of the 24-s view lies inside one.
    ASSERT_TRUE(w->OpenFile(MakeToneLesson(dir, "long", {8, 8, 8}, 0.5, true)));
    w->slider->SetPosition(8500);
    w->sliderTrack();
    EXPECT_EQ(w->waveView->ViewOffset, 8500 / 40);
    EXPECT_EQ(w->l_time->text().toStdString(), "8.50 / 25.50");
    // Marked: the sentence in the middle of the view (20.64 s).
    EXPECT_EQ(w->curSentence, 2);
    EXPECT_EQ(w->rangeStart, 17000);
    EXPECT_EQ(w->rangeEnd, 25480); // the end of the audio, as a whole column
    EXPECT_FALSE(w->playing);

    w->rg_twokey->click();
    w->stopbtnClick();
    w->slider->SetPosition(9030);
    w->sliderTrack();
    // Other modes: from the view's left edge, a whole column, to the end.
    EXPECT_EQ(w->rangeStart, 9000);
    EXPECT_EQ(w->rangeEnd, w->PointCount() * 40);
    EXPECT_EQ(w->waveView->SelStart, 0);
    EXPECT_EQ(w->waveView->SelEnd, 0);
    EXPECT_TRUE(w->useStoredRange);
}

TEST_F(ControllerTest, TheSpeedSliderRetunesAndSaysSo) {
    w->sl_speed->SetPosition(20); // no file: nothing changes
    EXPECT_EQ(w->sl_speed->toolTip().toStdString(), "变速器--正常速度播放");
    w->sl_speed->SetPosition(0);
    loadLesson();
    const struct {
        int position;
        const char *hint, *notice;
    } cases[] = {
        {20, "变速器--120%速度播放", "播放速率调整：120%"},
        {-40, "变速器--60%速度播放", "播放速率调整：60%"},
        {0, "变速器--正常速度播放", "播放速率调整：100%"},
    };
    for (const auto &c : cases) {
        w->sl_speed->SetPosition(c.position);
        EXPECT_EQ(w->sl_speed->toolTip().toStdString(), c.hint);
        EXPECT_EQ(w->NoticeText(), c.notice);
    }
    w->sl_speedTrackEnd();
    EXPECT_EQ(w->NoticeText().rfind(" 时长:", 0), 0u) << w->NoticeText();
}

TEST_F(ControllerTest, TheBreakpointFileIsMadeToEndAtTheEndOfTheAudio) {
    // Audio of 6 s; the file's own stamps, and what the window keeps.
    const struct {
        const char *lrc;
        std::vector<int32_t> breakpoints;
        const char *notice;
    } cases[] = {
        {"[00:00.00]a\n[00:02.00]b\n[00:04.00]c\n", {0, 2000, 4000, 6000}, nullptr},
        {"[00:02.00]b\n[00:04.00]c\n", {0, 2000, 4000, 6000}, nullptr}, // 0 put in front
        {"[00:00.00]a\n[00:04.00]c\n[00:06.10]d\n", {0, 4000, 6000}, nullptr},
        {"[00:00.00]a\n[00:04.00]c\n[00:09.00]d\n[00:07.00]e\n", {0, 4000, 6000}, nullptr},
        // Not one stamp: the pauses decide, and the window says so.
        {"just words\n[ar:someone]\n", {0, 2000, 4000, 6000}, "断点文件中没有有效的时间标签，已按停顿自动断句。"},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lrc);
        const std::string name = "fix" + std::to_string(n++);
        // Tones long enough for the splitter: 1.5 s tone, 0.5 s pause.
        const std::string audio = MakeToneLesson(dir, name, {1.5, 1.5, 1.5}, 0.5, false);
        vorel::test::writeText(dir.file(name + ".lrc"), c.lrc);
        ASSERT_TRUE(w->OpenFile(audio));
        std::vector<int32_t> times;
        for (int i = 0; i < w->segments->Count(); ++i)
            times.push_back(w->segments->Items(i).TimeMs);
        if (c.notice) {
            EXPECT_EQ(w->NoticeText(), c.notice);
            EXPECT_EQ(times.front(), 0);
            EXPECT_NEAR(times.back(), 6000, 100); // the splitter ends on its last column
        } else {
            EXPECT_EQ(times, c.breakpoints);
            EXPECT_EQ(w->StatusText(), "共" + std::to_string(c.breakpoints.size() - 1) + "个句子");
        }
    }
}
