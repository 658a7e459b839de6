// The learner's records of all recordings, in one SQLite file of their own
// (study.sqlite in $XDG_DATA_HOME/vorel, else ~/.local/share/vorel), keyed by
// each recording's content fingerprint.
//
// Changes are queued in memory, cheaply, as they happen; Flush writes all queued
// changes in one transaction. The caller flushes every few seconds and on close
// (the destructor flushes too), never per timer tick: a crash loses at most what
// was queued since the last flush. The file is in WAL mode with synchronous
// NORMAL, so a killed process loses no flushed change.
//
// Never in the way: the store never throws and never shows anything. When its
// file is locked by another instance, damaged, in a folder that cannot be
// written, on a full disk, or from a newer version of the program, the store
// goes on for this session in memory (seeded from the file when it can still be
// read), or, for a damaged file, sets the file aside under a dated name and
// starts a fresh one. Each such event leaves one Chinese notice for the caller
// to show (TakeNotices). Two instances may keep records in the same file at
// once (WAL; each flush is a short transaction); one that finds the file held
// for longer than busyTimeoutMs goes on in memory. Without Qt's SQLite driver
// nothing is kept, and the notice says the records cannot be opened.
//
// Opening runs SQLite's quick integrity check on the calling thread: about
// 10 ms for a 1 MB store (30 recordings), 130 ms for 20 MB (bench/vorel-studybench).
//
// Threads: a store belongs to the thread that constructed it (the GUI thread in
// the program) and is called only from there; its database connection is not
// shared. Ownership: the caller owns the store; everything it returns is a value.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fingerprint.h"
#include "studyrecord.h"

namespace vorel::study {

// Why the store is not (or was not at first) keeping records on disk.
enum class TStoreFault {
    None,
    Locked,       // another instance holds the file
    Damaged,      // the file was damaged (set aside when it could be)
    ReadOnly,     // the folder or the file cannot be written
    Full,         // the disk is full
    NewerVersion, // the file was written by a newer version of the program
    Failed,       // any other failure to open or write the file
};

// The notice for a fault; setAside names the damaged file's new name, if any.
std::string FaultNotice(TStoreFault fault, const std::string &setAside = {});

struct TStoreOptions {
    // How long a write waits for another instance before the store gives up on the file.
    int busyTimeoutMs = 250;
    // Tests: the largest the file may grow in pages, standing in for a full disk (0: no limit).
    int64_t maxPageCount = 0;
};

class TStudyStore {
public:
    static constexpr const char *FileName = "study.sqlite";
    // $XDG_DATA_HOME/vorel when that is an absolute path, else ~/.local/share/vorel.
    static std::string DefaultFolder();

    // Opens or creates the store in folder (created when missing).
    explicit TStudyStore(const std::string &folder, const TStoreOptions &options = {});
    // Flushes what is queued.
    ~TStudyStore();
    TStudyStore(const TStudyStore &) = delete;
    TStudyStore &operator=(const TStudyStore &) = delete;

    // True while changes are written to the file; false once the store runs in
    // memory for the rest of the session.
    bool Persistent() const;
    // The fault met so far (None when all went well). Damaged with Persistent()
    // true: the damaged file was set aside and a fresh one is in use.
    TStoreFault Fault() const;
    // The notices since the last call, oldest first; each event gives one.
    std::vector<std::string> TakeNotices();

    // The record of a recording, queued changes included (a read writes nothing);
    // empty when unknown.
    TRecord Load(const TFingerprint &fp);
    // The starts (ms) of the marked sentences, ascending.
    std::vector<int32_t> MarkedSentences(const TFingerprint &fp);

    // --- queued changes: memory only until Flush ---
    void SetPosition(const TFingerprint &fp, const TPosition &position);
    void KeepBreakpoints(const TFingerprint &fp, const TKeptBreakpoints &breakpoints);
    // The kept breakpoints are dropped (the file beside the recording won).
    void DropBreakpoints(const TFingerprint &fp);
    void SetSettings(const TFingerprint &fp, const TSettings &settings);
    // One more reading of the sentence starting at startMs.
    void CountReading(const TFingerprint &fp, int32_t startMs);
    void SetMarked(const TFingerprint &fp, int32_t startMs, bool marked);
    // A breakpoint moved: the note of the sentence that started at fromMs now
    // belongs to the one starting at toMs (added to any note already there).
    void MoveSentence(const TFingerprint &fp, int32_t fromMs, int32_t toMs);
    // Removes the whole record (changes queued after it start a new one).
    void Forget(const TFingerprint &fp);

    // Whether changes are queued.
    bool Pending() const;
    // Writes the queued changes in one transaction. True when they are on disk;
    // false when the store now runs in memory (they are kept there, and a notice
    // says so) or was already doing so.
    bool Flush();

private:
    struct TImpl;
    std::unique_ptr<TImpl> d_;
};

} // namespace vorel::study
