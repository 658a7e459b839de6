#include "layout.h"

#include <X11/X.h>
#include <X11/keysym.h>

#include <algorithm>

namespace hotpad {

const std::vector<THotkey> &Hotkeys() {
    // The transport keys carry no modifier: while Hotpad runs they reach no other program.
    static const std::vector<THotkey> keys = {
        {400, XK_Right, 0, TAction::Next},
        {401, XK_Left, 0, TAction::Prev},
        {402, XK_space, 0, TAction::Pause},
        {403, XK_Up, 0, TAction::Play},
        {399, XK_Escape, Mod1Mask, TAction::Quit},
    };
    return keys;
}

TRect ButtonRect(TAction action) {
    // The transport panel sits at client (7, 77); the buttons lie in one row on it.
    constexpr int PanelLeft = 7, PanelTop = 77;
    auto onPanel = [](int left, int top, int width, int height) {
        return TRect{PanelLeft + left, PanelTop + top, width, height};
    };
    switch (action) {
    case TAction::Play: return onPanel(58, 9, 25, 25);
    case TAction::Pause: return onPanel(84, 9, 28, 25);
    case TAction::Prev: return onPanel(111, 9, 25, 25);
    case TAction::Next: return onPanel(137, 9, 25, 25);
    case TAction::Quit: break;
    }
    return {};
}

TPoint ClickPoint(TPoint clientOrigin, TAction action) {
    const TRect r = ButtonRect(action);
    return {clientOrigin.x + r.left + r.width / 2, clientOrigin.y + r.top + r.height / 2};
}

std::vector<unsigned> GrabMasks(unsigned base, unsigned lockMask, unsigned numLockMask) {
    std::vector<unsigned> masks;
    for (unsigned extra : {0u, lockMask, numLockMask, lockMask | numLockMask}) {
        const unsigned m = base | extra;
        if (std::find(masks.begin(), masks.end(), m) == masks.end())
            masks.push_back(m);
    }
    return masks;
}

std::string WmClassClass(std::string_view raw) {
    const size_t nul = raw.find('\0');
    if (nul == std::string_view::npos)
        return {};
    std::string_view cls = raw.substr(nul + 1);
    return std::string(cls.substr(0, cls.find('\0')));
}

std::optional<std::string> FindProgram(const std::string &ownDir, const std::string &path, std::string_view name,
                                       bool (*isExecutable)(const std::string &)) {
    const std::string file(name);
    if (!ownDir.empty() && isExecutable(ownDir + "/" + file))
        return ownDir + "/" + file;
    size_t from = 0;
    while (from <= path.size()) {
        const size_t colon = std::min(path.find(':', from), path.size());
        const std::string dir = path.substr(from, colon - from);
        from = colon + 1;
        if (dir.empty() || dir.front() != '/')
            continue;
        if (isExecutable(dir + "/" + file))
            return dir + "/" + file;
    }
    return std::nullopt;
}

} // namespace hotpad
