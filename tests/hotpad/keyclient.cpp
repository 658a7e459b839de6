// A stand-in for the learner's other program: an X client with a window that
// writes every key it receives to a log file, one keysym name a line.
// Usage: hotpad_keyclient LOG [--class CLASS] [--name CAPTION] [--grab KEYSYM]
//   --class, --name  its WM_CLASS class and _NET_WM_NAME (to pose as a main window)
//   --grab           holds that key as a global grab before anyone else can
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char **argv) {
    if (argc < 2)
        return 2;
    std::string cls = "KeyClient", name = "key client", grab;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--class"))
            cls = argv[i + 1];
        else if (!std::strcmp(argv[i], "--name"))
            name = argv[i + 1];
        else if (!std::strcmp(argv[i], "--grab"))
            grab = argv[i + 1];
    }
    FILE *log = std::fopen(argv[1], "a");
    Display *d = XOpenDisplay(nullptr);
    if (!log || !d)
        return 1;
    const Window root = DefaultRootWindow(d);
    if (!grab.empty())
        XGrabKey(d, XKeysymToKeycode(d, XStringToKeysym(grab.c_str())), 0, root, False, GrabModeAsync, GrabModeAsync);

    const Window w = XCreateSimpleWindow(d, root, 0, 600, 300, 120, 0, 0, 0xffffff);
    std::string classHint = "keyclient";
    classHint += '\0';
    classHint += cls;
    classHint += '\0';
    XChangeProperty(d, w, XA_WM_CLASS, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(classHint.data()), int(classHint.size()));
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char *>(name.data()), int(name.size()));
    XSelectInput(d, w, KeyPressMask);
    XMapWindow(d, w);
    XSync(d, False);
    std::fputs("ready\n", log);
    std::fflush(log);
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == KeyPress) {
            const char *key = XKeysymToString(XLookupKeysym(&e.xkey, 0));
            std::fprintf(log, "%s\n", key ? key : "?");
            std::fflush(log);
        }
    }
}
