// The main window on real widgets (offscreen) over the real audio libraries,
// loaded by path, on device 0 with the manual clock: the window's player then
// advances only when a test renders, and the library's end messages reach the
// window as posted events, as in the program.
#pragma once

#include <chrono>
#include <thread>

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <memory>
#include <string>
#include <vector>

#include "guard.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "player.h"
#include "slots.h"
#include "testfiles.h"

namespace vorel::app::test {

// One application object for the whole process, as in the program.
class TAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        QApplication::setApplicationName("TfMainFree");
        app_ = std::make_unique<TApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "mainwindow_test";
    char *argv_[2] = {name_, nullptr};
    std::unique_ptr<TApplication> app_;
};

inline ::testing::Environment *const AppEnvironment = ::testing::AddGlobalTestEnvironment(new TAppEnvironment);

class WindowTest : public ::testing::Test {
protected:
    using RenderFn = int (*)(int16_t *, int);

    void SetUp() override {
        audio::loadLibrariesFrom(VOREL_CORE_LIB, VOREL_FX_LIB);
        render_ = reinterpret_cast<RenderFn>(dlsym(audio::coreModule(), "VorelAudio_Render"));
        ASSERT_NE(render_, nullptr);
        audio::core.BASS_SetConfig(VOREL_CONFIG_MANUAL_CLOCK, 1);
        // The window's own initialisation of the default output then finds the
        // library initialised already and keeps this device and message target.
        ASSERT_TRUE(audio::core.BASS_Init(0, 44100, 0, &target_, nullptr));
        // Each test keeps its study records in its own folder, never the learner's.
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.file("data")));
        SetMessageHook([this](const QString &caption, const QString &text) {
            messages.push_back((caption + ": " + text).toStdString());
        });
        w = std::make_unique<TfMainFree>();
        window_ = w.get();
        w->show();
        QCoreApplication::processEvents();
    }

    void TearDown() override {
        window_ = nullptr;
        w.reset();
        SetMessageHook({});
        audio::unloadLibraries();
    }

    // Renders until the window has handled an end notification or maxMs of audio
    // have been rendered, ticking the play timer every 80 ms of audio as the
    // window's timer would; returns the ms rendered.
    int renderUntilEnd(int maxMs = 20000) {
        const int64_t before = ends_;
        int16_t buf[2 * 441];
        int ms = 0;
        for (; ms < maxMs && ends_ == before; ms += 10) {
            render_(buf, 441);
            if (ms % 80 == 0 && w->Timer_play->isActive()) {
                w->Repeater().Timer_playTimer();
                seenSentences.push_back(w->Repeater().Report().sentence);
            }
            QCoreApplication::processEvents();
        }
        // The end message is posted from inside the render: let the window handle it.
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        return ms;
    }
    // Renders ms of audio with the play timer ticking every 80 ms.
    void renderMsForTicks(int ms) {
        int16_t buf[2 * 441];
        for (int t = 0; t < ms; t += 10) {
            render_(buf, 441);
            if (t % 80 == 0 && w->Timer_play->isActive())
                w->Repeater().Timer_playTimer();
            QCoreApplication::processEvents();
        }
    }
    // Opens a file as the window does and waits until its sampling has ended,
    // taking in what arrives as the window's load timer would.
    bool openAndLoad(const std::string &path) {
        const bool opened = w->OpenFile(path);
        for (int i = 0; i < 60000 && w->Repeater().Report().loading; ++i) {
            w->Repeater().Timer_loadTimer();
            if (w->Repeater().Report().loading)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        QCoreApplication::processEvents();
        return opened;
    }
    // Runs the pause countdown to its end, one 50-ms tick at a time.
    void finishPause() {
        for (int i = 0; i < 100000 && w->timer_pause->isActive(); ++i)
            w->Repeater().timer_pauseTimer();
    }

    std::unique_ptr<TfMainFree> w;
    std::vector<std::string> messages;
    std::vector<int32_t> seenSentences; // the current sentence at each play-timer tick
    vorel::test::TempDir dir;

private:
    static void post(void *, DWORD msg, DWORD, DWORD) {
        if (!window_)
            return;
        ++ends_;
        QCoreApplication::postEvent(window_, new QEvent(msg == audio::WM_SEGMENT_END ? SegmentEndEvent : FileEndEvent));
    }
    static inline TfMainFree *window_ = nullptr;
    static inline int64_t ends_ = 0;
    VOREL_MSGTARGET target_{&WindowTest::post, nullptr};
    RenderFn render_ = nullptr;
};

// A recording of tones separated by silence, one tone per sentence, with an LRC
// file beside it that stamps each tone's start. Returns the audio path.
inline std::string MakeToneLesson(const vorel::test::TempDir &dir, const std::string &name,
                                  const std::vector<double> &toneSeconds, double gapSeconds, bool withLrc) {
    std::vector<int16_t> pcm;
    std::string lrc;
    double t = 0;
    for (size_t i = 0; i < toneSeconds.size(); ++i) {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "[%02d:%05.2f]", int(t) / 60, t - 60 * (int(t) / 60));
        lrc += std::string(stamp) + "sentence " + std::to_string(i + 1) + "\n";
        vorel::test::append(pcm, vorel::test::tone(300 + 200 * double(i), toneSeconds[i], 44100, 1));
        vorel::test::append(pcm, vorel::test::silence(gapSeconds, 44100, 1));
        t += toneSeconds[i] + gapSeconds;
    }
    const std::string path = dir.file(name + ".wav");
    vorel::test::writeWav16(path, pcm, 44100, 1);
    if (withLrc)
        vorel::test::writeText(dir.file(name + ".lrc"), lrc);
    return path;
}

} // namespace vorel::app::test
