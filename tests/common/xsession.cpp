#include "xsession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "testfiles.h"

namespace vorel::test {

namespace {

using Clock = std::chrono::steady_clock;

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

} // namespace

TChild::TChild(const std::string &command, const std::map<std::string, std::string> &env) {
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0); // its own group, so that stop() ends what it started too
        for (const auto &[k, v] : env)
            setenv(k.c_str(), v.c_str(), 1);
        execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
}

TChild::~TChild() { stop(); }

TChild::TChild(TChild &&o) noexcept : pid_(o.pid_), status_(o.status_) { o.pid_ = -1; }

TChild &TChild::operator=(TChild &&o) noexcept {
    if (this != &o) {
        stop();
        pid_ = o.pid_;
        status_ = o.status_;
        o.pid_ = -1;
    }
    return *this;
}

bool TChild::running() {
    if (pid_ <= 0)
        return false;
    int st = 0;
    const pid_t r = waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        pid_ = -1;
        return false;
    }
    return r == 0;
}

int TChild::wait(int timeoutMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (running()) {
        if (Clock::now() >= until)
            return -1;
        sleepMs(10);
    }
    return status_;
}

void TChild::stop() {
    if (!running())
        return;
    kill(-pid_, SIGTERM);
    if (wait(3000) == -1 && pid_ > 0) {
        kill(-pid_, SIGKILL);
        int st = 0;
        waitpid(pid_, &st, 0);
        pid_ = -1;
    }
}

namespace {

// Whether display n is taken here or by a server that shares only our network
// namespace: its lock file, or its abstract socket, which X clients try first.
bool displayTaken(int n) {
    if (access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) == 0)
        return true;
    const std::string socket = "@/tmp/.X11-unix/X" + std::to_string(n);
    FILE *f = std::fopen("/proc/net/unix", "r");
    if (!f)
        return false;
    char line[512];
    bool taken = false;
    while (!taken && std::fgets(line, sizeof line, f)) {
        const std::string l(line);
        const size_t at = l.find(socket);
        taken = at != std::string::npos && (at + socket.size() == l.size() || l[at + socket.size()] == '\n');
    }
    std::fclose(f);
    return taken;
}

} // namespace

TXSession::TXSession(bool windowManager) {
    // Xvfb's own search for a free display goes by lock files only, and so can hand
    // out a display whose abstract socket a server elsewhere holds: the programs
    // under test would then reach that server. Pick one free in both senses. The
    // probe is a client: -noreset keeps its leaving from resetting the server.
    for (int tries = 0; tries < 20 && display_.empty(); ++tries) {
        int n = 100 + int((getpid() * 7 + tries * 131) % 3000);
        while (displayTaken(n))
            ++n;
        xvfb_ = TChild("Xvfb :" + std::to_string(n) + " -screen 0 1280x800x24 -nolisten tcp -noreset", {});
        const std::string d = ":" + std::to_string(n);
        for (int i = 0; i < 200; ++i) {
            if (!xvfb_.running())
                break; // lost the race for it: try another
            if (runCommand("xdpyinfo -display " + d + " >/dev/null 2>&1") == 0) {
                display_ = d;
                break;
            }
            sleepMs(25);
        }
        if (display_.empty())
            xvfb_.stop();
    }
    if (display_.empty())
        return;
    if (windowManager) {
        wm_ = TChild("jwm", {{"DISPLAY", display_}, {"HOME", "/nonexistent"}});
        // jwm owns the WM_S0 selection once it manages the screen.
        for (int i = 0; i < 200 && run("xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'") != 0; ++i)
            sleepMs(25);
    }
}

TXSession::~TXSession() {
    wm_.stop();
    xvfb_.stop();
}

std::map<std::string, std::string> TXSession::env() const {
    // No session bus unless a test starts its own: a program under test must never
    // appear on the desktop's bus of whoever runs the tests.
    return {{"DISPLAY", display_}, {"QT_QPA_PLATFORM", "xcb"}, {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null/no-bus"}};
}

int TXSession::run(const std::string &command, std::string *out) const {
    std::string cmd = "DISPLAY=" + display_ + " " + command;
    if (!out)
        return runCommand(cmd);
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    size_t n;
    out->clear();
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out->append(buf, n);
    const int st = pclose(p);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::vector<unsigned long> TXSession::findWindows(const std::string &cls, int timeoutMs, const std::string &title) const {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<unsigned long> found;
    do {
        std::string out;
        run("xdotool search --class '^" + cls + "$' 2>/dev/null", &out);
        found.clear();
        std::istringstream lines(out);
        for (unsigned long id; lines >> id;) {
            // Qt's hidden helper windows carry the class too: count mapped ones.
            std::string state;
            run("xwininfo -id " + std::to_string(id) + " | grep 'Map State'", &state);
            if (state.find("IsViewable") != std::string::npos &&
                (title.empty() || property(id, "_NET_WM_NAME") == "\"" + title + "\""))
                found.push_back(id);
        }
        if (!found.empty())
            break;
        sleepMs(50);
    } while (Clock::now() < until);
    return found;
}

bool TXSession::closeWindow(unsigned long window) const {
    Display *d = XOpenDisplay(display_.c_str());
    if (!d)
        return false;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(d, window, False, NoEventMask, &e) != 0;
    XFlush(d);
    XCloseDisplay(d);
    return sent;
}

std::string TXSession::property(unsigned long window, const std::string &name) const {
    std::string out;
    run("xprop -id " + std::to_string(window) + " " + name, &out);
    const size_t eq = out.find(" = ");
    if (eq == std::string::npos)
        return "";
    std::string v = out.substr(eq + 3);
    while (!v.empty() && (v.back() == '\n' || v.back() == ' '))
        v.pop_back();
    return v;
}

std::pair<int, int> TXSession::info(unsigned long window, const std::string &a, const std::string &b,
                                    int missing) const {
    std::string out;
    run("xwininfo -id " + std::to_string(window), &out);
    auto field = [&](const std::string &key) {
        const size_t at = out.find(key);
        return at == std::string::npos ? missing : std::atoi(out.c_str() + at + key.size());
    };
    return {field(a), field(b)};
}

bool TXSession::above(unsigned long a, unsigned long b) const {
    // xwininfo walks the tree depth first and lists each window's children
    // topmost first: a client inside its frame comes in the order of the frames.
    std::string out;
    run("xwininfo -root -tree", &out);
    std::istringstream lines(out);
    long at = 0, atA = -1, atB = -1;
    for (std::string line; std::getline(lines, line); ++at) {
        const size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos || line.compare(start, 2, "0x") != 0)
            continue;
        const unsigned long id = std::strtoul(line.c_str() + start, nullptr, 16);
        if (id == a && atA < 0)
            atA = at;
        if (id == b && atB < 0)
            atB = at;
    }
    return atA >= 0 && atB >= 0 && atA < atB;
}

std::pair<int, int> TXSession::size(unsigned long window) const { return info(window, "Width: ", "Height: ", -1); }

std::pair<int, int> TXSession::origin(unsigned long window) const {
    return info(window, "Absolute upper-left X:", "Absolute upper-left Y:", -100000);
}

} // namespace vorel::test
