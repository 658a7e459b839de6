// What Hotpad knows of the main window and its keys, kept free of X so that the
// arithmetic can be checked without a display.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hotpad {

// The main window is found by its WM_CLASS class and exact caption; both are the
// interface to Vorelplay, together with the button positions below.
inline constexpr std::string_view MainWindowClass = "TfMainFree";
inline constexpr std::string_view MainWindowCaption = "Vorel语言复读机(免费体验版)";

inline constexpr std::string_view BoxCaption = "Hotpad";
inline constexpr std::string_view QuitText = "Hotpad程序将退出!";
inline constexpr std::string_view NotRunningText = "Vorel语言复读机(免费体验版)未运行!(Alt+Esc退出Hotpad!)";

inline constexpr int WatchdogMs = 1000;

struct TPoint {
    int x = 0, y = 0;
    bool operator==(const TPoint &) const = default;
};

struct TRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool contains(TPoint p) const { return p.x >= left && p.x < left + width && p.y >= top && p.y < top + height; }
};

enum class TAction { Next, Prev, Pause, Play, Quit };

// One global key: the identifier it had when registered with the system, its X
// keysym and modifier mask (Alt is Mod1 on every usual keymap), what it does.
struct THotkey {
    int id;
    unsigned long keysym;
    unsigned modifiers;
    TAction action;
};

// In registration order.
const std::vector<THotkey> &Hotkeys();

// The transport button a key clicks, in the main window's client coordinates
// (panel offset plus the button's own position).
TRect ButtonRect(TAction action);

// Screen point to click: the button's centre from the client area's screen origin.
// The centre rather than an edge, since pausebtn and prevbtn share a column.
TPoint ClickPoint(TPoint clientOrigin, TAction action);

// The modifier masks one key is grabbed with, so that it works whatever the state
// of Caps Lock and Num Lock: base, base+Lock, base+NumLock, base+both (no
// duplicates when Num Lock is unmapped, i.e. numLockMask is 0).
std::vector<unsigned> GrabMasks(unsigned base, unsigned lockMask, unsigned numLockMask);

// The class part of a raw WM_CLASS value ("instance\0class\0").
std::string WmClassClass(std::string_view raw);

// Where to start Vorelplay from: beside Hotpad's own executable, else the first
// PATH entry holding it. Relative and empty PATH entries are skipped: they would
// run whatever lies in the current directory. isExecutable checks a candidate.
std::optional<std::string> FindProgram(const std::string &ownDir, const std::string &path, std::string_view name,
                                       bool (*isExecutable)(const std::string &));

} // namespace hotpad
