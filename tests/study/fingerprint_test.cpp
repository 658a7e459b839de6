#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>

#include "fingerprint.h"
#include "studyrules.h"
#include "testfiles.h"

namespace {

using namespace vorel::study;
using vorel::test::TempDir;

constexpr int Rate = 44100;

std::string wavOfTone(const TempDir &dir, const std::string &name, double hz, double seconds) {
    const std::string path = dir.file(name);
    vorel::test::writeWav16(path, vorel::test::tone(hz, seconds, Rate, 1), Rate, 1);
    return path;
}

void setMtime(const std::string &path, time_t seconds) {
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

void flipByte(const std::string &path, size_t at) {
    auto bytes = vorel::test::readFile(path);
    bytes.at(at) ^= 0x5a;
    vorel::test::writeFile(path, bytes);
}

// Each case turns the original recording into the file opened later; the
// decoder's length may differ too.
struct FingerprintCase {
    const char *name;
    std::function<std::string(const TempDir &, const std::string &original)> make;
    int64_t decodedDelta;
    bool sameRecord;
};

const std::vector<FingerprintCase> &fingerprintCases() {
    namespace fs = std::filesystem;
    static const std::vector<FingerprintCase> cases = {
        {"renamed", [](const TempDir &d, const std::string &o) {
             fs::rename(o, d.file("lesson 1 (renamed).wav"));
             return d.file("lesson 1 (renamed).wav");
         }, 0, true},
        {"moved to another folder", [](const TempDir &d, const std::string &o) {
             fs::create_directory(d.file("sub"));
             fs::rename(o, d.file("sub/x.wav"));
             return d.file("sub/x.wav");
         }, 0, true},
        {"copied", [](const TempDir &d, const std::string &o) {
             fs::copy_file(o, d.file("copy.wav"));
             return d.file("copy.wav");
         }, 0, true},
        {"touched", [](const TempDir &, const std::string &o) {
             setMtime(o, 1000000000);
             return o;
         }, 0, true},
        {"truncated", [](const TempDir &, const std::string &o) {
             fs::resize_file(o, fs::file_size(o) - 4410);
             return o;
         }, 0, false},
        {"rewritten with other audio of the same size", [](const TempDir &d, const std::string &o) {
             const auto size = fs::file_size(o);
             wavOfTone(d, "other.wav", 660, static_cast<double>(size - 44) / 2 / Rate);
             fs::rename(d.file("other.wav"), o);
             EXPECT_EQ(fs::file_size(o), size);
             return o;
         }, 0, false},
        {"first byte changed", [](const TempDir &, const std::string &o) {
             flipByte(o, 0);
             return o;
         }, 0, false},
        {"last byte changed", [](const TempDir &, const std::string &o) {
             flipByte(o, fs::file_size(o) - 1);
             return o;
         }, 0, false},
        {"decoded to another length", [](const TempDir &, const std::string &o) { return o; }, 26, false},
    };
    return cases;
}

// Both a recording longer than the two hashed ends and one shorter than them.
TEST(Fingerprint, FollowsContentNotName) {
    for (double seconds : {30.0, 3.0}) {
        for (const auto &c : fingerprintCases()) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(seconds) + " s");
            TempDir dir;
            const std::string original = wavOfTone(dir, "lesson.wav", 440, seconds);
            const int64_t decodedMs = static_cast<int64_t>(seconds * 1000);
            const auto before = FingerprintFile(original, decodedMs);
            ASSERT_TRUE(before);
            const auto after = FingerprintFile(c.make(dir, original), decodedMs + c.decodedDelta);
            ASSERT_TRUE(after);
            EXPECT_EQ(before->Key() == after->Key(), c.sameRecord);
        }
    }
}

// Sizes and offsets past 4 GiB (a sparse file: nothing is written but the ends).
TEST(Fingerprint, LargeRecording) {
    namespace fs = std::filesystem;
    TempDir dir;
    const std::string path = dir.file("ten hours.wav");
    const int64_t size = (int64_t{5} << 30) + 17;
    vorel::test::writeText(path, "RIFF");
    fs::resize_file(path, static_cast<uintmax_t>(size));
    const auto before = FingerprintFile(path, 36000000);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->size, size);
    {
        FILE *f = std::fopen(path.c_str(), "r+b");
        ASSERT_TRUE(f);
        ASSERT_EQ(::fseeko(f, size - 1, SEEK_SET), 0);
        std::fputc('x', f);
        std::fclose(f);
    }
    EXPECT_NE(FingerprintFile(path, 36000000), before);
}

