// The main window offscreen: its fixed layout and texts (the hotkey remote
// clicks at these places), its defaults, Tab, and failures shown in a box.
#include "windowfixture.h"

#include <QComboBox>
#include <QFileDialog>
#include <filesystem>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "repeatrules.h"
#include "view/mmoscope.h"
#include "view/mmslider.h"
#include "widgets.h"

using namespace vorel::app;
using vorel::app::test::WindowTest;

namespace {

struct Placed {
    const char *name;
    QWidget *widget;
    QRect rect; // relative to the parent
    const char *hint;
};

} // namespace

TEST_F(WindowTest, ControlsSitWhereTheFormPutsThem) {
    EXPECT_EQ(w->size(), QSize(773, 209));
    EXPECT_EQ(w->minimumSize(), w->maximumSize()); // no resizing
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(w->windowTitle().toStdString(), "Vorel语言复读机(免费体验版)");
    const Placed table[] = {
        {"pWave", w->pWave, {7, 6, 759, 65}, ""},
        {"Mainoscope", w->Mainoscope, {2, 2, 609, 61}, ""},
        {"Image1", w->Image1, {612, 2, 145, 61}, nullptr},
        {"FlatPanel3", w->FlatPanel3, {7, 77, 759, 42}, ""},
        {"loadfilebtn", w->loadfilebtn, {6, 9, 25, 25}, "打开一个音频文件"},
        {"stopbtn", w->stopbtn, {32, 9, 25, 25}, "停止"},
        {"playbtn", w->playbtn, {58, 9, 25, 25}, "播放"},
        {"pausebtn", w->pausebtn, {84, 9, 28, 25}, "暂停"},
        {"prevbtn", w->prevbtn, {111, 9, 25, 25}, "上一句"},
        {"nextbtn", w->nextbtn, {137, 9, 25, 25}, "下一句"},
        {"SpeedButton1", w->SpeedButton1, {163, 9, 25, 25}, "软件使用帮助"},
        {"SpeedButton2", w->SpeedButton2, {190, 9, 25, 25}, "关于本软件"},
        {"shp1", w->shp1, {224, 1, 1, 40}, ""},
        {"Shape1", w->Shape1, {611, 3, 1, 39}, ""},
        {"slider", w->slider, {230, 10, 376, 28}, "进度条"},
        {"l_repeat", w->l_repeat, {617, 3, 139, 17}, "目前朗读遍数/需要朗读的遍数"},
        {"l_time", w->l_time, {616, 23, 139, 17}, "当前播放时间/总时长"},
        {"gb1", w->gb1, {7, 124, 226, 49}, "这是复读控制方式选择"},
        {"rg_bj", w->rg_bj, {11, 23, 60, 17}, ""},
        {"rg_free", w->rg_free, {79, 24, 60, 16}, ""},
        {"rg_twokey", w->rg_twokey, {149, 23, 60, 17}, ""},
        {"FlatGroupBox1", w->FlatGroupBox1, {240, 124, 369, 49}, "这是复读控制方式选择"},
        {"cb_repeattimes", w->cb_repeattimes, {77, 22, 84, 21}, ""},
        {"cb_pausetime", w->cb_pausetime, {271, 22, 90, 21}, ""},
        {"FlatGroupBox2", w->FlatGroupBox2, {619, 124, 147, 49}, "变速器，拖动将改变播放速率"},
        {"sl_speed", w->sl_speed, {6, 23, 137, 21}, "变速器--正常速度播放"},
        {"Panel3", w->Panel3, {0, 179, 773, 30}, ""},
        {"fg1", w->fg1, {7, 2, 90, 20}, ""},
        {"p_info", w->p_info, {96, 2, 554, 20}, ""},
        {"l_tip", w->l_tip, {647, 2, 119, 20}, ""},
        {"fg2", w->fg2, {0, 0, 119, 20}, ""},
    };
    for (const Placed &p : table) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(p.widget->geometry(), p.rect);
        if (p.hint) {
            EXPECT_EQ(p.widget->toolTip().toStdString(), p.hint);
        }
    }
    // The transport buttons in window client coordinates: what the hotkey remote clicks.
    EXPECT_EQ(w->playbtn->mapTo(w.get(), QPoint(0, 0)), QPoint(65, 86));
    EXPECT_EQ(w->pausebtn->mapTo(w.get(), QPoint(0, 0)), QPoint(91, 86));
    EXPECT_EQ(w->prevbtn->mapTo(w.get(), QPoint(0, 0)), QPoint(118, 86));
    EXPECT_EQ(w->nextbtn->mapTo(w.get(), QPoint(0, 0)), QPoint(144, 86));
}

