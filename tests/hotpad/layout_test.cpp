// Hotpad's X-free rules: where a key clicks, which modifier combinations a key is
// grabbed with, the class part of WM_CLASS, and where Vorelplay is started from.
#include "layout.h"

#include <gtest/gtest.h>

#include <set>

using namespace hotpad;

namespace {

// The transport buttons as the main window lays them out, in client coordinates.
struct TButton {
    TAction action;
    TRect rect;
} const Buttons[] = {
    {TAction::Play, {65, 86, 25, 25}},
    {TAction::Pause, {91, 86, 28, 25}},
    {TAction::Prev, {118, 86, 25, 25}},
    {TAction::Next, {144, 86, 25, 25}},
};

} // namespace

TEST(ClickPoint, LandsInsideItsOwnButtonOnlyWhereverTheClientAreaIs) {
    // Origins as different frames and placements put the client area: none, a
    // thin border with a title bar, partly off the left of the screen.
    const TPoint origins[] = {{0, 0}, {4, 23}, {253, 295}, {-40, 10}};
    for (const TPoint o : origins) {
        for (const TButton &b : Buttons) {
            const TPoint p = ClickPoint(o, b.action);
            const TPoint inClient{p.x - o.x, p.y - o.y};
            SCOPED_TRACE(testing::Message() << "origin " << o.x << "," << o.y << " point " << inClient.x << ","
                                            << inClient.y);
            EXPECT_TRUE(b.rect.contains(inClient));
            // Not on the edge pixel that pausebtn and prevbtn share, nor on any other button.
            for (const TButton &other : Buttons) {
                if (other.action != b.action) {
                    EXPECT_FALSE(other.rect.contains(inClient));
                }
            }
            EXPECT_GE(inClient.x - b.rect.left, 2);
            EXPECT_GE(b.rect.left + b.rect.width - 1 - inClient.x, 2);
        }
    }
}

TEST(GrabMasks, EveryLockStateAndNoDuplicates) {
    constexpr unsigned Lock = 1u << 1, Num = 1u << 4, Alt = 1u << 3;
    const struct {
        unsigned base, numLock;
        std::set<unsigned> want;
    } cases[] = {
        {0, Num, {0, Lock, Num, Lock | Num}},
        {Alt, Num, {Alt, Alt | Lock, Alt | Num, Alt | Lock | Num}},
        {0, 0, {0, Lock}},        // no Num Lock on this keymap
        {Alt, 0, {Alt, Alt | Lock}},
    };
    for (const auto &c : cases) {
        const std::vector<unsigned> got = GrabMasks(c.base, Lock, c.numLock);
        EXPECT_EQ(std::set<unsigned>(got.begin(), got.end()), c.want);
        EXPECT_EQ(got.size(), c.want.size());
        EXPECT_EQ(got.front(), c.base); // the plain key first
    }
}

TEST(WmClass, ClassIsTheSecondString) {
    using namespace std::string_literals;
    const struct {
        std::string raw, cls;
    } cases[] = {
        {"Vorelplay\0TfMainFree\0"s, "TfMainFree"},
        {"Vorelplay\0TfMainFree"s, "TfMainFree"}, // no final NUL
        {"\0TfMainFree\0"s, "TfMainFree"},
        {"TfMainFree"s, ""}, // instance only
        {""s, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(WmClassClass(c.raw), c.cls) << c.raw;
}

namespace {
std::set<std::string> executables;
bool fakeExecutable(const std::string &path) { return executables.count(path) > 0; }
} // namespace

TEST(FindProgram, BesideItselfFirstThenAbsolutePathEntries) {
    const struct {
        const char *what;
        std::set<std::string> present;
        std::string path;
        std::optional<std::string> want;
    } cases[] = {
        {"beside wins over PATH", {"/opt/v/Vorelplay", "/usr/bin/Vorelplay"}, "/usr/bin", "/opt/v/Vorelplay"},
        {"first PATH entry that has it", {"/b/Vorelplay", "/c/Vorelplay"}, "/a:/b:/c", "/b/Vorelplay"},
        {"empty and relative entries skipped", {"Vorelplay", "./Vorelplay", "bin/Vorelplay"}, ":.:bin:", std::nullopt},
        {"absolute entry after skipped ones", {"/c/Vorelplay"}, "::.:/c", "/c/Vorelplay"},
        {"nowhere", {}, "/a:/b", std::nullopt},
        {"empty PATH", {"/opt/v/Other"}, "", std::nullopt},
    };
    for (const auto &c : cases) {
        executables = c.present;
        EXPECT_EQ(FindProgram("/opt/v", c.path, "Vorelplay", fakeExecutable), c.want) << c.what;
    }
    executables = {"/x/Vorelplay"};
    EXPECT_EQ(FindProgram("", "/x", "Vorelplay", fakeExecutable), "/x/Vorelplay") << "own folder unknown";
}
