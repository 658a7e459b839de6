#include "xremote.h"

#include <X11/Xatom.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace hotpad {

namespace {

// XTest events reach a window manager's clients only reliably with a pause
// between them: without it, clicks on a freshly raised window get lost.
constexpr unsigned long XTestDelayMs = 30;
// How long a raised window may take to come up under the click point.
constexpr int RaisePolls = 20, RaisePollMs = 30;

struct TErrorLog {
    unsigned long firstSerial = 0;
    bool badAccessGrab = false;
} errorLog;

int onError(Display *, XErrorEvent *e) {
    if (e->serial >= errorLog.firstSerial && e->request_code == X_GrabKey && e->error_code == BadAccess)
        errorLog.badAccessGrab = true;
    return 0; // windows vanish while we look at them: not a reason to end
}

int onIoError(Display *) {
    std::fputs("Hotpad: 与X显示服务器的连接已断开，程序退出。\n", stderr);
    std::exit(0);
}

std::string property(Display *d, Window w, Atom name, Atom type) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    std::string value;
    if (XGetWindowProperty(d, w, name, 0, 1024, False, type, &actual, &format, &count, &after, &data) == Success &&
        data && format == 8)
        value.assign(reinterpret_cast<const char *>(data), count);
    if (data)
        XFree(data);
    return value;
}

std::vector<unsigned long> longs(Display *d, Window w, Atom name, Atom type) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    std::vector<unsigned long> values;
    if (XGetWindowProperty(d, w, name, 0, 4096, False, type, &actual, &format, &count, &after, &data) == Success &&
        data && format == 32) {
        const long *items = reinterpret_cast<const long *>(data);
        values.assign(items, items + count);
    }
    if (data)
        XFree(data);
    return values;
}

std::optional<long> cardinal(Display *d, Window w, Atom name, Atom type) {
    const std::vector<unsigned long> values = longs(d, w, name, type);
    return values.size() == 1 ? std::optional<long>(static_cast<long>(values[0])) : std::nullopt;
}

bool contains(const std::vector<Window> &list, Window w) { return std::find(list.begin(), list.end(), w) != list.end(); }

std::vector<Window> children(Display *d, Window w, Window *parent = nullptr) {
    Window root = 0, up = 0, *list = nullptr;
    unsigned n = 0;
    std::vector<Window> out;
    if (XQueryTree(d, w, &root, &up, &list, &n)) {
        out.assign(list, list + n);
        if (parent)
            *parent = up;
    }
    if (list)
        XFree(list);
    return out;
}

} // namespace

void TXRemote::InstallErrorHandlers() {
    XSetErrorHandler(onError);
    XSetIOErrorHandler(onIoError);
}

TXRemote::TXRemote(Display *display) : d_(display), root_(DefaultRootWindow(display)) {
    InstallErrorHandlers();
    utf8String_ = XInternAtom(d_, "UTF8_STRING", False);
    netWmName_ = XInternAtom(d_, "_NET_WM_NAME", False);
    wmState_ = XInternAtom(d_, "WM_STATE", False);
    netWmState_ = XInternAtom(d_, "_NET_WM_STATE", False);
    netWmStateAbove_ = XInternAtom(d_, "_NET_WM_STATE_ABOVE", False);
    netActiveWindow_ = XInternAtom(d_, "_NET_ACTIVE_WINDOW", False);
    netSupportingWmCheck_ = XInternAtom(d_, "_NET_SUPPORTING_WM_CHECK", False);
    netClientList_ = XInternAtom(d_, "_NET_CLIENT_LIST", False);
    // A window manager announces each new client in the root's client list.
    XSelectInput(d_, root_, PropertyChangeMask);

    XModifierKeymap *map = XGetModifierMapping(d_);
    const KeyCode numLock = XKeysymToKeycode(d_, XK_Num_Lock);
    if (map && numLock) {
        for (int mod = 0; mod < 8; ++mod)
            for (int k = 0; k < map->max_keypermod; ++k)
                if (map->modifiermap[mod * map->max_keypermod + k] == numLock)
                    numLockMask_ = 1u << mod;
    }
    if (map)
        XFreeModifiermap(map);
}

TXRemote::~TXRemote() { Restore(); }

void TXRemote::GrabKeys() {
    for (const THotkey &key : Hotkeys()) {
        const int keycode = XKeysymToKeycode(d_, key.keysym);
        if (keycode == 0)
            continue; // not on this keyboard
        const std::vector<unsigned> masks = GrabMasks(key.modifiers, LockMask, numLockMask_);
        errorLog = {NextRequest(d_), false};
        for (unsigned m : masks)
            XGrabKey(d_, keycode, m, root_, False, GrabModeAsync, GrabModeAsync);
        XSync(d_, False); // BadAccess arrives only as an asynchronous error
        if (errorLog.badAccessGrab) {
            for (unsigned m : masks)
                XUngrabKey(d_, keycode, m, root_);
            continue;
        }
        grabs_.push_back({keycode, &key});
    }
    XSync(d_, False);
}

std::vector<int> TXRemote::GrabbedIds() const {
    std::vector<int> ids;
    for (const TGrab &g : grabs_)
        ids.push_back(g.key->id);
    return ids;
}

const THotkey *TXRemote::Match(const XKeyEvent &event) const {
    const unsigned relevant = (ShiftMask | ControlMask | Mod1Mask | Mod2Mask | Mod3Mask | Mod4Mask | Mod5Mask) &
                              ~(LockMask | numLockMask_);
    for (const TGrab &g : grabs_)
        if (static_cast<int>(event.keycode) == g.keycode && (event.state & relevant) == g.key->modifiers)
            return g.key;
    return nullptr;
}

