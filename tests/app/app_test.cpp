// Vorelplay as a child process: start-up failures end it with the fatal message
// and status 1, leaving the extracted files; a normal end leaves nothing.
#include "testfiles.h"
#include "xsession.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using vorel::test::shellQuote;
using vorel::test::TempDir;
namespace fs = std::filesystem;

namespace {

const std::string FatalLine = "致命错误: 错误：系统不能正常运行，原因：";

std::string variant(const std::string &name) { return std::string(PROGRAM_DIR) + "/Vorelplay_" + name; }

std::string readText(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct ChildRun {
    int status;
    std::string err;   // stderr
    std::string trace; // the trace file
};

// Runs a test build of the program with its private folder under tmp; it ends
// once the libraries are bound. extraEnv (VAR=value ...) overrides the defaults.
ChildRun run(const std::string &program, const TempDir &tmp, const std::string &extraEnv = "") {
    const std::string errFile = tmp.file("stderr"), traceFile = tmp.file("trace");
    fs::remove(errFile);
    fs::remove(traceFile);
    std::string cmd = "env TMPDIR=" + shellQuote(tmp.path()) +
                      " VORELPLAY_NO_DIALOGS=1 QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy"
                      " VORELPLAY_TRACE=" + shellQuote(traceFile) + " " + extraEnv;
    cmd += " " + shellQuote(program) + " >/dev/null 2>" + shellQuote(errFile);
    const int status = vorel::test::runCommand(cmd);
    return {status, readText(errFile), readText(traceFile)};
}

std::string privateFolder(const TempDir &tmp) { return tmp.path() + "/tmpvp-" + std::to_string(geteuid()); }

// The last line of stderr, the fatal message if there is one.
std::string lastLine(const std::string &text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n')
        t.pop_back();
    const size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

} // namespace

TEST(Startup, NormalRunLeavesNothingAndReportsNothing) {
    TempDir tmp;
    // A leftover library of an earlier run is replaced and removed with the rest.
    fs::create_directory(privateFolder(tmp));
    fs::permissions(privateFolder(tmp), fs::perms::owner_all);
    vorel::test::writeText(privateFolder(tmp) + "/bass.dll", "left over");
    const ChildRun r = run(variant("stub"), tmp);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("致命错误"), std::string::npos) << r.err;
    EXPECT_EQ(r.trace, "");
    EXPECT_FALSE(fs::exists(privateFolder(tmp)));
}

TEST(Startup, FailuresEndWithTheFatalMessageAndTheNextNormalEndCleansUp) {
    const struct {
        const char *variant;
        std::string reason;
    } cases[] = {
        {"cutfx", "error -7"},
        {"nofx", "找不到资源1001"},
        {"incompletefx", "动态库FX加载失败！"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.variant);
        TempDir tmp;
        const ChildRun r = run(variant(c.variant), tmp);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(lastLine(r.err), FatalLine + c.reason) << r.err;
        EXPECT_NE(r.trace.find("\terror\t错误：系统不能正常运行，原因：" + c.reason + "\n"), std::string::npos)
            << r.trace;
        // Ended at once: the extracted core library stays behind ...
        bool coreLeft = false;
        for (const auto &e : fs::recursive_directory_iterator(privateFolder(tmp)))
            coreLeft = coreLeft || e.path().filename() == "bass.dll";
        EXPECT_TRUE(coreLeft);
        // ... until the next normal end.
        const ChildRun next = run(variant("stub"), tmp);
        EXPECT_EQ(next.status, 0) << next.err;
        EXPECT_FALSE(fs::exists(privateFolder(tmp)));
    }
}

TEST(Startup, RefusesAPlantedFolder) {
    {
        TempDir tmp, elsewhere;
        ASSERT_EQ(symlink(elsewhere.path().c_str(), privateFolder(tmp).c_str()), 0);
        const ChildRun r = run(variant("stub"), tmp);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(lastLine(r.err).rfind(FatalLine, 0), 0u) << r.err;
        EXPECT_NE(r.err.find("符号链接"), std::string::npos) << r.err;
        EXPECT_TRUE(fs::is_empty(elsewhere.path()));
    }
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder away";
    TempDir tmp;
    ASSERT_EQ(mkdir(privateFolder(tmp).c_str(), 0700), 0);
    ASSERT_EQ(chown(privateFolder(tmp).c_str(), 65534, 65534), 0);
    const ChildRun r = run(variant("stub"), tmp);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(lastLine(r.err).find("其他用户"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(privateFolder(tmp)));
}

#ifdef REAL_PROGRAM
// The product binds its own libraries, loads the file it is given, and ends on
// SIGTERM as a window closed by the user does: status 0, temp folder cleared.
TEST(Startup, TheProgramLoadsAFileAndEndsCleanlyOnSigterm) {
    TempDir tmp;
    const std::string wav = tmp.file("tone.wav");
    std::vector<int16_t> pcm(22050);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = (i / 20) % 2 ? 8000 : -8000;
    vorel::test::writeWav16(wav, pcm, 22050, 1);
    const std::string traceFile = tmp.file("trace"), errFile = tmp.file("stderr");
    vorel::test::TChild child(shellQuote(REAL_PROGRAM) + " " + shellQuote(wav) + " >/dev/null 2>" + shellQuote(errFile),
                              {{"TMPDIR", tmp.path()},
                               {"XDG_RUNTIME_DIR", tmp.path()}, // its own single-instance place
                               {"XDG_DATA_HOME", tmp.file("data")},
                               {"VORELPLAY_TRACE", traceFile},
                               {"VORELPLAY_NO_DIALOGS", "1"},
                               {"QT_QPA_PLATFORM", "offscreen"},
                               {"SDL_AUDIODRIVER", "dummy"}});
    // A generous bound: the machine may be busy; the load ends long before.
    bool loaded = false;
    for (int i = 0; i < 600 && !loaded && child.running(); ++i) {
        loaded = readText(traceFile).find("\tload\t" + wav + " ") != std::string::npos;
        if (!loaded)
            usleep(100 * 1000);
    }
    ASSERT_TRUE(loaded) << readText(traceFile) << readText(errFile);
    EXPECT_TRUE(fs::exists(privateFolder(tmp)));
    ASSERT_EQ(kill(child.pid(), SIGTERM), 0);
    EXPECT_EQ(child.wait(30000), 0) << readText(errFile);
    EXPECT_EQ(readText(traceFile).find("\terror\t"), std::string::npos) << readText(traceFile);
    EXPECT_FALSE(fs::exists(privateFolder(tmp)));
}

#endif
