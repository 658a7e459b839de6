// The store never stands in the way: whatever is wrong with its file, a
// recording's record can be loaded and changed for the session, and one notice
// says what happened.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "studystore.h"
#include "studytestsupport.h"
#include "testfiles.h"

namespace {

using namespace vorel::study;
using namespace vorel::study::test;
using vorel::test::TempDir;
namespace fs = std::filesystem;

std::string storeFile(const std::string &folder) { return folder + "/" + TStudyStore::FileName; }

void writeStore(const std::string &folder, int records) {
    TStudyStore store(folder);
    for (int n = 0; n < records; ++n)
        Queue(store, SampleFingerprint(n), SampleRecord(n));
}

// The session keeps changes in memory and loads them back.
bool worksInMemory(TStudyStore &store) {
    store.SetMarked(SampleFingerprint(7), 42, true);
    const bool flushed = store.Flush();
    return !flushed && !store.Persistent() && store.MarkedSentences(SampleFingerprint(7)) == std::vector<int32_t>{42};
}

std::vector<std::string> filesIn(const std::string &folder) {
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(StudyFaults, EveryFaultHasANotice) {
    for (auto f : {TStoreFault::Locked, TStoreFault::Damaged, TStoreFault::ReadOnly, TStoreFault::Full,
                   TStoreFault::NewerVersion, TStoreFault::Failed})
        EXPECT_FALSE(FaultNotice(f).empty());
    EXPECT_NE(FaultNotice(TStoreFault::Damaged, "x.sqlite").find("x.sqlite"), std::string::npos);
    EXPECT_TRUE(FaultNotice(TStoreFault::None).empty());
}

// A damaged file is set aside under a dated name with its bytes, a fresh one
// takes its place and keeps records from now on.
TEST(StudyFaults, DamagedFileIsSetAsideAndReplaced) {
    struct Case {
        const char *name;
        std::function<void(const std::string &file)> damage;
    };
    const std::vector<Case> cases = {
        {"not a database", [](const std::string &f) { vorel::test::writeText(f, std::string(5000, 'x')); }},
        {"pages overwritten", [](const std::string &f) {
             auto bytes = vorel::test::readFile(f);
             ASSERT_GT(bytes.size(), 3 * 4096u);
             for (size_t i = 4096; i < bytes.size(); i += 7)
                 bytes[i] = static_cast<uint8_t>(i * 31);
             vorel::test::writeFile(f, bytes);
         }},
        {"truncated", [](const std::string &f) { fs::resize_file(f, fs::file_size(f) / 2); }},
        {"a database, but not ours", [](const std::string &f) {
             fs::remove(f);
             TRawDb raw(f);
             raw.Exec("CREATE TABLE notes (x)");
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string folder = dir.file("vorel");
        writeStore(folder, 40);
        c.damage(storeFile(folder));
        const auto damaged = vorel::test::readFile(storeFile(folder));

        TStudyStore store(folder);
        EXPECT_TRUE(store.Persistent());
        EXPECT_EQ(store.Fault(), TStoreFault::Damaged);
        const auto notices = store.TakeNotices();
        ASSERT_EQ(notices.size(), 1u);
        const auto names = filesIn(folder);
        const auto aside = std::find_if(names.begin(), names.end(),
                                        [](const std::string &n) { return n.starts_with("study-damaged-"); });
        ASSERT_NE(aside, names.end());
        EXPECT_NE(notices[0].find(*aside), std::string::npos);
        EXPECT_EQ(vorel::test::readFile(folder + "/" + *aside), damaged);
        EXPECT_TRUE(store.Load(SampleFingerprint(0)).Empty());
        Queue(store, SampleFingerprint(0), SampleRecord(0));
        EXPECT_TRUE(store.Flush());
        EXPECT_EQ(TStudyStore(folder).Load(SampleFingerprint(0)), SampleRecord(0));
    }
}

// Another instance holds the file: this session runs in memory, with the
// records it could still read.
TEST(StudyFaults, LockedByAnotherInstance) {
    struct Case {
        const char *name;
        const char *lock[3];
        bool recordsReadable;
    };
    const std::vector<Case> cases = {
        {"writing", {"BEGIN IMMEDIATE", "UPDATE recording SET seen = 0", nullptr}, true},
        {"holding it whole",
         {"PRAGMA locking_mode = EXCLUSIVE", "BEGIN EXCLUSIVE", "UPDATE recording SET seen = 0"}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string folder = dir.file("vorel");
        writeStore(folder, 1);
        TRawDb other(storeFile(folder));
        for (const char *sql : c.lock) {
            if (sql) {
                ASSERT_TRUE(other.Exec(sql)) << sql;
            }
        }

        TStudyStore store(folder);
        EXPECT_FALSE(store.Persistent());
        EXPECT_EQ(store.Fault(), TStoreFault::Locked);
        EXPECT_EQ(store.TakeNotices(), std::vector<std::string>{FaultNotice(TStoreFault::Locked)});
        EXPECT_EQ(store.Load(SampleFingerprint(0)).Empty(), !c.recordsReadable);
        EXPECT_TRUE(worksInMemory(store));
        EXPECT_TRUE(store.TakeNotices().empty());
        other.Exec("ROLLBACK");
    }
}

// The folder or the file cannot be written: the session runs in memory from
// what the file holds, and the file stays as it was.
TEST(StudyFaults, ReadOnly) {
    struct Case {
        const char *name;
        std::string folder;       // of the store, under the test's folder
        bool stored;              // a store with one record is there
        mode_t folderMode;        // as the test leaves it for the case
        std::string readOnly;     // made unwritable for the case
    };
    const std::vector<Case> cases = {
        {"the folder read-only", "vorel", true, 0755, "vorel"},
        {"the file read-only in a folder open to all", "vorel", true, 0777, "vorel/study.sqlite"},
        {"no store yet, its folder cannot be made", "sub/vorel", false, 0755, "."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        // Reachable by the unprivileged user the case may run as.
        ::chmod(dir.path().c_str(), 0755);
        const std::string folder = dir.file(c.folder);
        if (c.stored) {
            writeStore(folder, 1);
            ::chmod(folder.c_str(), c.folderMode);
        }
        const auto before = c.stored ? vorel::test::readFile(storeFile(folder)) : std::vector<uint8_t>{};
        ExpectWithoutWriteAccess({dir.file(c.readOnly)}, [&] {
            TStudyStore store(folder);
            return store.Fault() == TStoreFault::ReadOnly &&
                   store.TakeNotices() == std::vector<std::string>{FaultNotice(TStoreFault::ReadOnly)} &&
                   store.Load(SampleFingerprint(0)) == (c.stored ? SampleRecord(0) : TRecord{}) &&
                   worksInMemory(store);
        });
        if (c.stored) {
            EXPECT_EQ(vorel::test::readFile(storeFile(folder)), before);
        }
    }
}

// A full disk, when the store is made and when a flush finds no room: the
// session goes on in memory; the file keeps what the last flush wrote.
TEST(StudyFaults, FullDisk) {
    TempDir dir;
    {
        TStudyStore store(dir.file("empty"), {.maxPageCount = 1});
        EXPECT_EQ(store.Fault(), TStoreFault::Full);
        EXPECT_EQ(store.TakeNotices().size(), 1u);
        EXPECT_TRUE(worksInMemory(store));
    }
    const std::string folder = dir.file("vorel");
    TStudyStore store(folder, {.maxPageCount = 16});
    Queue(store, SampleFingerprint(0), SampleRecord(0));
    ASSERT_TRUE(store.Flush());
    TKeptBreakpoints many;
    for (int32_t i = 0; i < 2000; ++i)
        many.points.push_back({i * 1000, std::string(200, 'x')});
    store.KeepBreakpoints(SampleFingerprint(1), many);
    store.CountReading(SampleFingerprint(0), 7500);
    EXPECT_FALSE(store.Flush());
    EXPECT_EQ(store.Fault(), TStoreFault::Full);
    EXPECT_EQ(store.TakeNotices(), std::vector<std::string>{FaultNotice(TStoreFault::Full)});
    EXPECT_EQ(store.Load(SampleFingerprint(1)).breakpoints, many);
    EXPECT_EQ(store.Load(SampleFingerprint(0)).sentences[7500].reads, 2);
    EXPECT_TRUE(worksInMemory(store));
    TStudyStore after(folder);
    EXPECT_EQ(after.Load(SampleFingerprint(0)), SampleRecord(0));
    EXPECT_TRUE(after.Load(SampleFingerprint(1)).Empty());
}

// A file from a newer version is read by nobody here and left as it is.
TEST(StudyFaults, NewerVersionIsLeftAlone) {
    TempDir dir;
    const std::string folder = dir.file("vorel");
    writeStore(folder, 1);
    TRawDb(storeFile(folder)).Exec("PRAGMA user_version = 99");
    {
        TStudyStore store(folder);
        EXPECT_EQ(store.Fault(), TStoreFault::NewerVersion);
        EXPECT_EQ(store.TakeNotices().size(), 1u);
        EXPECT_TRUE(store.Load(SampleFingerprint(0)).Empty());
        EXPECT_TRUE(worksInMemory(store));
    }
    EXPECT_EQ(TRawDb(storeFile(folder)).Value("PRAGMA user_version"), "99");
}

} // namespace
