// The main window: its controls at their fixed places and the handlers of their
// events. It keeps no repeater state: every handler forwards to the repeater
// (repeater/), and the window draws what the repeater reports. Members are spread
// over files by concern: mainwindow_ui.cpp (controls, drawing the report,
// notifications), mainwindow_events.cpp (the handlers, loading), with the
// transcript window wired in mainwindow_transcript.cpp and the desktop's media
// control in mainwindow_mpris.cpp. GUI thread only; the player's end messages
// arrive as posted events.
#pragma once

#include <QEvent>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

#include "cardexport.h"
#include "repeater.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QRadioButton;
class QTimer;
class QToolButton;
class QTableView;

namespace vorel::audio {
class TBass;
class TMessageTarget;
} // namespace vorel::audio

namespace vorel::align {
class TAlignJob;
} // namespace vorel::align

namespace vorel::view {
class TMMOscope;
class TMMSlider;
class TWaveOscope;
} // namespace vorel::view

namespace vorel::app {

class TGauge;
class TLogo;
class TSegmentBreakpoints;
class TSentenceRows;
class TStudyKeeper;
class TBassPlayer;
class TTimerClock;
class TTranscriptWindow;
class TShadowTakes;
class TShadowPanel;

inline const char *const MainCaption = "Vorel语言复读机(免费体验版)";
inline const char *const ApplicationTitle = "Vorel语言复读机（免费体验版）";
inline constexpr QEvent::Type SegmentEndEvent = static_cast<QEvent::Type>(QEvent::User + 201);
inline constexpr QEvent::Type FileEndEvent = static_cast<QEvent::Type>(QEvent::User + 202);
inline constexpr int ClientWidth = 773;
inline constexpr int ClientHeight = 209;

// The open dialog's filters, the first (the default) every type the program opens.
QString OpenDialogFilters();
// The open dialog's folder: the lesson in use's (lessonFile, empty for none), else fallback.
std::string OpenDialogFolder(const std::string &lessonFile, const std::string &fallback);

class TfMainFree : public QWidget {
    Q_OBJECT
public:
    explicit TfMainFree(QWidget *parent = nullptr);
    ~TfMainFree() override;

    // Opens path as if it had been chosen in the open dialog (command line, a
    // second start). False when it could not be loaded; the reason was shown.
    bool OpenFile(const std::string &path);
    // Raises and activates the window (a second start asked for it).
    void BringToFront();
    repeater::TRepeater &Repeater() { return *repeater_; }
    TStudyKeeper &Study() { return *study_; }
    std::string StatusText() const;
    std::string NoticeText() const;

    // --- controls (public: tests and screenshots look at them) ---
    QWidget *pMain = nullptr;
    QFrame *pWave = nullptr;
    view::TMMOscope *Mainoscope = nullptr;
    TLogo *Image1 = nullptr;
    QFrame *FlatPanel3 = nullptr;
    QToolButton *loadfilebtn = nullptr, *stopbtn = nullptr, *playbtn = nullptr, *pausebtn = nullptr,
                *prevbtn = nullptr, *nextbtn = nullptr, *SpeedButton1 = nullptr, *SpeedButton2 = nullptr;
    QFrame *shp1 = nullptr, *Shape1 = nullptr;
    view::TMMSlider *slider = nullptr;
    QLabel *l_repeat = nullptr, *l_time = nullptr;
    QTableView *lvSegment = nullptr;
    TSentenceRows *sentenceRows_ = nullptr; // lvSegment's rows
    QGroupBox *gb1 = nullptr, *FlatGroupBox1 = nullptr, *FlatGroupBox2 = nullptr;
    QRadioButton *rg_bj = nullptr, *rg_free = nullptr, *rg_twokey = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr;
    QComboBox *cb_repeattimes = nullptr, *cb_pausetime = nullptr;
    // The speed ladder, in the speed box's caption row from this x.
    QComboBox *cb_ladder = nullptr;
    static constexpr int LadderLeft = 90;
    view::TMMSlider *sl_speed = nullptr;
    QFrame *Panel3 = nullptr;
    TGauge *fg1 = nullptr, *fg2 = nullptr;
    QLabel *p_info = nullptr, *l_tip = nullptr;
    QTimer *Timer_play = nullptr, *Timer_ShowPos = nullptr, *timer_pause = nullptr, *Timer_load = nullptr;

