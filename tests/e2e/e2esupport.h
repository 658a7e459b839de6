// Running the real Vorelplay on a private X display: its environment (private
// temp folder, trace file, audio written to a file), the window, clicks at client
// coordinates, and reading back the trace.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "testfiles.h"
#include "xsession.h"

namespace vorel::test {

struct TraceLine {
    long ms;
    std::string kind, detail;
};

class TVorelRun {
public:
    // Starts Vorelplay on x with args; audio goes to SDL's disk driver (file
    // "played.raw" in dir), paced in real time unless unpaced is set.
    // program: the product, or a test build of it.
    TVorelRun(const TXSession &x, const TempDir &dir, const std::string &args = "", bool unpaced = false,
              const std::map<std::string, std::string> &extraEnv = {}, const std::string &program = VORELPLAY);
    // The main window's id (0 when none appeared within timeoutMs).
    unsigned long window(int timeoutMs = 10000);
    // The client area's origin on the screen.
    std::pair<int, int> origin();
    // Clicks (button 1 left, 3 right) at a point in client coordinates; mods
    // e.g. "ctrl" is held during the click.
    void click(int x, int y, int button = 1, const std::string &mods = "");
    void drag(int x1, int y1, int x2, int y2);
    void key(const std::string &keys);
    // Gives the main window the keyboard focus (no window manager may be there to do it).
    void focus();
    // Drags the speed slider's thumb left from 100 % until the window reports
    // 100 - steps %; false when it never did.
    bool dragSpeedDown(int steps);
    std::vector<TraceLine> trace() const;
    // Waits until a trace line of kind whose detail contains text appears (after
    // the first `skip` such lines); false on timeout.
    bool waitFor(const std::string &kind, const std::string &text, int timeoutMs, size_t skip = 0);
    size_t count(const std::string &kind, const std::string &text = "") const;
    std::string stderrText() const;
    // The standard error and the trace, one line per event: what a failure shows.
    std::string dump() const;
    std::vector<int16_t> played() const;

    TChild child;
    const TXSession &x;
    const TempDir &dir;
    std::string traceFile, playedFile, errFile;

private:
    unsigned long window_ = 0;
};

// Points in the window's client area (centres of controls).
// Presses Return in the program's window captioned caption (a box, a file
// dialog) once it appears; false when none did within two seconds or so.
bool dismissBox(const TXSession &x, const std::string &caption);

namespace at {
inline constexpr std::pair<int, int> play{77, 98}, pause{105, 98}, prev{130, 98}, next{156, 98}, stop{44, 98},
    repeatTimes{359, 156}, pauseTime{556, 156}, speedSlider{693, 157}, ladder{619 + 90 + 27, 124 + 10}, oneKeyMode{79 + 7 + 8, 124 + 24 + 8},
    markedMode{7 + 11 + 8, 124 + 23 + 8};
// Column c of the waveform strip, at its middle row.
inline std::pair<int, int> wave(int column) { return {9 + column, 38}; }
} // namespace at

} // namespace vorel::test
