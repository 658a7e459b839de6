// The transcript window: the dictation rule, its signals, and the window wired to
// the repeater (following readings, revealing in dictation, saving an LRC file).
#include <QLabel>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <QDir>
#include <QLabel>
#include <QMessageBox>

#include <atomic>
#include <functional>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "cardexport.h"
#include "repeatrules.h"
#include "segment/breakpointfile.h"
#include "textcap.h"
#include "transcriptwindow.h"
#include "windowfixture.h"

using namespace vorel::app;
using vorel::app::test::MakeToneLesson;
using vorel::app::test::WindowTest;

namespace {

QVariant cell(const TTranscriptWindow &t, int row, int column, int role = Qt::DisplayRole) {
    return t.list->model()->index(row, column).data(role);
}
QRect rowRect(const TTranscriptWindow &t, int row) { return t.list->visualRect(t.list->model()->index(row, TextColumn)); }

} // namespace

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
    EXPECT_EQ(cell(t, 2, TimeColumn).toString().toStdString(), "01:01");
    QSignalSpy selected(&t, &TTranscriptWindow::rowSelected), played(&t, &TTranscriptWindow::rowPlayRequested),
        saved(&t, &TTranscriptWindow::saveRequested);
    t.SetCurrent(1); // the owner's doing: no signal
    EXPECT_EQ(selected.count(), 0);
    QWidget *vp = t.list->viewport();
    const QPoint row2 = rowRect(t, 2).center();
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

// Rows an alignment placed with little confidence stand out; the alignment's word
// shows under the rows only while there is one; the open-text button asks for a text.
TEST_F(WindowTest, TranscriptMarksDoubtfulRowsAndShowsTheAlignment) {
    TTranscriptWindow t(w.get());
    t.SetRows({{0, "One.", false}, {1500, "", true}, {3000, "Three.", false}});
    t.show();
    QCoreApplication::processEvents();
    for (int r = 0; r < 3; ++r) {
        const bool doubtful = r == 1;
        EXPECT_EQ(cell(t, r, NumberColumn, Qt::ToolTipRole).toString().toStdString() == DoubtfulRowTip, doubtful) << r;
        EXPECT_EQ(cell(t, r, TextColumn, Qt::BackgroundRole).isValid(), doubtful) << r;
    }
    EXPECT_EQ(cell(t, 1, NumberColumn).toString().toStdString(), "2 ?");
    EXPECT_FALSE(t.statusLabel->isVisible());
    t.SetStatus("正在按文本对齐录音…40%");
    EXPECT_TRUE(t.statusLabel->isVisible());
    t.SetStatus("");
    EXPECT_FALSE(t.statusLabel->isVisible());
    QSignalSpy open(&t, &TTranscriptWindow::openTextRequested);
    t.openTextButton->click();
    EXPECT_EQ(open.count(), 1);
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
    renderUntilEnd(); // the last reading: the window's current sentence is the next
    EXPECT_EQ(w->Repeater().Report().sentence, 1);
    // The transcript keeps the sentence just heard, revealed, through the pause
    // after it; the desktop is shown the next one's number, not its text.
    EXPECT_EQ(w->transcript->Current(), 0);
    EXPECT_EQ(w->transcript->ShownText(0), "第一句");
    EXPECT_TRUE(w->SentenceTextHidden(1));
    EXPECT_FALSE(w->SentenceTextHidden(0));
    w->playbtnClick(); // the pause ends: the transcript moves on and hides the new one
    EXPECT_EQ(w->transcript->Current(), 1);
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

    // Saving under the name the dialog proposes; the box asking to replace a file
    // answers no in an unattended run, and the file is kept.
    ::setenv("VORELPLAY_NO_DIALOGS", "1", 1);
    const auto acceptTheDialog = [] {
        auto *poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [poll] {
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                static_cast<QDialog *>(dialog)->accept();
                poll->deleteLater();
            }
        });
        poll->start(10);
    };
    // Ctrl + click at column 112 (4480 ms) adds a breakpoint.
    const auto ctrlClick = [&](int32_t x) {
        w->Repeater().MouseDown(Qt::LeftButton, true, x);
        w->Repeater().MouseUp(Qt::LeftButton, true, x);
    };
    const vorel::segment::TSegmentList &segments = *w->Repeater().Lesson()->segments;
    ctrlClick(112);
    acceptTheDialog();
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
    acceptTheDialog();
    w->SaveBreakpoints();
    EXPECT_EQ(vorel::test::readFile(lrc), before);
    ::unsetenv("VORELPLAY_NO_DIALOGS");
}

