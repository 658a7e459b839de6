// vorel-mapwait: time from exec to the first map of a top-level window of a
// given WM_CLASS class, on the current X display. Runs the program `runs` times
// (each ended with SIGTERM once mapped) and prints every time and the median in
// ms. Usage: vorel-mapwait CLASS RUNS PROGRAM [ARGS...]
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

bool hasClass(Display *d, Window w, const char *cls) {
    XClassHint hint{};
    if (!XGetClassHint(d, w, &hint))
        return false;
    const bool match = hint.res_class && std::strcmp(hint.res_class, cls) == 0;
    XFree(hint.res_name);
    XFree(hint.res_class);
    return match;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: vorel-mapwait CLASS RUNS PROGRAM [ARGS...]\n");
        return 2;
    }
    Display *d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "vorel-mapwait: no X display\n");
        return 1;
    }
    const char *cls = argv[1];
    const int runs = std::atoi(argv[2]);
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    std::vector<double> ms;
    for (int r = 0; r < runs; ++r) {
        XSync(d, True); // drop what earlier runs left
        const auto t0 = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            execvp(argv[3], argv + 3);
            _exit(127);
        }
        bool mapped = false;
        while (!mapped) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == MapNotify && hasClass(d, e.xmap.window, cls))
                mapped = true;
            if (e.type == ReparentNotify && hasClass(d, e.xreparent.window, cls))
                XSelectInput(d, e.xreparent.window, StructureNotifyMask);
        }
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        kill(pid, SIGTERM);
        int st;
        waitpid(pid, &st, 0);
        std::printf("run %d: %.1f ms\n", r + 1, ms.back());
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    std::printf("median of %zu: %.1f ms\n", ms.size(), median);
    XCloseDisplay(d);
    return 0;
}
