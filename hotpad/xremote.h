// Hotpad's side of the X server: the global key grabs, finding Vorelplay's main
// window, raising it and clicking its buttons with XTest. One thread, one
// connection; X errors never end the program (windows vanish while we look).
#pragma once

#include "layout.h"

#include <X11/Xlib.h>

#include <optional>
#include <vector>

namespace hotpad {

class TXRemote {
public:
    explicit TXRemote(Display *display);
    ~TXRemote();
    TXRemote(const TXRemote &) = delete;
    TXRemote &operator=(const TXRemote &) = delete;

    // Grabs every hotkey with its Caps Lock and Num Lock variants. A key another
    // client holds is refused with BadAccess; that key is then left out whole.
    void GrabKeys();
    // The identifiers of the keys actually grabbed, in table order.
    std::vector<int> GrabbedIds() const;
    // The hotkey a KeyPress stands for, if it is one of ours.
    const THotkey *Match(const XKeyEvent &event) const;

    // The mapped or iconified client window with the main window's class and exact
    // caption, searched afresh through the whole tree: window managers reparent.
    std::optional<Window> FindMainWindow();
    // Keeps it above the others, maps and raises it and gives it the focus. Its
    // other windows (boxes, help, about) that are open come above it again.
    void Activate(Window window);
    // Handles an event of the root window: the main program's windows that
    // appear while its main window is kept above come above it too (a box or the
    // help window would otherwise open hidden behind it).
    void HandleRootEvent(const XEvent &event);
    // Gives the stay-on-top state back: the windows Hotpad put above the others
    // are ordinary again. Also done when the remote goes.
    void Restore();
    // Moves the pointer to the action's button and clicks there, but only once the
    // main window is what lies under that point: never click into another program.
    // False when it did not click.
    bool Click(Window window, TAction action);

    // Re-installs the error handlers (a toolkit opened for a message box may
    // replace them).
    static void InstallErrorHandlers();

private:
    bool managed() const;
    std::optional<TPoint> clientOrigin(Window window);
    Window topLevel(Window window);
    bool pointerAt(Window window, TPoint p);
    void clientMessage(Window window, Atom type, long l0, long l1, long l2);
    std::vector<Window> clientList();
    bool keptAbove(Window window);
    void keepAbove(Window window);
    void bringOnTop(Window window);

    Display *d_;
    Window root_;
    unsigned numLockMask_ = 0;
    struct TGrab {
        int keycode;
        const THotkey *key;
    };
    std::vector<TGrab> grabs_;
    std::optional<Window> heldMain_; // the main window as last activated
    std::vector<Window> madeAbove_;  // windows that were not above others until Hotpad made them so
    std::vector<Window> followers_;  // the main program's other windows brought above its main window
    Atom utf8String_, netWmName_, wmState_, netWmState_, netWmStateAbove_, netActiveWindow_, netSupportingWmCheck_,
        netClientList_;
};

} // namespace hotpad
