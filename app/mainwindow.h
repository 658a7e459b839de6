// The main window: its controls at their fixed places, the state record of the
// repeater and every handler. One class whose members are spread over files by
// concern: mainwindow_ui.cpp (controls, status texts, notifications),
// mainwindow_playback.cpp (the repeat controller), mainwindow_load.cpp (opening a
// file, ranges and sentences) and mainwindow_mouse.cpp (waveform mouse work,
// breakpoint edits, sliders). GUI thread only; the player's end messages arrive as
// posted events.
#pragma once

#include <QEvent>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audiolib.h"
#include "segment/segmentlist.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QRadioButton;
class QTimer;
class QToolButton;
class QTreeWidget;

namespace vorel::audio {
class TBass;
class TBassStream;
struct TChannelInfo;
} // namespace vorel::audio

namespace vorel::view {
class TMMOscope;
class TMMSlider;
class TWaveOscope;
} // namespace vorel::view

namespace vorel::app {

class TGauge;
class TLogo;
class TSegmentBreakpoints;

inline const char *const MainCaption = "Vorel语言复读机(免费体验版)";
inline const char *const ApplicationTitle = "Vorel语言复读机（免费体验版）";
inline constexpr QEvent::Type SegmentEndEvent = static_cast<QEvent::Type>(QEvent::User + 201);
inline constexpr QEvent::Type FileEndEvent = static_cast<QEvent::Type>(QEvent::User + 202);
inline constexpr int ClientWidth = 773;
inline constexpr int ClientHeight = 209;
inline constexpr uint32_t PlayLineColour = 13158;

// What the transport buttons may do now; computed in one place from the state.
struct TTransportState {
    bool stop, pause, prev, next;
};

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
    QTreeWidget *lvSegment = nullptr;
    QGroupBox *gb1 = nullptr, *FlatGroupBox1 = nullptr, *FlatGroupBox2 = nullptr;
    QRadioButton *rg_bj = nullptr, *rg_free = nullptr, *rg_twokey = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr;
    QComboBox *cb_repeattimes = nullptr, *cb_pausetime = nullptr;
    view::TMMSlider *sl_speed = nullptr;
    QFrame *Panel3 = nullptr;
    TGauge *fg1 = nullptr, *fg2 = nullptr;
    QLabel *p_info = nullptr, *l_tip = nullptr;
    QTimer *Timer_play = nullptr, *Timer_ShowPos = nullptr, *timer_pause = nullptr;
    int32_t timerPauseTag = 0; // the pause timer's elapsed milliseconds

    // --- state record ---
    std::string fileName;
    std::unique_ptr<audio::TBass> bass;
    std::unique_ptr<audio::TBassStream> bassStream;
    std::unique_ptr<segment::TSegmentList> segments;
    int32_t curSentence = 0;
    std::unique_ptr<view::TWaveOscope> waveView;
    std::unique_ptr<audio::TChannelInfo> chanInfo;
    std::unique_ptr<std::vector<std::string>> samples;
    bool fileEnded = false, playing = false, paused = false, resumeArmed = false;
    int repeatMode = 0; // 0 marked, 1 one-key, 2 left/right
    int32_t readCount = 0, rangeLength = 0;
    bool busy = false, useStoredRange = false, holdAfterClick = false;
    int32_t followStart = 0, followEnd = 0, rangeStart = 0, rangeEnd = 0;
    int32_t rangeX1 = 0, rangeX2 = 0;
    int32_t lastSeenSentence = 0;

    // --- window, status texts, notifications (mainwindow_ui.cpp) ---
    void FormCreate();
    void FormDestroy();
    int32_t CurrentPositionMs() const;
    void StopPlayTimers();
    void CancelPauseCountdown();
    void ShowNotice(const std::string &text);
    void ShowFileInfo();
    void SetStatus(const std::string &text);
    std::string StatusText() const;
    std::string NoticeText() const;
    void SegmentEnded();
    void FileEnded();
    TTransportState TransportState() const;
    void UpdateTransport();
    void SpeedButton1Click();
    void SpeedButton2Click();

    // --- repeat controller (mainwindow_playback.cpp) ---
    void StartReading(int32_t start, int32_t end);
    void RestartRange(int32_t start, int32_t end);
    bool GoToSentence(int32_t i);
    int32_t NextMarkedSentence(int row) const;
    void JumpToRow(int row);
    bool AfterReading();
    bool AdvanceSentence();
    void StartPauseAfterReading();
    void ShowRepeatLabel();
    int32_t RepeatCountNow() const;
    int32_t PauseLengthNow() const;
    void PlayerStarted();
    void PlayerPaused();
    void PlayerResumed();
    void PlayerStopped();
    void playbtnClick();
    void pausebtnClick();
    void stopbtnClick();
    void prevbtnClick();
    void nextbtnClick();
    void FormMouseDown(Qt::MouseButton button);
    void cb_repeattimesChange();
    void cb_pausetimeChange();
    void rg_bjClick();
    void rg_freeClick();
    void rg_twokeyClick();
    void Timer_ShowPosTimer();
    void Timer_playTimer();
    void timer_pauseTimer();
    int SelectedRow() const;
    void SelectRow(int row);

    // --- loading, ranges and sentences (mainwindow_load.cpp) ---
    void loadfilebtnClick();
    bool LoadAudioFile(const std::string &file);
    void FillSentenceList();
    void SampleProgress(int32_t percent, bool &cancel);
    void SetRange(int32_t c1, int32_t c2);
    void MarkRange(int32_t c1, int32_t c2);
    int32_t EndOfFileColumn() const;
    void ToggleCursor();
    void SelectSentence(int32_t i);
    int FindRowOfSentence(int32_t i) const;
    void RepaintWave();
    int32_t PointCount() const;
    int32_t Duration() const;
    int32_t SentenceCount() const; // breakpoints less one; 0 without a list

    // --- mouse, breakpoints and sliders (mainwindow_mouse.cpp) ---
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

    // The folder the open dialog starts in: the demo lessons until a file has been
    // chosen in this run, then that file's folder.
    std::string dialogFolder;

signals:
    // The transport's state, the current sentence or the loaded file may have changed.
    void StateChanged();

protected:
    bool event(QEvent *e) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void buildControls();
    void connectControls();
    void setModeButton(int mode);
    void switchToFreeMode(int mode);
    void editBreakpoint(Qt::MouseButton button, int32_t t);
    void focusProgressSlider();
    void traceBreakpoints();
    std::unique_ptr<TSegmentBreakpoints> breakpointView_;
    bool closeRequested_ = false; // the window was closed while a load ran
    bool pressAccepted_ = false;  // the last mouse press on the waveform acted
    int32_t pressCursor_ = 0;     // the play column at that press
    bool pressPlaying_ = false;   // whether playback ran at that press
    bool playerActive_ = false; // started and not stopped: stop and pause may act
    bool everStarted_ = false;  // previous and next are usable once anything has played
    VOREL_MSGTARGET msgTarget_{};
};

// The desktop's media control over this window (mainwindow_mpris.cpp); nullptr
// without a session bus.
std::unique_ptr<QObject> StartMpris(TfMainFree &window);

} // namespace vorel::app
