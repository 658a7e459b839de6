// The transcript window: the dictation rule, its signals, and the window wired to
// the repeater (following readings, revealing in dictation, saving an LRC file).
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QTextDocument>
#include <QToolTip>

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "repeatrules.h"
#include "segment/breakpointfile.h"
#include "transcriptwindow.h"
#include "windowfixture.h"

using namespace vorel::app;
using vorel::app::test::MakeToneLesson;
using vorel::app::test::WindowTest;

TEST(TranscriptRule, OnlyTheCurrentRowIsHiddenUntilItsLastReadingEnded) {
    struct Case {
        bool dictation;
        int row, current, revealed;
        bool hidden;
    };
    const std::vector<Case> cases = {
        {false, 2, 2, -1, false}, // no dictation: all shown
        {true, 2, 2, -1, true},   // the current one, still being read
        {true, 1, 2, -1, false},  // the one before it stays visible
        {true, 2, 2, 2, false},   // its last reading has ended
        {true, 2, 2, 1, true},    // another row's reveal does not count
        {true, 0, -1, -1, false}, // no current sentence
    };
    for (const auto &c : cases)
        EXPECT_EQ(TranscriptTextHidden(c.dictation, c.row, c.current, c.revealed), c.hidden)
            << c.dictation << " " << c.row << " " << c.current << " " << c.revealed;
}

