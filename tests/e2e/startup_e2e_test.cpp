// The program as a desktop sees it: window class and caption, client size, one
// instance, the OS check, and a clean end.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "e2esupport.h"

using namespace vorel::test;
namespace fs = std::filesystem;

namespace {
std::string privateFolder(const TempDir &dir) { return dir.path() + "/tmpvp-" + std::to_string(geteuid()); }
} // namespace

TEST(StartupE2E, TheWindowIsFoundByClassAndCaptionAndEndsCleanly) {
    for (bool wm : {false, true}) {
        SCOPED_TRACE(wm ? "jwm" : "no window manager");
        TXSession x(wm);
        ASSERT_TRUE(x.ok());
        TempDir dir;
        TVorelRun run(x, dir);
        const unsigned long w = run.window();
        ASSERT_NE(w, 0u) << run.stderrText();
        const std::string cls = x.property(w, "WM_CLASS"); // instance, then class
        EXPECT_EQ(cls.substr(cls.rfind(", ") + 2), "\"TfMainFree\"") << cls;
        EXPECT_EQ(x.property(w, "_NET_WM_NAME"), "\"Vorel语言复读机(免费体验版)\"");
        EXPECT_EQ(x.size(w), (std::pair<int, int>{773, 209}));
        EXPECT_TRUE(fs::exists(privateFolder(dir)));

        // A second start hands over and ends within a second; one window stays.
        TChild second(std::string(VORELPLAY), [&] {
            auto env = x.env();
            env["TMPDIR"] = dir.path();
            env["XDG_RUNTIME_DIR"] = dir.path();
            env["XDG_DATA_HOME"] = dir.file("data");
            return env;
        }());
        EXPECT_EQ(second.wait(15000), 0); // a ceiling for a hang; a starved machine is slow
        EXPECT_EQ(x.findWindows("TfMainFree", 200).size(), 1u);

        ASSERT_TRUE(x.closeWindow(w));
        EXPECT_EQ(run.child.wait(5000), 0);
        EXPECT_FALSE(fs::exists(privateFolder(dir)));
    }
}

TEST(StartupE2E, TooOldASystemIsRefusedBeforeAnyWindow) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    TVorelRun run(x, dir, "", false, {}, VORELPLAY_OLD_SYSTEM);
    // The refusal box, and no main window behind it.
    std::vector<unsigned long> boxes;
    for (int i = 0; i < 100 && boxes.empty(); ++i)
        for (unsigned long id : x.findWindows("TfMainFree", 100))
            if (x.property(id, "_NET_WM_NAME") == "\"错误\"")
                boxes.push_back(id);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(run.window(300), 0u);
    x.run("xdotool windowfocus --sync " + std::to_string(boxes[0]) + " key Return");
    EXPECT_EQ(run.child.wait(5000), 0);
    EXPECT_EQ(run.count("error", "抱歉，您操作系统版本太低，本软件不支持低于win2000的操作系统！"), 1u);
    EXPECT_FALSE(fs::exists(privateFolder(dir)));
}
