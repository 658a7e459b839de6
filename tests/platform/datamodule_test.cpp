#include "datamodule.h"
#include "channelinfo.h"
#include "slots.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <bzlib.h>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using vorel::audio::EAudioError;
using vorel::audio::Tdm;
using vorel::platform::ResourceBytes;
using vorel::test::TempDir;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> compress(const std::vector<uint8_t> &raw) {
    std::vector<uint8_t> out(raw.size() + raw.size() / 100 + 1024);
    unsigned int len = static_cast<unsigned int>(out.size());
    char none = 0; // the library refuses a null source even of length 0
    char *source = raw.empty() ? &none : const_cast<char *>(reinterpret_cast<const char *>(raw.data()));
    const int rc = BZ2_bzBuffToBuffCompress(reinterpret_cast<char *>(out.data()), &len, source,
                                            static_cast<unsigned int>(raw.size()), 9, 0, 0);
    if (rc != BZ_OK)
        throw std::runtime_error("compress failed");
    out.resize(len);
    return out;
}

struct Fatal : std::runtime_error {
    Fatal(const std::string &text, const std::string &caption) : std::runtime_error(text), text(text), caption(caption) {}
    std::string text, caption;
};

std::string message(const std::function<void()> &f) {
    try {
        f();
    } catch (const std::exception &e) {
        return e.what();
    }
    return "(no exception)";
}

std::set<std::string> entries(const std::string &dir) {
    std::set<std::string> names;
    for (auto &e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

// Each test gets its own TMPDIR, a resource table of stand-in libraries it may
// alter, and a data module whose fatal hook throws instead of ending the process.
class DataModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char *old = std::getenv("TMPDIR");
        if (old)
            oldTmpdir_ = old;
        setenv("TMPDIR", tmp_.path().c_str(), 1);
        folder_ = tmp_.path() + "/tmpvp-" + std::to_string(geteuid()) + "/";
        raw_[9001] = vorel::test::readFile(STUB_CORE);
        raw_[1001] = vorel::test::readFile(STUB_FX);
        raw_[2001] = {'<', 'p', '>'};
        for (auto &[id, bytes] : raw_)
            table_[id] = compress(bytes);
    }
    void TearDown() override {
        Tdm cleaner = module();
        cleaner.UnloadEffectsLibrary();
        cleaner.UnloadCoreLibrary();
        if (oldTmpdir_.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", oldTmpdir_.c_str(), 1);
    }

    Tdm module() {
        return Tdm([this](int id) -> std::optional<ResourceBytes> {
                       auto it = table_.find(id);
                       if (it == table_.end())
                           return std::nullopt;
                       return ResourceBytes{it->second.data(), it->second.size()};
                   },
                   [](const std::string &text, const std::string &caption) { throw Fatal{text, caption}; });
    }

    // The fatal text of a start-up that must fail, "" when it succeeded.
    std::string failedStart() {
        Tdm dm = module();
        try {
            dm.DataModuleCreate();
        } catch (const Fatal &f) {
            EXPECT_EQ(f.caption, "致命错误");
            return f.text;
        }
        return "";
    }

    TempDir tmp_;
    std::string oldTmpdir_;
    std::string folder_;
    std::map<int, std::vector<uint8_t>> raw_;
    std::map<int, std::vector<uint8_t>> table_;
};

const std::string FatalPrefix = "错误：系统不能正常运行，原因：";

} // namespace

TEST(Decompress, GrowsByTheCompressedSizeRoundedTo256) {
    struct Case {
        const char *what;
        std::vector<uint8_t> raw;
    };
    std::vector<uint8_t> noise(20000), text;
    uint32_t x = 12345;
    for (auto &b : noise) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 24);
    }
    for (int i = 0; text.size() < 60000; ++i) {
        const std::string line = "sentence " + std::to_string(i * 7919 % 1000) + " repeats\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    const Case cases[] = {
        {"incompressible: fits the first buffer", noise},
        {"zeros: tiny stream, many steps of 256", std::vector<uint8_t>(100000, 0)},
        {"text: a few steps", text},
        {"empty output", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> packed = compress(c.raw);
        ASSERT_EQ(std::string(packed.begin(), packed.begin() + 4), "BZh9");
        // The buffer sizes the rule goes through, in order.
        const size_t step = (packed.size() + 255) / 256 * 256;
        int expected = 1;
        for (size_t cap = 2 * packed.size(); cap < c.raw.size(); cap += step)
            ++expected;
        int bufferSizes = 0;
        EXPECT_EQ(Tdm::Decompress(packed.data(), packed.size(), &bufferSizes), c.raw);
        EXPECT_EQ(bufferSizes, expected);
    }
}