// The owner's frame is 800 x 240 at (x, y); the transcript wants 500 x 300 and
// needs at least 300 x 160.
TEST(TranscriptPlacement, BesideTheOwnerWhereThereIsRoomSmallerWhereThereIsLittle) {
    const struct {
        const char *what;
        QRect area;
        QPoint owner;
        QRect expected;
    } cases[] = {
        {"right of it on a wide screen", {0, 0, 1920, 1080}, {200, 100}, {1008, 100, 500, 300}},
        {"left when the right is short", {0, 0, 1920, 1080}, {1000, 100}, {492, 100, 500, 300}},
        {"below when neither side has room", {0, 0, 1280, 1024}, {240, 100}, {240, 348, 500, 300}},
        {"above when only above has room", {0, 0, 1280, 1024}, {240, 700}, {240, 392, 500, 300}},
        {"the larger part of a small screen, shrunk", {0, 0, 1280, 690}, {240, 245}, {240, 0, 500, 237}},
        {"no room anywhere: right, at full size", {0, 0, 900, 400}, {50, 80}, {858, 80, 500, 300}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TranscriptPlacement(QRect(c.owner, QSize(800, 240)), c.area, {500, 300}, {300, 160}), c.expected)
            << c.what;
}

TEST_F(WindowTest, TranscriptRowsSignalClicksAndTheSaveKey) {
    TTranscriptWindow t(w.get());
    t.SetRows({{0, "你好"}, {1500, ""}, {61000, "How are you?"}});
    t.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(t.HasText());
    EXPECT_EQ(t.list->topLevelItem(2)->text(1).toStdString(), "01:01");
    QSignalSpy selected(&t, &TTranscriptWindow::rowSelected), played(&t, &TTranscriptWindow::rowPlayRequested),
        saved(&t, &TTranscriptWindow::saveRequested);
    t.SetCurrent(1); // the owner's doing: no signal
    EXPECT_EQ(selected.count(), 0);
    QWidget *vp = t.list->viewport();
    const QPoint row2 = t.list->visualItemRect(t.list->topLevelItem(2)).center();
    QTest::mouseClick(vp, Qt::LeftButton, {}, row2);
    QTest::mouseDClick(vp, Qt::LeftButton, {}, row2);
    ASSERT_GE(selected.count(), 1);
    EXPECT_EQ(selected.first().first().toInt(), 2);
    ASSERT_EQ(played.count(), 1);
    EXPECT_EQ(played.first().first().toInt(), 2);
    t.activateWindow();
    QTest::keyClick(&t, Qt::Key_S, Qt::ControlModifier);
    t.saveButton->click();
    EXPECT_EQ(saved.count(), 2);
}

// A lesson with subtitles: the transcript opens by itself, follows the readings,
// hides the current text in dictation until its last reading has ended, and the
// breakpoints saved as LRC load again to the same list.
TEST_F(WindowTest, TranscriptFollowsRevealsAndSaves) {
    const std::string audio = MakeToneLesson(dir, "lesson", {1.5, 1.5, 1.5}, 0.5, false);
    vorel::test::writeText(dir.file("lesson.srt"), "1\n00:00:00,000 --> 00:00:01,500\n第一句\n\n"
                                                   "2\n00:00:02,000 --> 00:00:03,500\nSecond one\n\n"
                                                   "3\n00:00:04,000 --> 00:00:05,500\n第三句\n");
    ASSERT_TRUE(openAndLoad(audio));
    ASSERT_NE(w->transcript, nullptr);
    EXPECT_TRUE(w->transcript->isVisible());
    EXPECT_EQ(w->transcript->RowCount(), 3);
    EXPECT_EQ(w->transcript->Current(), 0);

    w->Repeater().SetRepeatIndex(2); // 2次
    w->Repeater().SetPauseIndex(vorel::repeater::PauseWait);
    w->transcript->SetDictation(true);
    EXPECT_EQ(w->transcript->ShownText(0), "");
    w->playbtnClick();
    renderUntilEnd(); // the first reading: still hidden
    EXPECT_EQ(w->transcript->ShownText(0), "");
    w->playbtnClick();
    renderUntilEnd(); // the last reading: the next sentence is current
    EXPECT_EQ(w->transcript->Current(), 1);
    EXPECT_EQ(w->transcript->ShownText(0), "第一句");
    EXPECT_EQ(w->transcript->ShownText(1), "");
    EXPECT_EQ(w->transcript->ShownText(2), "第三句");
    w->stopbtnClick();

    // A click on a row makes that sentence current, as on the waveform.
    emit w->transcript->rowSelected(2);
    EXPECT_EQ(w->Repeater().Report().sentence, 2);
    // The last sentence stays current after its last reading: revealed then.
    w->playbtnClick();
    renderUntilEnd();
    EXPECT_EQ(w->transcript->ShownText(2), "");
    w->playbtnClick();
    renderUntilEnd();
    EXPECT_EQ(w->transcript->Current(), 2);
    EXPECT_EQ(w->transcript->ShownText(2), "第三句");
    w->stopbtnClick();

    // Saving: unattended, under the proposed name; an existing file is kept.
    ::setenv("VORELPLAY_NO_DIALOGS", "1", 1);
    // Ctrl + click at column 112 (4480 ms) adds a breakpoint.
    const auto ctrlClick = [&](int32_t x) {
        w->Repeater().MouseDown(Qt::LeftButton, true, x);
        w->Repeater().MouseUp(Qt::LeftButton, true, x);
    };
    const vorel::segment::TSegmentList &segments = *w->Repeater().Lesson()->segments;
    ctrlClick(112);
    w->SaveBreakpoints();
    const std::string lrc = dir.file("lesson.lrc");
    std::vector<int32_t> saved;
    for (int32_t i = 0; i < segments.Count(); ++i)
        saved.push_back(segments.Items(i).TimeMs);
    EXPECT_EQ(saved, (std::vector<int32_t>{0, 2000, 4000, 4480, 6000}));
    vorel::segment::TSegmentList again;
    EXPECT_EQ(vorel::segment::LoadBreakpoints(again, audio, {}, w->Repeater().Lesson()->info.duration).Source,
              vorel::segment::TBreakpointSource::Lrc);
    std::vector<int32_t> reloaded;
    for (int32_t i = 0; i < again.Count(); ++i)
        reloaded.push_back(again.Items(i).TimeMs);
    EXPECT_EQ(reloaded, saved);
    EXPECT_EQ(again.Items(1).Text, "Second one");

    const auto before = vorel::test::readFile(lrc);
    ctrlClick(25);
    w->SaveBreakpoints();
    EXPECT_EQ(vorel::test::readFile(lrc), before);
    ::unsetenv("VORELPLAY_NO_DIALOGS");
}

// Opening a FIFO for reading blocks until a writer comes: a window that took an
// <img> on one for a picture would freeze for good. The watcher opens it for
// writing, which succeeds only while a reader waits (and frees that reader).
class FifoWatch {
public:
    explicit FifoWatch(std::string path) : path_(std::move(path)) {
        ::mkfifo(path_.c_str(), 0600);
        thread_ = std::thread([this] {
            while (!stop_) {
                const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    opened_ = true;
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~FifoWatch() {
        stop_ = true;
        thread_.join();
    }
    bool opened() const { return opened_; }

private:
    std::string path_;
    std::atomic<bool> stop_{false}, opened_{false};
    std::thread thread_;
};

TEST_F(WindowTest, MarkupFromFilesIsShownAsWrittenAndOpensNothing) {
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir.path())); // where a relative <img src> points
    FifoWatch fifo(dir.file("x"));
    const std::string name = "<font size=6 color=red>lesson<img src=x>";
    const std::string markup =
        "<b>bold</b><img src=\"" + dir.file("x") + "\"><a href=x>link</a><table><tr><td>cell</td></tr></table>";
    const std::string path = MakeToneLesson(dir, name, {0.6, 0.6}, 0.4, false);
    vorel::test::writeText(dir.file(name + ".lrc"), "[00:00.00]" + markup + "\n[00:01.00]&lt;i&gt;second\n");
    ASSERT_TRUE(openAndLoad(path));
    ASSERT_NE(w->transcript, nullptr);

    // The info line names the file as it is called.
    EXPECT_EQ(w->p_info->textFormat(), Qt::PlainText);
    EXPECT_NE(w->p_info->text().indexOf(QString::fromStdString(name)), -1) << w->p_info->text().toStdString();
    w->p_info->grab();

    // A row's tip says what the row says, shown for real.
    QTreeWidgetItem *row = w->transcript->list->topLevelItem(0);
    ASSERT_NE(row, nullptr);
    QTextDocument tip;
    tip.setHtml(row->toolTip(2));
    EXPECT_EQ(tip.toPlainText().toStdString(), row->text(2).toStdString());
    EXPECT_NE(row->text(2).indexOf("<img src="), -1);
    QToolTip::showText(QPoint(10, 10), row->toolTip(2), w->transcript->list);
    QCoreApplication::processEvents();
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->isVisible() && top->inherits("QTipLabel"))
            top->grab();
    QToolTip::hideText();

    // A message box with a text from a file: the real box, closed once it has painted.
    SetMessageHook({});
    const char *quiet = std::getenv("VORELPLAY_NO_DIALOGS");
    const std::string keep = quiet ? quiet : "";
    ::unsetenv("VORELPLAY_NO_DIALOGS");
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    QTimer::singleShot(0, [&] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box)
            return;
        for (QLabel *l : box->findChildren<QLabel *>())
            if (l->text().contains("bold")) {
                shown = l->text();
                format = l->textFormat();
            }
        box->grab();
        box->close();
    });
    ShowMessage("错误", QString::fromStdString(markup), QMessageBox::Critical, w.get());
    if (quiet)
        ::setenv("VORELPLAY_NO_DIALOGS", keep.c_str(), 1);
    EXPECT_EQ(shown.toStdString(), markup);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_FALSE(fifo.opened());
    QDir::setCurrent(before);
}