// The pause after a sentence's last reading belongs to that sentence in the
// transcript, while the main window has moved on.
TEST_F(WindowTest, TheHeardSentenceStaysHighlightedThroughItsCountdown) {
    ASSERT_TRUE(openAndLoad(MakeToneLesson(dir, "lesson", {1.5, 1.5}, 0.5, true)));
    w->playbtnClick();
    renderUntilEnd();
    ASSERT_TRUE(w->timer_pause->isActive()); // "句长1/5"
    EXPECT_EQ(w->Repeater().Report().sentence, 1);
    EXPECT_EQ(w->transcript->Current(), 0);
    finishPause();
    EXPECT_EQ(w->transcript->Current(), 1);
}

// A change redraws what changed: the current row the rows it leaves and enters,
// a mark the rows between the first and the last changed; a text of megabytes
// shows its beginning.
TEST_F(WindowTest, TranscriptRedrawsOnlyTheRowsThatChange) {
    TTranscriptWindow t(w.get());
    std::vector<TTranscriptRow> rows;
    for (int i = 0; i < 100000; ++i)
        rows.push_back({i * 1000, "sentence " + std::to_string(i)});
    rows[50].Text = std::string(50 << 20, 'y');
    t.SetRows(rows);
    t.SetDictation(true);
    t.show();
    QCoreApplication::processEvents();
    QSignalSpy changed(t.list->model(), &QAbstractItemModel::dataChanged),
        reset(t.list->model(), &QAbstractItemModel::modelReset);
    const auto rowsChanged = [&] {
        std::vector<int> out;
        for (const QList<QVariant> &args : changed)
            for (int r = args[0].toModelIndex().row(); r <= args[1].toModelIndex().row(); ++r)
                out.push_back(r);
        changed.clear();
        return out;
    };
    const struct {
        const char *what;
        std::function<void()> change;
        std::vector<int> rows;
    } cases[] = {
        {"first current row", [&] { t.SetCurrent(7); }, {-1, 7}},
        {"the next row", [&] { t.SetCurrent(8); }, {7, 8}},
        {"revealed", [&] { t.SetRevealed(8); }, {8}},
        {"far down", [&] { t.SetCurrent(99990); }, {8, 99990}},
        {"marks", [&] {
             std::vector<bool> marks(100000);
             marks[20] = marks[40] = true;
             t.SetMarked(marks);
         }, {20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40}},
    };
    // The list is given the rows as it needs them: a tree lays out every row it holds.
    EXPECT_LT(t.list->model()->rowCount(), 100000);
    for (const auto &c : cases) {
        c.change();
        std::vector<int> expected = c.rows;
        std::erase(expected, -1);
        EXPECT_EQ(rowsChanged(), expected) << c.what;
    }
    EXPECT_EQ(t.list->model()->rowCount(), 100000);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_TRUE(t.Marked(40) && !t.Marked(41));
    // The same rows again, as a load's end traces them: no new list for the view.
    t.SetRows(rows);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(t.Current(), -1);
    t.SetCurrent(99990);
    EXPECT_EQ(cell(t, 40, MarkColumn).toString(), QString::fromUtf8("★"));
    EXPECT_EQ(t.list->currentIndex().row(), 99990);
    const QString big = cell(t, 50, TextColumn).toString();
    EXPECT_EQ(big.size(), qsizetype(RowTextCap) + 1);
    EXPECT_TRUE(big.endsWith(QString::fromUtf8("…")));
    t.SetCurrent(50);
    QCoreApplication::processEvents();
    t.list->grab();

    // Scrolled to its end, the list is given the rows after it.
    rows.resize(60000);
    t.SetRows(rows);
    QCoreApplication::processEvents();
    const int given = t.list->model()->rowCount();
    ASSERT_LT(given, 60000);
    t.list->verticalScrollBar()->setValue(t.list->verticalScrollBar()->maximum());
    EXPECT_EQ(t.list->model()->rowCount(), 60000);
}