TEST(Fingerprint, UnreadableGivesNone) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(FingerprintFile(dir.file("missing.wav"), 0, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(FingerprintFile(dir.path(), 0));
    EXPECT_FALSE(StampFile(dir.file("missing.lrc")));
}

// At open, breakpoints kept with the file beside as it was hold, unless that
// file's bytes changed since: then it wins, the kept ones go, and the info line
// says so.
TEST(Fingerprint, SideFileWinsWhenItsBytesChanged) {
    struct Case {
        const char *name;
        bool keptFile;
        std::function<void(const std::string &lrc)> change; // null: the file is removed
        bool wins;
    };
    const std::vector<Case> cases = {
        {"unchanged", true, [](const std::string &) {}, false},
        {"touched", true, [](const std::string &p) { setMtime(p, 1000000000); }, false},
        {"rewritten, same size", true, [](const std::string &p) { vorel::test::writeText(p, "[00:01.00]b\n"); }, true},
        {"grown", true, [](const std::string &p) { vorel::test::writeText(p, "[00:01.00]a\n[00:02.00]b\n"); }, true},
        {"removed", true, nullptr, false},
        {"appeared", false, [](const std::string &) {}, true},
        {"none then, none now", false, nullptr, false},
    };
    const TBreakpointChoice useKept{true, false, {}};
    const TBreakpointChoice fileWins{false, true, "“lesson.lrc”在上次学习后有改动，改用其中的断点"};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string lrc = dir.file("lesson.lrc");
        vorel::test::writeText(lrc, "[00:01.00]a\n");
        TRecord record;
        record.breakpoints = TKeptBreakpoints{{{0, ""}, {1500, "x"}}, c.keptFile ? StampFile(lrc) : std::nullopt};
        if (c.change)
            c.change(lrc);
        else
            std::remove(lrc.c_str());
        EXPECT_EQ(SideFileWins(record.breakpoints->sideFile, StampFile(lrc)), c.wins);
        EXPECT_EQ(ChooseBreakpoints(record, StampFile(lrc), "lesson.lrc"), c.wins ? fileWins : useKept);
    }
    EXPECT_EQ(ChooseBreakpoints(TRecord{}, TFileStamp{1, 2, "aa"}, "lesson.lrc"), TBreakpointChoice{});
    EXPECT_EQ(ResumeNotice(4), "从上次停下的第5句继续");
}

// A breakpoint moved by a delete and an add (either order) or by a save that
// rounds it takes its sentence's note along; other edits move nothing.
TEST(StudyRules, MovedStartsFollowABreakpointThatMoved) {
    using TList = std::vector<int32_t>;
    using TMoves = std::vector<std::pair<int32_t, int32_t>>;
    const TList base = {0, 1000, 2000, 3000};
    const struct {
        const char *name;
        std::vector<TList> lists; // base, then each edit's list
        TMoves moves;             // over all the edits
    } cases[] = {
        {"delete then add next to it", {base, {0, 1000, 3000}, {0, 1000, 2400, 3000}}, {{2000, 2400}}},
        {"add then delete next to it", {base, {0, 1000, 1600, 2000, 3000}, {0, 1000, 1600, 3000}}, {{2000, 1600}}},
        {"rounded in place", {base, {0, 1000, 2010, 3000}}, {{2000, 2010}}},
        {"delete then add beyond a neighbour", {base, {0, 1000, 3000}, {0, 500, 1000, 3000}}, {}},
        {"two adds", {base, {0, 500, 1000, 2000, 3000}, {0, 500, 1000, 2000, 2500, 3000}}, {}},
        {"an edit between forgets the first",
         {base, {0, 1000, 3000}, {0, 1000, 3000, 3500}, {0, 1000, 2400, 3000, 3500}}, {}},
        {"a delete alone", {base, {0, 1000, 3000}}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TEditMemory memory;
        TMoves moves;
        for (size_t i = 1; i < c.lists.size(); ++i)
            for (const auto &m : MovedStarts(c.lists[i - 1], c.lists[i], memory))
                moves.push_back(m);
        EXPECT_EQ(moves, c.moves);
    }
}

} // namespace