TEST(Decompress, FailuresCarryTheLibrarysCode) {
    std::vector<uint8_t> good = compress(std::vector<uint8_t>(5000, 'a'));
    std::vector<uint8_t> flipped = good;
    flipped[good.size() / 2] ^= 0x55;
    const struct {
        const char *what;
        std::vector<uint8_t> bytes;
        std::string message;
    } cases[] = {
        {"not bzip2", {'M', 'Z', 0, 0, 1, 2, 3, 4}, "error -5"},
        {"cut short", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2), "error -7"},
        {"corrupted", flipped, "error -4"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(message([&] { Tdm::Decompress(c.bytes.data(), c.bytes.size()); }), c.message);
    }
}

TEST(RandomLetters, ShapeAndUpperCaseShare) {
    const std::regex shape("[A-Za-z]*");
    int upper = 0, total = 0;
    for (int n = 0; n <= 8; ++n) {
        const std::string s = Tdm::RandomLetters(n);
        EXPECT_EQ(s.size(), static_cast<size_t>(n));
        EXPECT_TRUE(std::regex_match(s, shape)) << s;
    }
    std::set<char> seen;
    for (int i = 0; i < 400; ++i)
        for (char c : Tdm::RandomLetters(50)) {
            ++total;
            upper += (c >= 'A' && c <= 'Z');
            seen.insert(static_cast<char>(c | 0x20));
        }
    // 20000 draws of p = 1/4: standard deviation about 61, so +-400 never fails by chance.
    EXPECT_NEAR(upper, total / 4, 400);
    EXPECT_EQ(seen.size(), 26u);
    // Quick successive calls must not repeat one another.
    EXPECT_NE(Tdm::RandomLetters(16), Tdm::RandomLetters(16));
}

TEST(EmptyFolder, EmptiesNestedFoldersKeepsThemAndFollowsNoLink) {
    TempDir t, outside;
    vorel::test::writeText(outside.file("keep"), "x");
    fs::create_directories(t.file("a/b"));
    for (const char *f : {"top", ".hidden", "a/one", "a/b/two"})
        vorel::test::writeText(t.file(f), "x");
    chmod(t.file("a/one").c_str(), 0400); // read-only files go too
    fs::create_directory_symlink(outside.path(), t.file("link"));

    Tdm::EmptyFolder(t.path());
    std::vector<std::string> left;
    for (auto &e : fs::recursive_directory_iterator(t.path()))
        left.push_back(fs::relative(e.path(), t.path()).string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"a", "a/b"}));
    EXPECT_TRUE(fs::exists(outside.file("keep")));

    EXPECT_NO_THROW(Tdm::EmptyFolder(t.file("missing")));
}