// A long sentence wraps onto more lines within the window's width, and again when
// the window is narrowed.
TEST_F(WindowTest, TranscriptWrapsALongSentence) {
    TTranscriptWindow t(w.get());
    std::string longText;
    for (int i = 0; i < 12; ++i)
        longText += "a rather long sentence ";
    t.SetRows({{0, "Short."}, {2000, longText}, {4000, "今天我们学习一个很长很长的句子，看看它在文本窗口里是不是能完整地显示出来。"}});
    t.resize(500, 300);
    t.show();
    QCoreApplication::processEvents();
    const auto height = [&](int row) { return rowRect(t, row).height(); };
    const int line = height(0);
    EXPECT_GE(height(1), 3 * line);
    EXPECT_GE(height(2), 2 * line);
    const int wide = height(1);
    t.resize(350, 300);
    QCoreApplication::processEvents();
    EXPECT_GT(height(1), wide);
}

TEST(TranscriptRule, AChapterBeginsWithTheSentenceHoldingItOrTheOneJustAfter) {
    const std::vector<int32_t> starts = {0, 3000, 10000, 20000};
    const struct {
        int32_t chapterMs;
        int row;
    } cases[] = {
        {0, 0},      {2000, 1},     {1999, 0},  // within a second before a start: that sentence
        {3000, 1},   {15000, 2},    {25000, 3}, // inside a sentence: that one, the last past the end
        {19000, 3},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ChapterFirstRow(starts, c.chapterMs), c.row) << c.chapterMs;
    EXPECT_EQ(ChapterFirstRow({500, 4000}, -600), -1);
    EXPECT_EQ(ChapterFirstRow({}, 0), -1);
}