    // --- handlers (mainwindow_events.cpp) ---
    void loadfilebtnClick();
    void playbtnClick();
    void pausebtnClick();
    void stopbtnClick();
    void prevbtnClick();
    void nextbtnClick();
    void FormMouseDown(Qt::MouseButton button);
    void cb_repeattimesChange();
    void cb_pausetimeChange();
    void cb_ladderChange();
    void rg_bjClick();
    void rg_freeClick();
    void rg_twokeyClick();
    void MainoscopeMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x);
    void MainoscopeMouseMove(Qt::MouseButtons held, Qt::KeyboardModifiers mods, int x);
    void MainoscopeMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x);
    void MainoscopePostPaint();
    void MainoscopePcmOverflow();
    void sliderTrack();
    void sliderChange();
    void sl_speedChange();
    void sl_speedTrackEnd();
    void Image1Click();
    void SpeedButton1Click();
    void SpeedButton2Click();
    // Space: pauses a reading or holds a countdown; otherwise plays, as the play
    // button (which also resumes a pause and goes on from a held one).
    void PlayPauseKey();
    // M: marks the current sentence as hard, or unmarks it.
    void MarkKey();

    // --- transcript window and saving breakpoints (mainwindow_transcript.cpp) ---
    void CreateTranscript();
    void TranscriptRefill(); // the breakpoints changed
    void TranscriptFollow(); // the repeater changed
    void ToggleTranscript();
    void SaveBreakpoints();
    // Asks, then removes the lesson's study record.
    void ForgetStudy();
    // Ctrl+E: asks which sentences and where, then exports them as flashcards (cardexport.cpp).
    void ExportCards();
    // Whether the current sentence's text is kept from the learner now (dictation,
    // its last reading not yet ended): the desktop's media control shows its number.
    bool SentenceTextHidden(int32_t sentence) const;
    TTranscriptWindow *transcript = nullptr; // owned as a child window
    bool transcriptAfterLoad_ = false;       // a lesson came in: show it if it has text
    bool transcriptByLearner_ = false;       // shown with F2: stays for a lesson without text
    int32_t heard_ = -1;                     // the sentence whose last reading ended, in its pause

    // --- shadowing (mainwindow_shadow.cpp) ---
    // The shadowing panel in the transcript window (its "跟读" switch, the replay
    // choice, the comparison); the takes are kept beside the study record.
    void CreateShadowing();
    void ShadowingToggled(bool on);
    void DeleteShownTakes();
    TShadowPanel *shadowPanel = nullptr; // in the transcript window
    std::unique_ptr<TShadowTakes> shadowTakes_;

    // --- a transcript aligned to the recording (mainwindow_text.cpp) ---
    // The lesson of file: a ".txt" beside it is aligned after the breakpoint files;
    // textPath, when given, is aligned in any case.
    std::unique_ptr<repeater::ILessonSource> StartLessonFor(const std::string &file, const std::string &textPath = "");
    // The transcript window's "打开文本…": a text for the recording in use.
    void OpenTextForRecording();
    // Whether the row starting at startMs was aligned with little confidence, and
    // the alignment's progress or outcome for the transcript window.
    bool AlignedDoubtfully(int32_t startMs) const;
    std::string AlignmentStatus() const;
    std::shared_ptr<align::TAlignJob> alignJob_; // the alignment of the lesson in use, if any

    // Where the open dialog starts without a lesson in use: the demo lessons until
    // a file has been chosen in this run, then that file's folder.
    std::string dialogFolder;

protected:
    bool event(QEvent *e) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void buildControls();
    void connectControls();
    void FormCreate();
    void FormDestroy();
    // Draws what the repeater reports: texts, enabled states, the strip.
    void ShowReport();
    void showStrip(const repeater::TReport &r);
    void fillSentenceList();
    void appendSentenceRows();
    void focusProgressSlider();

    std::unique_ptr<audio::TMessageTarget> msgTarget_; // outlives the player
    std::unique_ptr<audio::TBass> bass_;
    std::unique_ptr<TBassPlayer> player_;
    std::unique_ptr<TTimerClock> clock_;
    std::unique_ptr<repeater::TRepeater> repeater_;
    std::unique_ptr<view::TWaveOscope> waveView_;
    std::unique_ptr<TSegmentBreakpoints> breakpointView_;
    std::unique_ptr<TStudyKeeper> study_;
    repeater::TReport shown_;      // what the controls show now
    bool stripShown_ = false;      // shown_ holds a drawn strip
    bool applying_ = false;        // the window is setting its controls from a report
    // Last: destroyed first, it stops and joins its worker before the rest goes.
    std::unique_ptr<TCardExportRun> cardExport_;
};

// The transcript row to highlight: the sentence just heard (heard, -1 for none)
// through the pause after its last reading, else the current sentence.
int32_t TranscriptRowShown(int32_t heard, const repeater::TReport &r);

// The desktop's media control over this window's repeater (mainwindow_mpris.cpp);
// nullptr without a session bus.
std::unique_ptr<QObject> StartMpris(TfMainFree &window);

} // namespace vorel::app
