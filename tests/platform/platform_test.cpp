#include "dynlib.h"
#include "installpaths.h"
#include "mappedfile.h"
#include "safefile.h"
#include "singleinstance.h"
#include "tempfolder.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace vorel::platform;
using vorel::test::TempDir;
using vorel::test::TmpdirScope;

namespace {

std::string privateName(const TempDir &t) { return t.path() + "/tmpvp-" + std::to_string(geteuid()); }

std::string errorOf(const std::function<void()> &f) {
    try {
        f();
    } catch (const EPlatformError &e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(PrivateTempFolder, CreatedPrivateAndReused) {
    TempDir t;
    TmpdirScope scope(t.path() + "/"); // a trailing separator must not double up
    const std::string dir = PrivateTempFolder();
    EXPECT_EQ(dir, privateName(t) + "/");
    struct stat st {};
    ASSERT_EQ(lstat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(PrivateTempFolder(), dir);

    // A folder of ours opened up to others is taken back.
    chmod(dir.c_str(), 0777);
    EXPECT_EQ(PrivateTempFolder(), dir);
    ASSERT_EQ(lstat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(PrivateTempFolder, RefusesWhatIsNotOurFolder) {
    struct Case {
        const char *what;
        std::function<void(const std::string &path, const std::string &elsewhere)> plant;
        const char *cause;
    };
    const Case cases[] = {
        {"symlink to a folder", [](const std::string &p, const std::string &e) { ASSERT_EQ(symlink(e.c_str(), p.c_str()), 0); },
         "符号链接"},
        {"dangling symlink", [](const std::string &p, const std::string &e) { ASSERT_EQ(symlink((e + "/none").c_str(), p.c_str()), 0); },
         "符号链接"},
        {"plain file", [](const std::string &p, const std::string &) { vorel::test::writeText(p, "x"); }, "不是文件夹"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir t, elsewhere;
        TmpdirScope scope(t.path());
        c.plant(privateName(t), elsewhere.path());
        const std::string msg = errorOf([] { PrivateTempFolder(); });
        EXPECT_NE(msg.find(c.cause), std::string::npos) << msg;
        EXPECT_NE(msg.find(privateName(t)), std::string::npos) << msg;
    }
}

TEST(PrivateTempFolder, RefusesAnotherUsersFolder) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder away";
    TempDir t;
    TmpdirScope scope(t.path());
    const std::string dir = privateName(t);
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    ASSERT_EQ(chown(dir.c_str(), 65534, 65534), 0);
    const std::string msg = errorOf([] { PrivateTempFolder(); });
    EXPECT_NE(msg.find("其他用户"), std::string::npos) << msg;
}

TEST(MakeTempFile, CreatesDistinctPrivateFiles) {
    TempDir t;
    std::string a, b;
    const int fa = MakeTempFile(t.path() + "/", "WAV", a);
    const int fb = MakeTempFile(t.path(), "WAV", b);
    ASSERT_GE(fa, 0);
    ASSERT_GE(fb, 0);
    close(fa);
    close(fb);
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind(t.path() + "/WAV", 0), 0u) << a;
    EXPECT_EQ(b.rfind(t.path() + "/WAV", 0), 0u) << b;
    struct stat st {};
    ASSERT_EQ(stat(a.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_THROW(MakeTempFile(t.path() + "/missing/", "WAV", a), EPlatformError);

    // A suffix stays at the end, after the random part.
    std::string c;
    close(MakeTempFile(t.path(), "help-", c, ".html"));
    EXPECT_TRUE(std::regex_match(c, std::regex(".*/help-[A-Za-z0-9]{6}\\.html"))) << c;
}

TEST(FindShippedFile, InstalledLayoutFirstThenSourceTree) {
    TempDir t;
    const std::string usr = t.path() + "/usr", src = t.path() + "/src/resources/demo";
    for (const std::string &d : {usr + "/bin", usr + "/games/bin", usr + "/share/vorel/demo", src, t.path() + "/build/app"})
        std::filesystem::create_directories(d);
    const struct {
        const char *what;
        std::string exe, bindir, installed, source, found;
    } cases[] = {
        {"installed", usr + "/bin/Vorelplay", "bin", "share/vorel/demo", src, usr + "/share/vorel/demo"},
        {"installed, deeper bindir", usr + "/games/bin/Vorelplay", "games/bin", "share/vorel/demo", src,
         usr + "/share/vorel/demo"},
        {"build tree", t.path() + "/build/app/Vorelplay", "bin", "share/vorel/demo", src, src},
        {"build tree, no source tree", t.path() + "/build/app/Vorelplay", "bin", "share/vorel/demo", t.path() + "/gone", ""},
        {"no executable path", "", "bin", "share/vorel/demo", src, src},
        {"absolute install path is not relative to the executable", usr + "/bin/Vorelplay", "bin",
         usr + "/share/vorel/demo", src, src},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FindShippedFile(c.exe, c.bindir, c.installed, c.source), c.found) << c.what;
}

TEST(FindShippedFile, BuildTreeFindsTheCommittedDemoLessonsAndReadme) {
    const std::string demo = DemoFolder();
    ASSERT_FALSE(demo.empty());
    for (const char *f : {"01-classroom.mp3", "01-classroom.lrc", "02-directions.wav"})
        EXPECT_TRUE(std::filesystem::exists(demo + "/" + f)) << f;
    EXPECT_EQ(std::filesystem::path(ReadmePath()).filename(), "README.md");
    EXPECT_TRUE(std::filesystem::exists(ReadmePath()));
    EXPECT_EQ(std::filesystem::path(ExecutablePath()).filename(), "platform_test");
}

TEST(MappedFile, MapsContentEmptyAndMissing) {
    TempDir t;
    vorel::test::writeText(t.file("a"), "hello");
    {
        MappedFile m(t.file("a"));
        ASSERT_EQ(m.size(), 5u);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(m.data()), m.size()), "hello");
    }
    vorel::test::writeText(t.file("empty"), "");
    MappedFile e(t.file("empty"));
    EXPECT_EQ(e.size(), 0u);
    EXPECT_EQ(e.data(), nullptr);
    EXPECT_THROW(MappedFile(t.file("missing")), EPlatformError);
    EXPECT_THROW(MappedFile(t.path()), EPlatformError); // a folder is not a file
}

TEST(WriteFileReplacing, CreatesReplacesAndNeverWritesThroughALink) {
    TempDir t, victim;
    const std::string target = t.file("bass.dll");
    WriteFileReplacing(target, "first", 5);
    WriteFileReplacing(target, "2nd", 3);
    EXPECT_EQ(vorel::test::readFile(target), (std::vector<uint8_t>{'2', 'n', 'd'}));

    // A link planted at the name is replaced; the file it points at is untouched.
    const std::string planted = victim.file("keep");
    vorel::test::writeText(planted, "precious");
    const std::string link = t.file("linked");
    ASSERT_EQ(symlink(planted.c_str(), link.c_str()), 0);
    WriteFileReplacing(link, "new", 3);
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(vorel::test::readFile(planted).size(), 8u);
    EXPECT_EQ(vorel::test::readFile(link).size(), 3u);

    // Nothing but the written files is left behind.
    int entries = 0;
    for ([[maybe_unused]] auto &e : std::filesystem::directory_iterator(t.path()))
        ++entries;
    EXPECT_EQ(entries, 2);

    const std::string msg = errorOf([&] { WriteFileReplacing(t.file("none/x"), "a", 1); });
    EXPECT_NE(msg.find(t.file("none/x")), std::string::npos) << msg;
}

TEST(DynamicLoading, ReportsTheLoadersText) {
    TempDir t;
    vorel::test::writeText(t.file("notalib.so"), "not an ELF file");
    std::string error;
    EXPECT_EQ(OpenLibrary(t.file("notalib.so"), error), nullptr);
    EXPECT_NE(error.find("notalib.so"), std::string::npos) << error;
    error.clear();
    EXPECT_EQ(OpenLibrary(t.file("missing.so"), error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(LibrarySymbol(nullptr, "x"), nullptr);
    CloseLibrary(nullptr);
}

// An application object and a runtime folder of the test's own.
struct TInstanceRoom {
    TInstanceRoom() { qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir.path())); }
    int argc = 1;
    char name[16] = "platform_test";
    char *argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    TempDir dir;
};

// A later start hands its message over whole: paths may hold newlines and any
// other byte but NUL.
TEST(SingleInstance, HandsMessagesOverIntact) {
    const TInstanceRoom room;
    TSingleInstance first("test instance");
    ASSERT_TRUE(first.Claim());
    std::vector<std::string> got;
    first.OnMessage = [&got](const std::string &m) { got.push_back(m); };

    const std::vector<std::string> sent = {"open /music/two\nlines.mp3", "open /a/\r\n/b c.wav", "raise",
                                           "open /\xE4\xBD\xA0\xE5\xA5\xBD.mp3", "open /trailing\n"};
    for (const auto &m : sent) {
        TSingleInstance later("test instance");
        EXPECT_FALSE(later.Claim());
        EXPECT_TRUE(later.Send(m));
    }
    QElapsedTimer waited;
    waited.start();
    while (got.size() < sent.size() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(got, sent);
}

// Callers that connect and say nothing, a message longer than any path, and the
// socket file removed under the running instance: each time the next start still
// hands its file over. The descriptor limit is that of a desktop session, so that
// unbounded connections would run the process out of descriptors.
TEST(SingleInstance, IdleCallersFloodsAndALostSocketDoNotStopTheHandOver) {
    const TInstanceRoom room;
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    struct rlimit tight = old;
    tight.rlim_cur = std::min<rlim_t>(old.rlim_max, 1400);
    ASSERT_GE(tight.rlim_cur, 1400u) << "the hard limit leaves no room for the callers";
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN); // the flood's writes meet a closed socket

    TSingleInstance first("flood");
    ASSERT_TRUE(first.Claim());
    std::vector<std::string> got;
    first.OnMessage = [&got](const std::string &m) { got.push_back(m); };
    const auto handOver = [&](const std::string &message) {
        TSingleInstance later("flood");
        const size_t before = got.size();
        QElapsedTimer waited;
        waited.start();
        // A lost server comes back within RecoverMs: the later start retries as
        // a user would start again.
        // The ceilings only catch a hang: a starved machine may take seconds.
        while (!later.Send(message, 200) && waited.elapsed() < 15000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        while (got.size() == before && waited.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return got.size() > before && got.back() == message;
    };

    std::vector<std::unique_ptr<QLocalSocket>> idle;
    const QString path = QString::fromStdString(TSingleInstance::SocketPath("flood"));
    for (int i = 0; i < 1100; ++i) {
        idle.push_back(std::make_unique<QLocalSocket>());
        idle.back()->connectToServer(path);
        if (i % 50 == 0)
            QCoreApplication::processEvents();
    }
    // Until every caller got in (and, past the bound, out again) or gave up.
    QElapsedTimer settling;
    settling.start();
    while (settling.elapsed() < 20000 &&
           std::any_of(idle.begin(), idle.end(),
                       [](const auto &s) { return s->state() == QLocalSocket::ConnectingState; }))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(handOver("open /after/idle.mp3"));
    idle.clear();

    {
        QLocalSocket flood;
        flood.connectToServer(path);
        // The server accepts on this thread: let it run while the caller connects.
        QElapsedTimer connecting;
        connecting.start();
        while (flood.state() == QLocalSocket::ConnectingState && connecting.elapsed() < 15000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_EQ(flood.state(), QLocalSocket::ConnectedState);
        const QByteArray huge(10 << 20, 'x');
        flood.write("open /");
        flood.write(huge);
        flood.write(QByteArray(1, '\0'));
        flood.waitForBytesWritten(100);
        for (int i = 0; i < 50 && flood.state() == QLocalSocket::ConnectedState; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            flood.waitForBytesWritten(10);
        }
    }
    EXPECT_TRUE(handOver("open /after/flood.mp3"));
    for (const std::string &m : got)
        EXPECT_LE(m.size(), size_t(TSingleInstance::MaxMessageBytes));

    ASSERT_EQ(::unlink(path.toLocal8Bit().constData()), 0);
    EXPECT_TRUE(handOver("open /after/unlink.mp3"));
    setrlimit(RLIMIT_NOFILE, &old);
    std::signal(SIGPIPE, oldPipe);
}
