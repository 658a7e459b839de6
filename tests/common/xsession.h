// A private X server for end-to-end tests: Xvfb on a display it picks itself,
// optionally with the jwm window manager, and child programs started on it. Both
// are ended by process id when the session goes.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace vorel::test {

// A child process started through the shell; ended (TERM, then KILL) when dropped.
class TChild {
public:
    TChild() = default;
    TChild(const std::string &command, const std::map<std::string, std::string> &env);
    ~TChild();
    TChild(TChild &&other) noexcept;
    TChild &operator=(TChild &&other) noexcept;
    pid_t pid() const { return pid_; }
    bool running();
    // Waits up to timeoutMs for the child to end; its exit status, or -1 when it
    // still runs (or ended by a signal).
    int wait(int timeoutMs);
    void stop();

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

class TXSession {
public:
    explicit TXSession(bool windowManager = false);
    ~TXSession();
    TXSession(const TXSession &) = delete;
    TXSession &operator=(const TXSession &) = delete;

    bool ok() const { return !display_.empty(); }
    const std::string &display() const { return display_; }
    // The environment a program on this display runs with (DISPLAY, Qt on X11).
    std::map<std::string, std::string> env() const;

    // Runs a shell command with DISPLAY set; its exit status and standard output.
    int run(const std::string &command, std::string *out = nullptr) const;
    // The X window ids whose WM_CLASS class is cls (and, when title is given, whose
    // _NET_WM_NAME is title: the program's windows all share its class), found
    // within timeoutMs.
    std::vector<unsigned long> findWindows(const std::string &cls, int timeoutMs, const std::string &title = "") const;
    // Asks a top-level client window to close, as a window manager's close
    // button does (WM_DELETE_WINDOW).
    bool closeWindow(unsigned long window) const;
    // A property's value as xprop prints it after " = " (or "" when unset).
    std::string property(unsigned long window, const std::string &name) const;
    // The window's size in pixels (xwininfo).
    std::pair<int, int> size(unsigned long window) const;
    // Whether window a lies above window b in the X server's own stacking order
    // (false when either is not there). Window managers report the order in
    // _NET_CLIENT_LIST_STACKING too, but jwm 2.4 writes it layer by layer from
    // the bottom, each layer topmost first, so the server is asked instead.
    bool above(unsigned long a, unsigned long b) const;
    // The screen position of the window's top-left pixel (its client origin);
    // far off screen when the window cannot be read.
    std::pair<int, int> origin(unsigned long window) const;

private:
    // Numeric fields of xwininfo's report, by their labels; missing when absent.
    std::pair<int, int> info(unsigned long window, const std::string &a, const std::string &b, int missing) const;

    std::string display_;
    TChild xvfb_, wm_;
};

} // namespace vorel::test
