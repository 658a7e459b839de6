#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "studystore.h"
#include "studytestsupport.h"
#include "testfiles.h"

namespace {

using namespace vorel::study;
using namespace vorel::study::test;
using vorel::test::TempDir;

std::string storeFile(const TempDir &dir) { return dir.file("vorel/") + TStudyStore::FileName; }

TEST(StudyStore, KeepsEveryPartAcrossSessions) {
    TempDir dir;
    {
        TStudyStore store(dir.file("vorel"));
        EXPECT_TRUE(store.Persistent());
        EXPECT_TRUE(store.Load(SampleFingerprint(1)).Empty());
        Queue(store, SampleFingerprint(1), SampleRecord(1));
        Queue(store, SampleFingerprint(2), SampleRecord(2));
        EXPECT_TRUE(store.Flush());
        EXPECT_TRUE(store.TakeNotices().empty());
    }
    TStudyStore store(dir.file("vorel"));
    EXPECT_EQ(store.Load(SampleFingerprint(1)), SampleRecord(1));
    EXPECT_EQ(store.Load(SampleFingerprint(2)), SampleRecord(2));
    EXPECT_TRUE(store.Load(SampleFingerprint(3)).Empty());
    EXPECT_EQ(store.MarkedSentences(SampleFingerprint(1)), (std::vector<int32_t>{3001, 9000}));
    // WAL, and the schema's version stamped.
    TRawDb raw(storeFile(dir));
    EXPECT_EQ(raw.Value("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(raw.Value("PRAGMA user_version"), "1");
}

// Changes stay in memory until a flush writes them all at once; a load sees
// them, and writes nothing.
TEST(StudyStore, QueuedChangesReachTheFileOnlyByFlush) {
    TempDir dir;
    TStudyStore store(dir.file("vorel"));
    TRawDb raw(storeFile(dir));
    Queue(store, SampleFingerprint(1), SampleRecord(1));
    EXPECT_TRUE(store.Pending());
    EXPECT_EQ(store.Load(SampleFingerprint(1)), SampleRecord(1));
    EXPECT_TRUE(store.Pending());
    EXPECT_EQ(raw.Value("SELECT count(*) FROM sentence"), "0");
    EXPECT_TRUE(store.Flush());
    EXPECT_FALSE(store.Pending());
    EXPECT_EQ(raw.Value("SELECT count(*) FROM sentence"), "3");
    store.SetMarked(SampleFingerprint(1), 7500, true);
    EXPECT_EQ(store.MarkedSentences(SampleFingerprint(1)), (std::vector<int32_t>{3001, 7500, 9000}));
}

// Each change applied to a stored record, in the order queued.
TEST(StudyStore, ChangesApplyInOrder) {
    const TFingerprint fp = SampleFingerprint(0);
    struct Case {
        const char *name;
        std::function<void(TStudyStore &)> change;
        std::function<void(TRecord &)> expect;
    };
    const std::vector<Case> cases = {
        {"readings add up", [&](TStudyStore &s) { s.CountReading(fp, 7500); s.CountReading(fp, 100); },
         [](TRecord &r) { r.sentences[7500].reads = 2; r.sentences[100].reads = 1; }},
        {"unmarked, never read: no note", [&](TStudyStore &s) { s.SetMarked(fp, 9000, false); },
         [](TRecord &r) { r.sentences.erase(9000); }},
        {"a moved breakpoint carries its note", [&](TStudyStore &s) { s.MoveSentence(fp, 3000, 3400); },
         [](TRecord &r) { r.sentences[3400] = r.sentences[3000]; r.sentences.erase(3000); }},
        {"moved onto another note: counts add, a mark stays",
         [&](TStudyStore &s) { s.MoveSentence(fp, 3000, 7500); },
         [](TRecord &r) { r.sentences[7500] = {3, true}; r.sentences.erase(3000); }},
        {"moved from nothing", [&](TStudyStore &s) { s.MoveSentence(fp, 1, 2); }, [](TRecord &) {}},
        {"the file beside won", [&](TStudyStore &s) { s.DropBreakpoints(fp); },
         [](TRecord &r) { r.breakpoints.reset(); }},
        {"kept without a file beside", [&](TStudyStore &s) { s.KeepBreakpoints(fp, {{{0, "x"}}, std::nullopt}); },
         [](TRecord &r) { r.breakpoints = TKeptBreakpoints{{{0, "x"}}, std::nullopt}; }},
        {"the latest position and settings hold",
         [&](TStudyStore &s) {
             s.SetPosition(fp, {1, 10});
             s.SetSettings(fp, {0, 0, 0, 0, {}});
             s.SetPosition(fp, {2, 20});
             s.SetSettings(fp, {1, 2, 2, 40, {}});
         },
         [](TRecord &r) { r.position = TPosition{2, 20}; r.settings = TSettings{1, 2, 2, 40, {}}; }},
        {"forgotten", [&](TStudyStore &s) { s.Forget(fp); }, [](TRecord &r) { r = {}; }},
        {"forgotten, then begun anew", [&](TStudyStore &s) { s.Forget(fp); s.CountReading(fp, 5); },
         [](TRecord &r) { r = {}; r.sentences[5].reads = 1; }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        TStudyStore store(dir.file("vorel"));
        Queue(store, fp, SampleRecord(0));
        Queue(store, SampleFingerprint(1), SampleRecord(1));
        store.Flush();
        c.change(store);
        TRecord expected = SampleRecord(0);
        c.expect(expected);
        EXPECT_EQ(store.Load(fp), expected); // queued
        store.Flush();
        EXPECT_EQ(store.Load(fp), expected); // written
        EXPECT_EQ(store.Load(SampleFingerprint(1)), SampleRecord(1)); // others untouched
    }
}

// A killed program loses what was queued after its last flush, nothing before.
TEST(StudyStore, KillLosesOnlyWhatWasNotFlushed) {
    TempDir dir;
    const TFingerprint fp = SampleFingerprint(0);
    EXPECT_EXIT(
        {
            TStudyStore store(dir.file("vorel"));
            Queue(store, fp, SampleRecord(0));
            store.Flush();
            store.SetPosition(fp, {9, 99999});
            store.CountReading(fp, 7500);
            std::raise(SIGKILL);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    TStudyStore store(dir.file("vorel"));
    EXPECT_EQ(store.Load(fp), SampleRecord(0));
    EXPECT_TRUE(store.TakeNotices().empty());
}

TEST(StudyStore, DefaultFolderFollowsXdg) {
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    const char *const old = std::getenv("XDG_DATA_HOME");
    const std::string saved = old ? old : "";
    struct Case {
        const char *xdg; // null: unset
        std::string folder;
    };
    const std::vector<Case> cases = {
        {"/data/me", "/data/me/vorel"},
        {nullptr, home + "/.local/share/vorel"},
        {"", home + "/.local/share/vorel"},
        {"relative/path", home + "/.local/share/vorel"}, // not absolute: ignored
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.xdg ? c.xdg : "(unset)");
        if (c.xdg)
            ::setenv("XDG_DATA_HOME", c.xdg, 1);
        else
            ::unsetenv("XDG_DATA_HOME");
        EXPECT_EQ(TStudyStore::DefaultFolder(), c.folder);
    }
    if (old)
        ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

} // namespace
