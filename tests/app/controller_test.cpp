// The window over the real libraries on the manual clock: what it wires together.
// The repeater's rules themselves are tested without a window (tests/repeater).
#include "windowfixture.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>

#include "view/mmoscope.h"
#include "view/mmslider.h"
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
        ASSERT_TRUE(openAndLoad(MakeToneLesson(dir, "lesson", {1.5, 1.5, 1.5}, 0.5, true)));
        ASSERT_EQ(w->Repeater().Report().sentenceCount, 3);
    }
    Reading now() const {
        return {w->Repeater().RangeStart(), w->Repeater().RangeEnd(), w->l_repeat->text().toStdString()};
    }
};

TEST_F(ControllerTest, ThePlayerReadsEachSentenceAndReportsItsEnds) {
    loadLesson();
    w->cb_repeattimes->setCurrentIndex(2); // 2次
    w->cb_repeattimesChange();
    QTest::mouseClick(w->playbtn, Qt::LeftButton);
    EXPECT_EQ(w->StatusText(), "开始播放");
    EXPECT_TRUE(w->stopbtn->isEnabled());
    std::vector<Reading> seen{now()};
    for (int i = 0; i < 10; ++i) {
        renderUntilEnd();
        finishPause();
        if (!w->Timer_play->isActive())
            break;
        seen.push_back(now());
    }
    const std::vector<Reading> expected = {
        {0, 2000, "朗读遍数：1/2"},    {0, 2000, "朗读遍数：2/2"},    {2000, 4000, "朗读遍数：1/2"},
        {2000, 4000, "朗读遍数：2/2"}, {4000, 6000, "朗读遍数：1/2"}, {4000, 6000, "朗读遍数：2/2"},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(w->StatusText(), "文件播放结束");
    // The engine's tail past each range never made the next sentence current early.
    std::vector<int32_t> changes;
    for (int32_t s : seenSentences)
        if (changes.empty() || changes.back() != s)
            changes.push_back(s);
    EXPECT_EQ(changes, (std::vector<int32_t>{0, 1, 2}));
    // After the end of the file the buttons are those of a stopped player.
    EXPECT_FALSE(w->stopbtn->isEnabled());
    EXPECT_FALSE(w->pausebtn->isEnabled());
    EXPECT_TRUE(w->nextbtn->isEnabled());
}

TEST_F(ControllerTest, AFileThatCannotBeLoadedLeavesTheLessonPlaying) {
    loadLesson();
    w->nextbtnClick();
    ASSERT_EQ(now(), (Reading{2000, 4000, "朗读遍数：1/1"}));
    vorel::test::writeText(dir.file("broken.mp3"), std::string(5000, 'x'));
    EXPECT_FALSE(openAndLoad(dir.file("broken.mp3")));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("broken.mp3"), std::string::npos);
    EXPECT_NE(w->StatusText(), "文件处理");
    EXPECT_EQ(w->lvSegment->model()->rowCount(), 3);
    EXPECT_TRUE(w->nextbtn->isEnabled());
    EXPECT_TRUE(w->slider->isEnabled());
    // The old lesson plays on: next reads its third sentence, and it sounds.
    w->nextbtnClick();
    EXPECT_EQ(now(), (Reading{4000, 6000, "朗读遍数：1/1"}));
    EXPECT_EQ(w->StatusText(), "开始播放");
    EXPECT_GT(renderUntilEnd(), 1000);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(ControllerTest, PressesOnControlsWithoutHandlersMoveNothing) {
    loadLesson();
    w->nextbtnClick(); // previous and next are usable
    w->stopbtnClick();
    const int32_t sentence = w->Repeater().Report().sentence;
    QWidget *const stray[] = {w->p_info, w->l_tip, w->l_time, w->l_repeat, w->FlatPanel3, w->Label1};
    for (QWidget *target : stray) {
        SCOPED_TRACE(target->metaObject()->className());
        for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton}) {
            QTest::mousePress(target, b, {}, QPoint(3, 3));
            QTest::mouseRelease(target, b, {}, QPoint(3, 3));
        }
        EXPECT_EQ(w->Repeater().Report().sentence, sentence);
        EXPECT_FALSE(w->Timer_play->isActive());
    }
    // The logo acts on its own left click only; a press goes nowhere.
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton})
        QTest::mousePress(w->Image1, b, {}, QPoint(3, 3));
    EXPECT_EQ(w->Repeater().Report().sentence, sentence);
    // A group box's caption is no background either; the box's body is.
    QTest::mousePress(w->FlatGroupBox1, Qt::RightButton, {}, QPoint(20, 4));
    EXPECT_EQ(w->Repeater().Report().sentence, sentence);
    QTest::mousePress(w->FlatGroupBox1, Qt::RightButton, {}, QPoint(170, 40));
    EXPECT_EQ(w->Repeater().Report().sentence, sentence + 1);
    QTest::mousePress(w.get(), Qt::LeftButton, {}, QPoint(300, 176)); // between the panels
    EXPECT_EQ(w->Repeater().Report().sentence, sentence);
}

TEST_F(ControllerTest, TheTimeLabelShowsItsWholeText) {
    loadLesson();
    const struct {
        int32_t ms;
        const char *text;
    } cases[] = {{500, "50 / 6.00"}, {7049000, "01:57:29 / 6.00"}};
    for (const auto &c : cases) {
        w->Repeater().SliderChange(c.ms);
        EXPECT_EQ(w->l_time->text().toStdString(), c.text);
        EXPECT_LE(QFontMetrics(w->l_time->font()).horizontalAdvance(w->l_time->text()), w->l_time->width());
    }
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
        ASSERT_TRUE(openAndLoad(audio));
        const vorel::segment::TSegmentList &list = *w->Repeater().Lesson()->segments;
        std::vector<int32_t> times;
        for (int i = 0; i < list.Count(); ++i)
            times.push_back(list.Items(i).TimeMs);
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
