// The window keeps each lesson's record: where the learner stopped and how the
// lesson was played come back when the same recording opens again, under any name.
#include <QCheckBox>
#include <QComboBox>

#include <cstdio>

#include "studykeeper.h"
#include "studyrules.h"
#include "studystore.h"
#include "transcriptwindow.h"
#include "view/mmslider.h"
#include "windowfixture.h"

namespace vorel::app::test {
namespace {

TEST(MarkColumns, OnlyThoseInViewAtTheirStartColumn) {
    constexpr int32_t C = audio::MsPerColumn;
    struct Case {
        std::vector<int32_t> starts;
        int32_t offset, width;
        std::vector<int32_t> xs;
    } cases[] = {
        {{0, 10 * C, 10 * C + C - 1}, 0, 100, {0, 10, 10}}, // a start within a column marks that column
        {{5 * C, 20 * C, 120 * C}, 10, 100, {10}},          // before the view, in it, at its right edge
        {{109 * C}, 10, 100, {99}},                          // the last column
        {{}, 0, 100, {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(MarkColumnsInView(c.starts, c.offset, c.width), c.xs) << c.offset;
}

TEST_F(WindowTest, ALessonComesBackWhereItWasLeftUnderAnyName) {
    const std::vector<double> tones(6, 0.6);
    const std::string a = MakeToneLesson(dir, "lesson", tones, 0.4, true);
    const std::string other = MakeToneLesson(dir, "other", {0.5, 0.5, 0.5}, 0.4, true);
    ASSERT_TRUE(openAndLoad(a));
    ASSERT_TRUE(w->Study().Lesson().has_value());
    const study::TFingerprint fp = *w->Study().Lesson();
    repeater::TRepeater &r = w->Repeater();
    // A breakpoint added with Ctrl + click near 2.5 s, kept without saving.
    r.MouseDown(Qt::LeftButton, true, int32_t(2500 / audio::MsPerColumn));
    r.MouseUp(Qt::LeftButton, true, int32_t(2500 / audio::MsPerColumn));
    ASSERT_EQ(r.Lesson()->segments->Count(), 8);
    // M marks and unmarks; the transcript shows the marks.
    r.ChooseSentence(1);
    w->MarkKey();
    r.ChooseSentence(3);
    w->MarkKey();
    EXPECT_EQ(w->NoticeText(), "已标记第4句，共标记2句");
    r.ChooseSentence(1);
    w->MarkKey();
    EXPECT_EQ(w->NoticeText(), "已取消第2句的标记，共标记1句");
    EXPECT_TRUE(w->transcript->Marked(3));
    EXPECT_EQ(w->Study().MarkedStarts(), (std::vector<int32_t>{r.Lesson()->segments->Items(3).TimeMs}));
    EXPECT_FALSE(w->transcript->Marked(1));
    r.ChooseSentence(3);
    r.SetRepeatIndex(2);
    r.SetPauseIndex(1);
    r.SetSpeed(-20);
    r.SetLadder({-30, -15, 0});
    w->Study().Flush();

    // On disk, as another instance would read it.
    study::TStudyStore reader(dir.file("data") + "/vorel");
    const study::TRecord kept = reader.Load(fp);
    ASSERT_TRUE(kept.position && kept.settings);
    EXPECT_EQ(kept.position->sentence, 3);
    EXPECT_EQ(kept.settings->repeatIndex, 2);
    EXPECT_EQ(kept.settings->pauseIndex, 1);
    EXPECT_EQ(kept.settings->speed, -20);
    EXPECT_EQ(kept.settings->ladder, (std::vector<int>{-30, -15, 0}));

    // Another lesson starts at its beginning with the window's settings, and changes them.
    ASSERT_TRUE(openAndLoad(other));
    EXPECT_EQ(r.Report().sentence, 0);
    EXPECT_EQ(w->NoticeText().find("继续"), std::string::npos) << w->NoticeText();
    r.SetRepeatIndex(0);
    r.SetSpeed(0);

    // The first, renamed with its LRC: its place and settings come back.
    const std::string renamed = dir.file("renamed.wav");
    ASSERT_EQ(std::rename(a.c_str(), renamed.c_str()), 0);
    ASSERT_EQ(std::rename(dir.file("lesson.lrc").c_str(), dir.file("renamed.lrc").c_str()), 0);
    ASSERT_TRUE(openAndLoad(renamed));
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(r.Lesson()->segments->Count(), 8);
    EXPECT_EQ(r.Lesson()->segments->Items(3).TimeMs, 2500 / audio::MsPerColumn * audio::MsPerColumn);
    EXPECT_EQ(r.Report().sentence, 3);
    EXPECT_EQ(w->NoticeText(), study::ResumeNotice(3));
    EXPECT_EQ(w->Study().MarkedRows(), (std::vector<bool>{false, false, false, true, false, false, false}));
    EXPECT_TRUE(w->transcript->Marked(3));
    EXPECT_EQ(w->Study().MarkedStarts(), (std::vector<int32_t>{r.Lesson()->segments->Items(3).TimeMs}));

    EXPECT_EQ(w->cb_repeattimes->currentIndex(), 2);
    EXPECT_EQ(w->cb_pausetime->currentIndex(), 1);
    EXPECT_EQ(r.Report().speed, -20);
    // The ladder came back too: the slider shows its first step, the list its name.
    EXPECT_EQ(w->sl_speed->Position(), -30);
    EXPECT_EQ(w->cb_ladder->currentIndex(), 1);

    // Review reads the marked sentences only: next, previous and the advance skip the others.
    r.ChooseSentence(5);
    w->MarkKey();
    r.ChooseSentence(0);
    w->transcript->reviewBox->setChecked(true);
    EXPECT_EQ(r.Report().sentence, 3) << "an unmarked sentence gives way to the first marked";
    EXPECT_EQ(w->NoticeText(), "复习模式：只读标记的2句");
    r.Next();
    EXPECT_EQ(r.Report().sentence, 5);
    r.Next();
    EXPECT_EQ(r.Report().sentence, 3) << "past the last marked: the first again";
    r.Previous();
    EXPECT_EQ(r.Report().sentence, 3);
    r.SetPauseIndex(0); // no pause: each reading follows at once
    r.Play();
    for (int reading = 0; reading < 12 && r.Report().sentence == 3; ++reading)
        renderUntilEnd();
    EXPECT_EQ(r.Report().sentence, 5);
    r.Stop();
    w->transcript->reviewBox->setChecked(false);
    r.Next();
    EXPECT_EQ(r.Report().sentence, 6);

    // The LRC beside it changed since: the file's breakpoints win, and the notice says so.
    vorel::test::writeText(dir.file("renamed.lrc"), "[00:00.00]one\n[00:03.00]two\n");
    ASSERT_TRUE(openAndLoad(renamed));
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(r.Lesson()->segments->Items(1).TimeMs, 3000);
    EXPECT_NE(w->NoticeText().find("renamed.lrc"), std::string::npos) << w->NoticeText();

    // Forgotten: nothing of it is left on disk.
    w->Study().Forget();
    EXPECT_TRUE(w->Study().MarkedStarts().empty());
    w->Study().Flush();
    EXPECT_TRUE(reader.Load(fp).Empty());
}

} // namespace
} // namespace vorel::app::test
