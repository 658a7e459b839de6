// Hotpad: starts Vorelplay, then turns global keys into clicks on its main
// window's transport buttons until that window is gone or the user presses
// Alt+Esc. An X client without a visible window; exit code 0 in every case.
#include "launcher.h"
#include "layout.h"
#include "messages.h"
#include "xremote.h"

#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/wait.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace hotpad;

// The watchdog alone would give Vorelplay one second to show its window; a cold
// start on a slow machine takes longer, and Hotpad would be gone before the
// window came. So while the Vorelplay we started still runs and no main window
// has been seen yet, the watchdog waits, up to this long.
constexpr auto StartupGrace = std::chrono::seconds(10);

// Also when Vorelplay already runs: its second instance brings the first
// window forward and ends. Not finding it is no error of ours: the watchdog
// ends Hotpad when no main window appears.
pid_t startVorelplay() {
    const char *path = std::getenv("PATH");
    const std::optional<std::string> program = FindProgram(OwnDir(), path ? path : "", "Vorelplay", IsExecutableFile);
    return program ? StartDetached(*program) : -1;
}

// Asked to end (TERM, INT, HUP): the loop returns, so that the stay-on-top
// state is given back on the way out.
volatile std::sig_atomic_t endRequested = 0;

void requestEnd(int) { endRequested = 1; }

void handleEndSignals() {
    struct sigaction a {};
    a.sa_handler = requestEnd; // no SA_RESTART: the wait for X events returns at once
    sigemptyset(&a.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &a, nullptr);
}

// True while the Vorelplay we started has not ended yet (reaping it if it has).
bool stillStarting(pid_t &child) {
    if (child > 0 && waitpid(child, nullptr, WNOHANG) == child)
        child = -1;
    return child > 0;
}

// Returns when Hotpad should end.
void run(Display *display, pid_t &child) {
    TXRemote remote(display);
    const auto started = Clock::now();
    auto nextTick = started + std::chrono::milliseconds(WatchdogMs);
    bool seen = false;
    remote.GrabKeys();

    while (!endRequested) {
        while (XPending(display)) {
            XEvent e;
            XNextEvent(display, &e);
            if (e.type != KeyPress) {
                remote.HandleRootEvent(e);
                continue;
            }
            const THotkey *key = remote.Match(e.xkey);
            if (!key)
                continue;
            if (key->action == TAction::Quit) {
                ShowBox(QuitText); // nothing is sent to the main window
                return;
            }
            // Looked up afresh for every key: a handle kept from before may be stale.
            if (const std::optional<Window> main = remote.FindMainWindow()) {
                remote.Activate(*main);
                remote.Click(*main, key->action);
            } else {
                ShowBox(NotRunningText);
                TXRemote::InstallErrorHandlers();
            }
        }
        const auto now = Clock::now();
        if (now >= nextTick) {
            const bool starting = stillStarting(child);
            if (remote.FindMainWindow()) {
                seen = true;
            } else if (seen || !starting || now - started >= StartupGrace) {
                return;
            }
            nextTick = now + std::chrono::milliseconds(WatchdogMs);
            continue;
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - now).count();
        poll(&fd, 1, static_cast<int>(wait) + 1);
    }
}

} // namespace

int main() {
    handleEndSignals();
    pid_t child = startVorelplay();
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        const char *name = std::getenv("DISPLAY");
        ReportWithoutX(std::string("无法连接X显示服务器") + (name && *name ? std::string(" \"") + name + "\"" : "") +
                       "：Hotpad的全局热键需要X11（在Wayland下需要XWayland）。Hotpad程序将退出!");
        return 0;
    }
    run(display, child);
    XCloseDisplay(display);
    return 0;
}