TEST_F(WindowTest, TextsAndDefaultsAreTheFormsOwn) {
    const std::pair<QWidget *, const char *> texts[] = {
        {w->l_repeat, "朗读遍数：1/1"}, {w->l_time, "00:00 / 00:00"}, {w->l_tip, "停止"},
        {w->rg_bj, "标记式"},         {w->rg_free, "一键式"},       {w->rg_twokey, "左右键"},
        {w->Label2, "复读次数："},    {w->Label1, "读后暂停时间："},
    };
    for (const auto &[widget, text] : texts) {
        QString shown;
        if (auto *l = qobject_cast<QLabel *>(widget))
            shown = l->text();
        else if (auto *b = qobject_cast<QAbstractButton *>(widget))
            shown = b->text();
        EXPECT_EQ(shown.toStdString(), text);
    }
    EXPECT_EQ(w->gb1->title().toStdString(), "复读模式");
    EXPECT_EQ(w->FlatGroupBox1->title().toStdString(), "复读控制");
    EXPECT_EQ(w->FlatGroupBox2->title().toStdString(), "变速器");
    ASSERT_EQ(w->cb_repeattimes->count(), 8);
    EXPECT_EQ(w->cb_repeattimes->itemText(0).toStdString(), "永远");
    EXPECT_EQ(w->cb_repeattimes->currentText().toStdString(), "1次");
    ASSERT_EQ(w->cb_pausetime->count(), 23);
    EXPECT_EQ(w->cb_pausetime->itemText(0).toStdString(), "无");
    EXPECT_EQ(w->cb_pausetime->itemText(22).toStdString(), "句长1/10");
    EXPECT_EQ(w->cb_pausetime->currentText().toStdString(), "句长1/5");
    EXPECT_TRUE(w->rg_bj->isChecked());
    EXPECT_EQ(w->Repeater().Report().mode, vorel::repeater::TMode::Marked);
    EXPECT_EQ(w->sl_speed->Position(), 0);
    EXPECT_EQ(w->sl_speed->MinValue(), -40);
    EXPECT_EQ(w->sl_speed->MaxValue(), 40);
    EXPECT_EQ(w->slider->MaxValue(), 1);
    // Enabled as the form has them: open, play, help and about only.
    EXPECT_TRUE(w->loadfilebtn->isEnabled());
    EXPECT_TRUE(w->playbtn->isEnabled());
    EXPECT_FALSE(w->stopbtn->isEnabled());
    EXPECT_FALSE(w->pausebtn->isEnabled());
    EXPECT_FALSE(w->prevbtn->isEnabled());
    EXPECT_FALSE(w->nextbtn->isEnabled());
    EXPECT_FALSE(w->slider->isEnabled());
    EXPECT_EQ(w->Repeater().Report().sentence, 0);
    EXPECT_EQ(w->Repeater().ReadCount(), 0);
}

TEST_F(WindowTest, TheSpeedSliderHasTheFocusAndTabNeverMovesIt) {
    w->activateWindow();
    QApplication::setActiveWindow(w.get());
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), w->sl_speed);
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    }
    EXPECT_EQ(QApplication::focusWidget(), w->sl_speed);
}

// What a learner looks for first: every openable type in the open dialog's default
// filter, the speed in sight once the info line is back, the window named in taskbars.
TEST_F(WindowTest, OpenDialogSpeedAndTaskbarName) {
    EXPECT_EQ(w->windowIconText().toStdString(), MainCaption);
    const QStringList filters = OpenDialogFilters().split(";;");
    ASSERT_EQ(filters.size(), 2);
    for (const char *type : {"*.wav", "*.mp3", "*.flac", "*.opus", "*.m4b", "*.mp4", "*.mkv", "*.webm", "*.M4B"})
        EXPECT_TRUE(filters[0].contains(QString(" ") + type) || filters[0].contains(QString("(") + type)) << type;
    EXPECT_EQ(filters[1].toStdString(), "音频文件 (*.wav *.mp3 *.WAV *.MP3)");
    EXPECT_EQ(OpenDialogFolder("", "/demo"), "/demo");
    EXPECT_EQ(OpenDialogFolder("/books/one/lesson.m4b", "/demo"), "/books/one");

    ASSERT_TRUE(openAndLoad(vorel::app::test::MakeToneLesson(dir, "speed", {1.5, 1.5}, 0.5, true)));
    for (const auto &[position, title] : {std::pair{-30, "变速器 70%"}, {25, "变速器 125%"}, {0, "变速器"}}) {
        w->sl_speed->SetPosition(position);
        w->sl_speedChange();
        w->sl_speedTrackEnd(); // a click on the track: the file's information returns at once
        EXPECT_NE(w->NoticeText().find("文件:speed.wav"), std::string::npos);
        EXPECT_EQ(w->FlatGroupBox2->title().toStdString(), title);
    }
}