TEST_F(DataModuleTest, NormalRunHoldsTheTwoLibrariesAndLeavesNothing) {
    // A loose library of an earlier version, even read-only, is removed.
    ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
    vorel::test::writeText(folder_ + "bass.dll", "left over");
    chmod((folder_ + "bass.dll").c_str(), 0400);

    Tdm dm = module();
    dm.DataModuleCreate();
    // The instance's own folder holds the libraries and its lock.
    const std::string mine = fs::path(dm.coreLibraryPath()).parent_path().filename().string();
    EXPECT_TRUE(std::regex_match(mine, std::regex("run-[A-Za-z0-9]{6}"))) << mine;
    EXPECT_EQ(entries(folder_), (std::set<std::string>{mine}));
    const std::string instance = folder_ + mine + "/";
    EXPECT_EQ(dm.coreLibraryPath(), instance + "bass.dll");
    const std::string fxName = fs::path(dm.effectsLibraryPath()).filename().string();
    EXPECT_EQ(dm.effectsLibraryPath(), instance + fxName);
    EXPECT_TRUE(std::regex_match(fxName, std::regex("[A-Za-z]{2,8}\\.f[A-Za-z]{2}"))) << fxName;
    EXPECT_EQ(entries(instance), (std::set<std::string>{".lock", "bass.dll", fxName}));
    EXPECT_EQ(fs::status(instance).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(vorel::test::readFile(instance + "bass.dll"), raw_[9001]);
    EXPECT_EQ(vorel::test::readFile(dm.effectsLibraryPath()), raw_[1001]);

    ASSERT_TRUE(Tdm::CoreLoaded() && Tdm::EffectsLoaded());
    ASSERT_NE(vorel::audio::core.BASS_GetVersion, nullptr);
    EXPECT_EQ(vorel::audio::core.BASS_GetVersion(), 0x02030000u);
    EXPECT_NE(vorel::audio::fx.BASS_FX_TempoGetOption, nullptr);
    EXPECT_TRUE(dm.LoadCoreLibrary("/nonexistent")); // already loaded

    dm.DataModuleDestroy();
    EXPECT_FALSE(Tdm::CoreLoaded() || Tdm::EffectsLoaded());
    EXPECT_EQ(vorel::audio::core.BASS_GetVersion, nullptr);
    EXPECT_EQ(vorel::audio::fx.BASS_FX_TempoCreate, nullptr);
    EXPECT_FALSE(fs::exists(tmp_.path() + "/tmpvp-" + std::to_string(geteuid())));
}

// What killed runs left goes at the next start; what a running instance uses
// (under another runtime folder, say) stays, also when this one exits.
TEST_F(DataModuleTest, StartRemovesWhatNoRunningInstanceUses) {
    ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
    const auto instanceFolder = [&](const std::string &name, bool withLock) {
        fs::create_directory(folder_ + name);
        vorel::test::writeText(folder_ + name + "/bass.dll", "x");
        vorel::test::writeText(folder_ + name + "/abc.fde", "x");
        if (withLock)
            vorel::test::writeText(folder_ + name + "/.lock", "");
    };
    instanceFolder("run-killed", true);
    instanceFolder("run-living", true);
    instanceFolder("run-making", false); // just made by a starting instance: no lock yet
    vorel::test::writeText(folder_ + "Qx.fab", "an effects library of an earlier version");
    // A running instance holds its lock (flock conflicts across open files).
    const int living = open((folder_ + "run-living/.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(living, 0);
    ASSERT_EQ(flock(living, LOCK_EX | LOCK_NB), 0);

    Tdm dm = module();
    dm.DataModuleCreate();
    const std::string mine = fs::path(dm.coreLibraryPath()).parent_path().filename().string();
    EXPECT_EQ(entries(folder_), (std::set<std::string>{"run-living", "run-making", mine}));
    dm.DataModuleDestroy();
    EXPECT_EQ(entries(folder_), (std::set<std::string>{"run-living", "run-making"}));
    EXPECT_EQ(entries(folder_ + "run-living"), (std::set<std::string>{".lock", "abc.fde", "bass.dll"}));

    // That instance is killed: the next start takes its folder away.
    close(living);
    Tdm next = module();
    next.DataModuleCreate();
    next.DataModuleDestroy();
    EXPECT_EQ(entries(folder_), (std::set<std::string>{"run-making"}));
}

TEST_F(DataModuleTest, FailuresEndStartUpWithTheirReason) {
    std::vector<uint8_t> incomplete = compress(vorel::test::readFile(STUB_FX_INCOMPLETE));
    std::vector<uint8_t> notALibrary = compress({'n', 'o', 't', ' ', 'E', 'L', 'F'});
    std::vector<uint8_t> damaged = table_[1001];
    damaged.resize(damaged.size() / 2);
    const struct {
        const char *what;
        std::function<void(std::map<int, std::vector<uint8_t>> &)> change;
        std::string reason;
        bool exact;
    } cases[] = {
        // First: sanitizer builds keep a loaded core mapped, and a bass.dll loaded
        // by an earlier case would satisfy the effects library.
        {"core missing: effects cannot find bass.dll", [&](auto &t) { t[9001] = notALibrary; }, "动态库FX加载失败！",
         false},
        {"effects library lacks a name", [&](auto &t) { t[1001] = incomplete; }, "动态库FX加载失败！", true},
        {"effects library does not load", [&](auto &t) { t[1001] = notALibrary; }, "动态库FX加载失败！", false},
        {"damaged effects resource", [&](auto &t) { t[1001] = damaged; }, "error -7", true},
        {"missing effects resource", [&](auto &t) { t.erase(1001); }, "找不到资源1001", true},
        {"missing core resource", [&](auto &t) { t.erase(9001); }, "找不到资源9001", true},
    };
    const auto original = table_;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        table_ = original;
        c.change(table_);
        const std::string text = failedStart();
        ASSERT_EQ(text.rfind(FatalPrefix + c.reason, 0), 0u) << text;
        if (c.exact)
            EXPECT_EQ(text, FatalPrefix + c.reason);
        else
            EXPECT_GT(text.size(), (FatalPrefix + c.reason).size()) << "the loader's text is missing";
        EXPECT_FALSE(Tdm::EffectsLoaded());
        Tdm cleaner = module();
        cleaner.DataModuleDestroy();
    }
}

TEST_F(DataModuleTest, NeverWritesIntoAFolderThatIsNotOurs) {
    TempDir planted;
    const std::string dir = folder_.substr(0, folder_.size() - 1);
    ASSERT_EQ(symlink(planted.path().c_str(), dir.c_str()), 0);
    const std::string text = failedStart();
    EXPECT_NE(text.find("符号链接"), std::string::npos) << text;
    EXPECT_TRUE(fs::is_empty(planted.path())) << "something was written through the link";

    // Nor does the shut-down empty it.
    vorel::test::writeText(planted.file("theirs"), "x");
    Tdm dm = module();
    dm.DataModuleDestroy();
    EXPECT_TRUE(fs::exists(planted.file("theirs")));
}
