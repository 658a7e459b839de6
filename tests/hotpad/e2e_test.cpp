// Hotpad and the real Vorelplay on a private X server, with and without a window
// manager. Keys are typed with xdotool (XTest) while a key-logging client has the
// focus; what Vorelplay did is read from its trace.
#include "testfiles.h"
#include "xsession.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <thread>

using vorel::test::shellQuote;
using vorel::test::TChild;
using vorel::test::TempDir;
using vorel::test::TXSession;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const std::string Caption = "Vorel语言复读机(免费体验版)";

// The transport buttons in the main window's client coordinates.
struct TRect {
    int left, top, width, height;
};
const TRect PlayBtn{65, 86, 25, 25}, PauseBtn{91, 86, 28, 25}, PrevBtn{118, 86, 25, 25}, NextBtn{144, 86, 25, 25};

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool waitFor(const std::function<bool()> &done, int timeoutMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() >= until)
            return false;
        sleepMs(20);
    }
    return true;
}

std::string readText(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int msSince(Clock::time_point t) {
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

struct TRead {
    int at;    // trace time stamp
    int start; // ms in the file
};

// One scene: an X server, a private runtime and temp folder, Vorelplay's trace.
class TScene {
public:
    explicit TScene(bool windowManager) : x(windowManager) {
        const std::string xdg = tmp.file("xdg");
        mkdir(xdg.c_str(), 0700);
        env = x.env();
        env["XDG_RUNTIME_DIR"] = xdg;
        env["XDG_DATA_HOME"] = tmp.file("data");
        env["TMPDIR"] = tmp.path();
        env["VORELPLAY_TRACE"] = tmp.file("trace");
        env["VORELPLAY_NO_DIALOGS"] = "1";
        env["SDL_AUDIODRIVER"] = "dummy";
    }

    std::string trace() const { return readText(tmp.file("trace")); }
    // What the window did: the trace without its "stall" lines, which a busy
    // machine adds whenever the event loop comes back late.
    std::string actions() const {
        std::istringstream lines(trace());
        std::string out;
        for (std::string line; std::getline(lines, line);)
            if (line.find("\tstall\t") == std::string::npos)
                out += line + '\n';
        return out;
    }

    std::vector<TRead> reads() const {
        std::vector<TRead> out;
        std::istringstream lines(trace());
        for (std::string line; std::getline(lines, line);) {
            int at = 0, start = 0;
            char kind[16] = {};
            if (std::sscanf(line.c_str(), "%d\t%15[a-z]\t%d", &at, kind, &start) == 3 && std::string(kind) == "read")
                out.push_back({at, start});
        }
        return out;
    }
    // The range and file end notifications traced after `from` and up to `to`.
    int endsBetween(int from, int to) const {
        int n = 0;
        std::istringstream lines(trace());
        for (std::string line; std::getline(lines, line);) {
            int at = 0;
            char kind[16] = {};
            if (std::sscanf(line.c_str(), "%d\t%15[a-z]", &at, kind) == 2 && std::string(kind) == "end" && at > from &&
                at <= to)
                ++n;
        }
        return n;
    }

    // Vorelplay with the demo lesson loaded; its main window.
    unsigned long startVorelplay(TChild &child, const std::string &file = std::string(DEMO_DIR) + "/01-classroom.mp3") {
        child = TChild(shellQuote(VORELPLAY) + " " + shellQuote(file) + " 2>" + shellQuote(tmp.file("vorel.err")), env);
        const auto windows = x.findWindows("TfMainFree", 15000, Caption);
        if (windows.size() != 1) {
            ADD_FAILURE() << "main windows: " << windows.size();
            return 0;
        }
        if (!waitFor([&] { return trace().find("\tload\t") != std::string::npos; }, 15000))
            ADD_FAILURE() << "lesson not loaded: " << trace();
        return windows.front();
    }

    // The key-logging client, focused; its window.
    unsigned long startKeyClient(TChild &child, const std::string &extraArgs = "", const std::string &cls = "KeyClient") {
        child = TChild(shellQuote(KEYCLIENT) + " " + shellQuote(keyLog()) + " " + extraArgs, env);
        if (!waitFor([&] { return keyLogText().find("ready\n") != std::string::npos; }, 10000))
            ADD_FAILURE() << "key client did not start";
        const auto windows = x.findWindows(cls, 10000);
        return windows.empty() ? 0 : windows.front();
    }

    std::string keyLog() const { return tmp.file("keys"); }
    std::string keyLogText() const { return readText(keyLog()); }

    unsigned long focused() const {
        std::string out;
        x.run("xdotool getwindowfocus 2>/dev/null", &out);
        return std::strtoul(out.c_str(), nullptr, 10);
    }

    bool aboveOthers(unsigned long window) const {
        return x.property(window, "_NET_WM_STATE").find("_NET_WM_STATE_ABOVE") != std::string::npos;
    }

    // Asked again while it does not hold: a window manager may still be handing
    // the focus to a window that Hotpad activated.
    bool focus(unsigned long window) {
        return waitFor(
            [&] {
                if (focused() == window)
                    return true;
                x.run("xdotool windowfocus " + std::to_string(window) + " 2>/dev/null");
                return false;
            },
            3000);
    }

    void key(const std::string &keys) { x.run("xdotool key " + keys); }

    std::pair<int, int> pointer() const {
        std::string out;
        x.run("xdotool getmouselocation --shell", &out);
        int px = -1, py = -1;
        std::sscanf(out.c_str(), "X=%d\nY=%d", &px, &py);
        return {px, py};
    }

    bool pointerOver(unsigned long mainWindow, const TRect &button) const {
        const auto [ox, oy] = x.origin(mainWindow);
        const auto [px, py] = pointer();
        return px >= ox + button.left && px < ox + button.left + button.width && py >= oy + button.top &&
               py < oy + button.top + button.height;
    }

    // Hotpad has its keys once Space (pausebtn, disabled while nothing plays)
    // moves the pointer; until then the key goes to the focused client.
    bool waitUntilHotpadListens(unsigned long mainWindow, unsigned long focusWindow) {
        x.run("xdotool mousemove 0 0");
        return waitFor(
            [&] {
                focus(focusWindow);
                key("space");
                return waitFor([&] { return pointerOver(mainWindow, PauseBtn); }, 300);
            },
            10000);
    }

    TXSession x;
    TempDir tmp;
    std::map<std::string, std::string> env;
};

std::string hotpadCommand(const std::string &errFile, const std::string &program = HOTPAD) {
    return shellQuote(program) + " 2>" + shellQuote(errFile);
}

// A copy of Hotpad in a folder of its own: there it finds no Vorelplay beside it.
std::string lonelyHotpad(const TempDir &dir) {
    const std::string bin = dir.file("bin");
    fs::create_directories(bin);
    fs::copy_file(HOTPAD, bin + "/Hotpad", fs::copy_options::overwrite_existing);
    return bin + "/Hotpad";
}

class TransportKeys : public testing::TestWithParam<bool> {};

} // namespace

TEST_P(TransportKeys, DriveTheMainWindowWhileAnotherClientHasTheFocus) {
    TScene s(GetParam());
    ASSERT_TRUE(s.x.ok());
    TChild vorel, client, hotpad;
    // Vorelplay runs first: Hotpad's own start of it only raises this window.
    const unsigned long main = s.startVorelplay(vorel);
    const unsigned long other = s.startKeyClient(client);
    ASSERT_TRUE(main && other);
    hotpad = TChild(hotpadCommand(s.tmp.file("hotpad.err")), s.env);
    ASSERT_TRUE(s.waitUntilHotpadListens(main, other)) << readText(s.tmp.file("hotpad.err"));
    const size_t logged = s.keyLogText().size();

    auto press = [&](const std::string &k, const TRect &button) {
        ASSERT_TRUE(s.focus(other)) << "before " << k;
        s.key(k);
        EXPECT_TRUE(waitFor([&] { return s.pointerOver(main, button); }, 3000)) << k;
    };

    press("Up", PlayBtn);
    ASSERT_TRUE(waitFor([&] { return !s.reads().empty(); }, 5000)) << s.trace();
    // The first sentence [0, 2280] is read once; the second [2280, 6280] follows by itself.
    ASSERT_TRUE(waitFor([&] { return s.reads().back().start == 2280; }, 8000)) << s.trace();
    const TRead second = s.reads().back();

    press("Right", NextBtn);
    ASSERT_TRUE(waitFor([&] { return s.reads().back().start >= 6280; }, 5000)) << s.trace();
    // Next moved on, not the end of that sentence's reading (the program's own
    // trace says so, however late a busy machine delivered the key).
    EXPECT_EQ(s.endsBetween(second.at, s.reads().back().at), 0) << s.trace();

    press("Left", PrevBtn);
    EXPECT_TRUE(waitFor([&] { return s.reads().back().start < 6280; }, 5000)) << s.trace();

    press("space", PauseBtn);
    EXPECT_TRUE(waitFor([&] { return s.trace().find("\tstatus\t暂停") != std::string::npos; }, 5000)) << s.trace();

    // None of those keys reached the focused client; other keys still do.
    ASSERT_TRUE(s.focus(other));
    s.key("a");
    ASSERT_TRUE(waitFor([&] { return s.keyLogText().find("\na\n", logged - 1) != std::string::npos; }, 3000));
    EXPECT_EQ(s.keyLogText().substr(logged), "a\n");

    if (GetParam()) { // with a window manager the main window stays above the others
        EXPECT_NE(s.x.property(main, "_NET_WM_STATE").find("_NET_WM_STATE_ABOVE"), std::string::npos);
    }
    EXPECT_EQ(s.x.findWindows("TfMainFree", 0, Caption).size(), 1u) << "Hotpad's start of Vorelplay made another window";
    EXPECT_TRUE(hotpad.running());
}

INSTANTIATE_TEST_SUITE_P(Hotpad, TransportKeys, testing::Values(false, true),
                         [](const auto &info) { return info.param ? "UnderJwm" : "WithoutWindowManager"; });

TEST(Hotpad, StartsVorelplayWaitsForItsWindowAndEndsSoonAfterItCloses) {
    for (const bool slowStart : {false, true}) {
        SCOPED_TRACE(slowStart ? "window after 1.5 s" : "window at once");
        TScene s(false);
        ASSERT_TRUE(s.x.ok());
        TempDir dir;
        // As built, Vorelplay lies beside Hotpad, as in an installation. The slow
        // one shows its window only after the first watchdog tick.
        std::string program = HOTPAD;
        if (slowStart) {
            program = lonelyHotpad(dir);
            vorel::test::writeText(dir.file("bin/Vorelplay"), "#!/bin/sh\nsleep 1.5\nexec " + shellQuote(VORELPLAY) + "\n");
            fs::permissions(dir.file("bin/Vorelplay"), fs::perms::owner_all);
        }
        TChild hotpad(hotpadCommand(s.tmp.file("hotpad.err"), program), s.env);
        const auto windows = s.x.findWindows("TfMainFree", 15000, Caption);
        ASSERT_EQ(windows.size(), 1u);
        // Play with no lesson open: Vorelplay offers its open dialog, so the click
        // arrived; cancelled, the window asks for a file.
        unsigned long dialog = 0;
        ASSERT_TRUE(waitFor(
            [&] {
                s.key("Up");
                return waitFor(
                    [&] {
                        for (unsigned long id : s.x.findWindows("TfMainFree", 0))
                            if (id != windows.front())
                                dialog = id;
                        return dialog != 0;
                    },
                    500);
            },
            10000))
            << s.trace();
        EXPECT_TRUE(s.pointerOver(windows.front(), PlayBtn));
        s.x.run("xdotool windowfocus --sync " + std::to_string(dialog) + " key Escape");
        EXPECT_TRUE(waitFor([&] { return s.trace().find("\tnotice\t请先打开") != std::string::npos; }, 5000))
            << s.trace();

        // It ends at its watchdog's next tick (one second); a busy machine delays
        // the tick, so the wait's own limit is the only ceiling.
        ASSERT_TRUE(s.x.closeWindow(windows.front()));
        EXPECT_EQ(hotpad.wait(5000), 0);
    }
}

TEST(Hotpad, AltEscEndsItAfterTheBoxWithoutTouchingTheMainWindow) {
    for (const bool realBox : {true, false}) {
        SCOPED_TRACE(realBox ? "message box" : "no dialogs");
        TScene s(true);
        ASSERT_TRUE(s.x.ok());
        TChild vorel, client, hotpad;
        const unsigned long main = s.startVorelplay(vorel);
        const unsigned long other = s.startKeyClient(client);
        ASSERT_TRUE(main && other);
        auto env = s.env;
        if (realBox)
            env.erase("VORELPLAY_NO_DIALOGS");
        const std::string err = s.tmp.file("hotpad.err");
        hotpad = TChild(hotpadCommand(err), env);
        ASSERT_TRUE(s.waitUntilHotpadListens(main, other));
        ASSERT_TRUE(s.focus(other));
        const std::string actionsBefore = s.actions();
        const auto pointerBefore = s.pointer();

        // The window manager takes the request in its own time.
        ASSERT_TRUE(waitFor([&] { return s.aboveOthers(main); }, 3000));
        s.key("alt+Escape");
        if (realBox) {
            const auto boxes = s.x.findWindows("Hotpad", 10000);
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(s.x.property(boxes.front(), "_NET_WM_NAME"), "\"Hotpad\"");
            // In front of the main window, which is kept above the others, and with
            // the keys: Enter need not be pressed blind.
            EXPECT_TRUE(waitFor([&] { return s.x.above(boxes.front(), main); }, 3000));
            EXPECT_TRUE(waitFor([&] { return s.focused() == boxes.front(); }, 3000)) << s.focused();
            sleepMs(300);
            EXPECT_TRUE(hotpad.running()) << "ended before the box was dismissed";
            ASSERT_TRUE(s.focus(boxes.front()));
            s.key("Return");
        }
        EXPECT_EQ(hotpad.wait(5000), 0);
        EXPECT_TRUE(waitFor([&] { return !s.aboveOthers(main); }, 3000)) << "the stay-on-top state given back";
        if (!realBox) {
            EXPECT_EQ(readText(err), "Hotpad: Hotpad程序将退出!\n");
        }
        EXPECT_EQ(s.actions(), actionsBefore);
        EXPECT_EQ(s.pointer(), pointerBefore);
        EXPECT_EQ(s.x.findWindows("TfMainFree", 0, Caption).size(), 1u);
    }
}

// While Hotpad keeps the main window above the others, the windows Vorelplay
// opens come above it; when Hotpad ends, the main window is an ordinary one again.
TEST(Hotpad, VorelplaysWindowsComeAboveTheKeptMainWindowUntilHotpadEnds) {
    TScene s(true);
    ASSERT_TRUE(s.x.ok());
    TChild vorel, client, hotpad;
    const unsigned long main = s.startVorelplay(vorel);
    const unsigned long other = s.startKeyClient(client);
    ASSERT_TRUE(main && other);
    hotpad = TChild(hotpadCommand(s.tmp.file("hotpad.err")), s.env);
    ASSERT_TRUE(s.waitUntilHotpadListens(main, other));
    ASSERT_TRUE(waitFor([&] { return s.aboveOthers(main) && s.x.above(main, other); }, 3000));

    // The help button, in the main window's client coordinates.
    const auto [ox, oy] = s.x.origin(main);
    s.x.run("xdotool mousemove --sync " + std::to_string(ox + 175) + " " + std::to_string(oy + 98) +
            " sleep 0.1 click 1");
    unsigned long help = 0;
    ASSERT_TRUE(waitFor(
        [&] {
            for (unsigned long w : s.x.findWindows("TfMainFree", 0))
                if (s.x.property(w, "_NET_WM_NAME") == "\"Vorel语言复读机（免费体验版）帮助\"")
                    help = w;
            return help != 0;
        },
        10000));
    EXPECT_TRUE(waitFor([&] { return s.x.above(help, main); }, 3000)) << "help behind the main window";
    // A transport key brings the main window forward, and its help back in front of it.
    ASSERT_TRUE(s.focus(other));
    s.key("Right");
    sleepMs(500);
    EXPECT_TRUE(waitFor([&] { return s.x.above(help, main); }, 3000)) << "help behind after a key";
    ASSERT_TRUE(s.x.closeWindow(help));
    ASSERT_TRUE(waitFor(
        [&] {
            const auto left = s.x.findWindows("TfMainFree", 0);
            return std::find(left.begin(), left.end(), help) == left.end();
        },
        5000));

    hotpad.stop(); // ended by a signal: it still gives the state back
    EXPECT_TRUE(waitFor([&] { return !s.aboveOthers(main); }, 3000));
    s.x.run("xdotool windowactivate " + std::to_string(other) + " 2>/dev/null");
    EXPECT_TRUE(waitFor([&] { return s.x.above(other, main); }, 3000)) << "the main window still above others";
    EXPECT_TRUE(vorel.running());
}

TEST(Hotpad, FindsOnlyTheExactClassAndCaption) {
    TScene s(false);
    ASSERT_TRUE(s.x.ok());
    TempDir dir;
    const std::string hotpadCopy = lonelyHotpad(dir);
    s.env["PATH"] = "/usr/bin:/bin"; // no Vorelplay anywhere: only the stand-in window
    const struct {
        std::string cls, caption;
        bool found;
    } cases[] = {
        {"TfMainFree", Caption, true},
        {"TfMainFree", "Vorel语言复读机（免费体验版）", false}, // full-width parentheses
        {"TfMainFree", Caption + " ", false},
        {"TfMainFree", "Vorel语言复读机(免费体验版", false},
        {"TfMainFre", Caption, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.cls + " / " + c.caption);
        TChild window;
        fs::remove(s.keyLog());
        ASSERT_TRUE(s.startKeyClient(window, "--class " + shellQuote(c.cls) + " --name " + shellQuote(c.caption), c.cls));
        const auto started = Clock::now();
        TChild hotpad(hotpadCommand(s.tmp.file("hotpad.err"), hotpadCopy), s.env);
        if (!c.found) {
            // At the first watchdog tick, one second after the start: never before
            // it (a busy machine may only delay it; the wait's limit is the ceiling).
            EXPECT_EQ(hotpad.wait(5000), 0);
            EXPECT_GE(msSince(started), 900);
            continue;
        }
        sleepMs(2500);
        ASSERT_TRUE(hotpad.running());
        window.stop();
        EXPECT_EQ(hotpad.wait(5000), 0);
    }
}

TEST(Hotpad, AKeyHeldByAnotherClientIsLeftOutAndTheOthersWork) {
    TScene s(false);
    ASSERT_TRUE(s.x.ok());
    TChild vorel, client, hotpad;
    const unsigned long main = s.startVorelplay(vorel);
    // The client grabs Left before Hotpad starts.
    const unsigned long other = s.startKeyClient(client, "--grab Left");
    ASSERT_TRUE(main && other);
    hotpad = TChild(hotpadCommand(s.tmp.file("hotpad.err")), s.env);
    ASSERT_TRUE(s.waitUntilHotpadListens(main, other));
    EXPECT_EQ(readText(s.tmp.file("hotpad.err")), "") << "silently";

    ASSERT_TRUE(s.focus(other));
    s.key("Up");
    ASSERT_TRUE(waitFor([&] { return s.pointerOver(main, PlayBtn) && !s.reads().empty(); }, 5000)) << s.trace();

    ASSERT_TRUE(s.focus(other));
    s.key("Left");
    EXPECT_TRUE(waitFor([&] { return s.keyLogText().find("\nLeft\n") != std::string::npos; }, 3000));
    EXPECT_TRUE(s.pointerOver(main, PlayBtn)) << "Left clicked nonetheless";

    ASSERT_TRUE(s.focus(other));
    s.key("Right");
    EXPECT_TRUE(waitFor([&] { return s.pointerOver(main, NextBtn); }, 3000));
    EXPECT_TRUE(hotpad.running());
}

// Without an X display Hotpad still starts Vorelplay (as the learner asked for
// it), says why it cannot work, and ends with 0. The stand-ins write where they
// were started from.
TEST(Hotpad, WithoutXItSaysSoAndStartsVorelplayFromBesideItselfElsePath) {
    const struct {
        const char *what;
        bool beside, onPath;
        std::string started;
    } cases[] = {
        {"beside first", true, true, "beside"},
        {"then PATH", false, true, "path"},
        {"never the current folder", false, false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string hotpad = lonelyHotpad(dir), mark = dir.file("started");
        auto fake = [&](const std::string &folder, const std::string &name) {
            fs::create_directories(folder);
            vorel::test::writeText(folder + "/Vorelplay", "#!/bin/sh\necho " + name + " >> " + shellQuote(mark) + "\n");
            fs::permissions(folder + "/Vorelplay", fs::perms::owner_all);
        };
        if (c.beside)
            fake(dir.file("bin"), "beside");
        if (c.onPath)
            fake(dir.file("path"), "path");
        fake(dir.file("cwd"), "cwd"); // reachable only through PATH's "." and empty entries
        const std::string err = dir.file("err");
        const int status = vorel::test::runCommand(
            "cd " + shellQuote(dir.file("cwd")) + " && env -u DISPLAY -u WAYLAND_DISPLAY PATH=.::" +
            (c.onPath ? shellQuote(dir.file("path")) + ":" : "") + "/usr/bin:/bin " + shellQuote(hotpad) + " 2>" +
            shellQuote(err));
        EXPECT_EQ(status, 0);
        EXPECT_NE(readText(err).find("Hotpad: 无法连接X显示服务器"), std::string::npos) << readText(err);
        if (c.started.empty()) {
            sleepMs(300);
            EXPECT_FALSE(fs::exists(mark)) << readText(mark);
        } else {
            EXPECT_TRUE(waitFor([&] { return readText(mark) == c.started + "\n"; }, 5000)) << readText(mark);
        }
    }
}