namespace {
// Throws from inside the event dispatch, as a failing handler would.
class Thrower : public QObject {
public:
    bool event(QEvent *e) override {
        if (e->type() == QEvent::User)
            throw std::runtime_error("处理失败：测试");
        return QObject::event(e);
    }
};
} // namespace

TEST_F(WindowTest, AFailureShowsItsMessageAndTheWindowGoesOn) {
    // A handler failing inside the window: a file that is no audio.
    vorel::test::writeText(dir.file("broken.mp3"), std::string(5000, 'x'));
    EXPECT_FALSE(openAndLoad(dir.file("broken.mp3")));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Vorel语言复读机（免费体验版）: "), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("broken.mp3"), std::string::npos) << messages[0];
    EXPECT_FALSE(w->Repeater().Report().busy);

    // A failure escaping any handler reaches the application's handler.
    Thrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[1].find("处理失败：测试"), std::string::npos);

    // A failure of the machine is said in Chinese, never as the library's bare text.
    Guard([] { throw std::bad_alloc(); });
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[2], "Vorel语言复读机（免费体验版）: 内存不足，无法完成这项操作。");

    // Pressing play with no file offers the open dialog; cancelled, the window says
    // so instead of playing nothing.
    qputenv("VORELPLAY_NO_DIALOGS", "1");
    bool offered = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            offered = true;
            dialog->reject();
            poll.stop();
        }
    });
    poll.start(10);
    w->playbtnClick();
    EXPECT_TRUE(offered);
    EXPECT_EQ(w->NoticeText(), vorel::repeater::OpenFirstNotice);

    // And the window still loads a good file.
    const std::string good = vorel::app::test::MakeToneLesson(dir, "good", {1.5, 1.5}, 0.5, true);
    EXPECT_TRUE(openAndLoad(good));
    EXPECT_EQ(w->StatusText(), "共2个句子");
    EXPECT_TRUE(w->slider->isEnabled());

    // A mistyped stamp costs its line, named on the info line; the file opens.
    vorel::test::writeWav16(dir.file("talk.wav"), vorel::test::tone(440, 3, 22050, 1), 22050, 1);
    vorel::test::writeText(dir.file("talk.lrc"), "[ti:x]\n[00:00.00]a\n[00:01:345]b\n[00:02.00]c\n");
    EXPECT_TRUE(openAndLoad(dir.file("talk.wav")));
    EXPECT_EQ(w->NoticeText(), "断点文件talk.lrc第3行的时间标签无效，已跳过。");
    EXPECT_EQ(w->Repeater().Report().sentenceCount, 2);
    EXPECT_EQ(messages.size(), 3u);
}

namespace {
size_t threadCount() {
    size_t n = 0;
    for (const auto &e : std::filesystem::directory_iterator("/proc/self/task"))
        n += e.is_directory() ? 1 : 0;
    return n;
}
} // namespace

TEST_F(WindowTest, AnotherFileOrTheCloseDuringALoadLeavesNoWorkerRunning) {
    // Five minutes of MP3: decoded on workers for a while after the window has it.
    std::vector<int16_t> pcm;
    for (int s = 0; s < 100; ++s) {
        vorel::test::append(pcm, vorel::test::tone(300 + s % 5 * 40, 2.2, 44100, 2));
        vorel::test::append(pcm, vorel::test::silence(0.8, 44100, 2));
    }
    vorel::test::writeWav16(dir.file("long.wav"), pcm, 44100, 2);
    ASSERT_TRUE(vorel::test::mustRun("lame --quiet -b 128 " + vorel::test::shellQuote(dir.file("long.wav")) + " " +
                                     vorel::test::shellQuote(dir.file("long.mp3"))));
    const size_t before = threadCount();
    ASSERT_TRUE(w->OpenFile(dir.file("long.mp3")));
    EXPECT_TRUE(w->Repeater().Report().loading);
    EXPECT_GT(threadCount(), before);
    // Another file replaces the load: the first one's workers are gone with it.
    ASSERT_TRUE(openAndLoad(dir.file("long.mp3")));
    EXPECT_EQ(threadCount(), before);
    EXPECT_EQ(w->StatusText(), "共100个句子");

    ASSERT_TRUE(w->OpenFile(dir.file("long.mp3")));
    EXPECT_TRUE(w->Repeater().Report().loading);
    w->close();
    EXPECT_FALSE(w->Repeater().Report().loading);
    EXPECT_EQ(threadCount(), before);
}