std::optional<Window> TXRemote::FindMainWindow() {
    std::vector<Window> pending = children(d_, root_);
    while (!pending.empty()) {
        const Window w = pending.back();
        pending.pop_back();
        if (WmClassClass(property(d_, w, XA_WM_CLASS, XA_STRING)) == MainWindowClass &&
            property(d_, w, netWmName_, utf8String_) == MainWindowCaption) {
            XWindowAttributes a;
            // A withdrawn window (closed, on its way out) is gone for us.
            if (XGetWindowAttributes(d_, w, &a) &&
                (a.map_state == IsViewable || cardinal(d_, w, wmState_, wmState_) == IconicState))
                return w;
        }
        for (Window c : children(d_, w))
            pending.push_back(c);
    }
    return std::nullopt;
}

bool TXRemote::managed() const {
    return cardinal(d_, root_, netSupportingWmCheck_, XA_WINDOW).has_value();
}

void TXRemote::clientMessage(Window window, Atom type, long l0, long l1, long l2) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = l0;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = 2; // source: a pager-like tool acting for the user
    XSendEvent(d_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

namespace {
constexpr long NetWmStateRemove = 0, NetWmStateAdd = 1, SourcePager = 2;
}

std::vector<Window> TXRemote::clientList() {
    const std::vector<unsigned long> ids = longs(d_, root_, netClientList_, XA_WINDOW);
    return {ids.begin(), ids.end()};
}

bool TXRemote::keptAbove(Window window) {
    const std::vector<unsigned long> states = longs(d_, window, netWmState_, XA_ATOM);
    return std::find(states.begin(), states.end(), netWmStateAbove_) != states.end();
}

void TXRemote::keepAbove(Window window) {
    if (!contains(madeAbove_, window) && !keptAbove(window))
        madeAbove_.push_back(window);
    clientMessage(window, netWmState_, NetWmStateAdd, static_cast<long>(netWmStateAbove_), 0);
}

void TXRemote::bringOnTop(Window window) {
    clientMessage(window, netActiveWindow_, SourcePager, CurrentTime, 0);
    XMapRaised(d_, window);
    if (!managed()) // nobody else hands out the focus
        XSetInputFocus(d_, window, RevertToParent, CurrentTime);
}

void TXRemote::Activate(Window window) {
    keepAbove(window);
    heldMain_ = window;
    bringOnTop(window);
    // A box or the help window of the main program stays in front of it: they
    // are modal, and the main window takes no input while one is open.
    const std::vector<Window> clients = clientList();
    for (Window w : followers_)
        if (contains(clients, w))
            bringOnTop(w);
    XSync(d_, False);
}

void TXRemote::HandleRootEvent(const XEvent &event) {
    if (event.type != PropertyNotify || event.xproperty.window != root_ || event.xproperty.atom != netClientList_ ||
        !heldMain_)
        return;
    const std::vector<Window> clients = clientList();
    std::erase_if(followers_, [&](Window w) { return !contains(clients, w); });
    std::erase_if(madeAbove_, [&](Window w) { return !contains(clients, w) && w != *heldMain_; });
    for (Window w : clients) {
        if (w == *heldMain_ || contains(followers_, w) ||
            WmClassClass(property(d_, w, XA_WM_CLASS, XA_STRING)) != MainWindowClass)
            continue;
        followers_.push_back(w);
        keepAbove(w);
        bringOnTop(w);
    }
    XSync(d_, False);
}

void TXRemote::Restore() {
    InstallErrorHandlers(); // a toolkit opened for a box may have replaced them
    for (Window w : madeAbove_)
        clientMessage(w, netWmState_, NetWmStateRemove, static_cast<long>(netWmStateAbove_), 0);
    madeAbove_.clear();
    followers_.clear();
    heldMain_.reset();
    XSync(d_, False);
}

std::optional<TPoint> TXRemote::clientOrigin(Window window) {
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(d_, window, root_, 0, 0, &x, &y, &child))
        return std::nullopt;
    return TPoint{x, y};
}

Window TXRemote::topLevel(Window window) {
    Window w = window;
    for (;;) {
        Window parent = 0;
        children(d_, w, &parent);
        if (parent == 0 || parent == root_)
            return w;
        w = parent;
    }
}

bool TXRemote::pointerAt(Window window, TPoint p) {
    Window rootReturn = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    if (!XQueryPointer(d_, root_, &rootReturn, &child, &rx, &ry, &wx, &wy, &mask))
        return false;
    // The root's child under the pointer is the topmost window there.
    return TPoint{rx, ry} == p && child != 0 && child == topLevel(window);
}

bool TXRemote::Click(Window window, TAction action) {
    int xtestEvent, xtestError, major, minor;
    if (!XTestQueryExtension(d_, &xtestEvent, &xtestError, &major, &minor)) {
        std::fputs("Hotpad: X服务器不支持XTest扩展，无法点击按钮。\n", stderr);
        return false;
    }
    const int screen = DefaultScreen(d_);
    for (int poll = 0; poll < RaisePolls; ++poll) {
        // Recomputed each time: a window manager may still be placing the window.
        const std::optional<TPoint> origin = clientOrigin(window);
        if (!origin)
            return false; // the window went away
        const TPoint p = ClickPoint(*origin, action);
        XTestFakeMotionEvent(d_, screen, p.x, p.y, poll == 0 ? XTestDelayMs : 0);
        if (pointerAt(window, p)) {
            XTestFakeButtonEvent(d_, Button1, True, XTestDelayMs);
            XTestFakeButtonEvent(d_, Button1, False, XTestDelayMs);
            XSync(d_, False);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(RaisePollMs));
    }
    std::fputs("Hotpad: 按钮被其他窗口遮住或不在屏幕上，未点击。\n", stderr);
    return false;
}

} // namespace hotpad