// An audiobook with chapter marks: the transcript opens with them (the sentences
// carry no text) and a click on a chapter makes its first sentence current.
TEST_F(WindowTest, ChaptersListedAndAClickGoesToTheirFirstSentence) {
    const std::string wav = MakeToneLesson(dir, "book", {1.5, 1.5, 1.5, 1.5}, 0.5, false);
    vorel::test::writeText(dir.file("marks.txt"), ";FFMETADATA1\n"
                                                  "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=3900\ntitle=Part one\n"
                                                  "[CHAPTER]\nTIMEBASE=1/1000\nSTART=3900\nEND=8000\n");
    const std::string book = dir.file("book.m4b");
    ASSERT_TRUE(vorel::test::mustRun("ffmpeg -nostdin -v error -y -i " + vorel::test::shellQuote(wav) + " -i " +
                                     vorel::test::shellQuote(dir.file("marks.txt")) +
                                     " -map 0 -map_chapters 1 -c:a aac -f ipod " + vorel::test::shellQuote(book)));
    ASSERT_TRUE(openAndLoad(book));
    ASSERT_EQ(w->transcript->ChapterCount(), 2);
    EXPECT_TRUE(w->transcript->isVisible());
    EXPECT_FALSE(w->transcript->chapterList->isHidden());
    QTreeWidgetItem *second = w->transcript->chapterList->topLevelItem(1);
    EXPECT_EQ(w->transcript->chapterList->topLevelItem(0)->text(0).toStdString(), "Part one");
    EXPECT_EQ(second->text(0).toStdString(), "第2章");
    EXPECT_EQ(second->text(1).toStdString(), "3.90");
    QTest::mouseClick(w->transcript->chapterList->viewport(), Qt::LeftButton, {},
                      w->transcript->chapterList->visualItemRect(second).center());
    EXPECT_EQ(w->Repeater().Report().sentence, 2); // the mark lies in the pause before the third tone

    // A lesson with neither text nor chapters closes the window the lesson opened ...
    const std::string plain = MakeToneLesson(dir, "plain", {1.5, 1.5}, 0.5, false);
    ASSERT_TRUE(openAndLoad(plain));
    EXPECT_FALSE(w->transcript->isVisible());
    EXPECT_EQ(w->transcript->ChapterCount(), 0);
    // ... but not one the learner opened with F2.
    w->ToggleTranscript();
    ASSERT_TRUE(openAndLoad(MakeToneLesson(dir, "plain2", {1.5, 1.5}, 0.5, false)));
    EXPECT_TRUE(w->transcript->isVisible());
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

    // A row shows the text as written.
    ASSERT_EQ(w->transcript->RowCount(), 2);
    EXPECT_NE(cell(*w->transcript, 0, TextColumn).toString().indexOf("<img src="), -1);
    w->transcript->list->grab();

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

TEST(TranscriptCards, TheChoiceNamesItsSentences) {
    const std::vector<bool> marked{false, true, false, true};
    const struct {
        TCardScope scope;
        int32_t current;
        std::vector<int32_t> chosen;
    } cases[] = {
        {TCardScope::Current, 2, {2}},
        {TCardScope::Current, -1, {}},
        {TCardScope::Marked, 0, {1, 3}},
        {TCardScope::All, 0, {0, 1, 2, 3, 4}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CardIndexes(c.scope, 5, c.current, marked), c.chosen) << int(c.scope);
}

// Ctrl+E's whole path: the choice (all sentences, .apkg), the save dialog, the
// worker; the package appears whole, a zip holding the collection.
TEST_F(WindowTest, TranscriptExportsAllSentencesAsAPackage) {
    const std::string audio = MakeToneLesson(dir, "cards", {1.0, 1.0}, 0.5, false);
    vorel::test::writeText(dir.file("cards.srt"), "1\n00:00:00,000 --> 00:00:01,000\n第一句\n\n"
                                                  "2\n00:00:01,500 --> 00:00:02,500\nSecond one\n");
    ASSERT_TRUE(openAndLoad(audio));
    ASSERT_EQ(w->transcript->RowCount(), 2);
    ::setenv("VORELPLAY_NO_DIALOGS", "1", 1); // a failure is written, not waited on
    const QString out = QString::fromStdString(dir.file("cards.apkg"));
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, out] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *files = qobject_cast<QFileDialog *>(modal)) {
            files->selectFile(out);
            static_cast<QDialog *>(files)->accept();
            poll->deleteLater();
        } else if (auto *choice = qobject_cast<QDialog *>(modal)) {
            for (QRadioButton *b : choice->findChildren<QRadioButton *>())
                if (b->text() == "全部句子")
                    b->setChecked(true);
            choice->accept();
        }
    });
    poll->start(10);
    emit w->transcript->exportRequested();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w->Repeater().Report().notice.find("已导出 2 个句子") != std::string::npos; }, 30000));
    const std::vector<unsigned char> bytes = vorel::test::readFile(out.toStdString());
    const std::string zip(bytes.begin(), bytes.end());
    ASSERT_GE(zip.size(), 4u);
    EXPECT_EQ(zip.substr(0, 4), std::string("PK\x03\x04", 4));
    EXPECT_NE(zip.find("collection.anki2"), std::string::npos);
    ::unsetenv("VORELPLAY_NO_DIALOGS");
}
