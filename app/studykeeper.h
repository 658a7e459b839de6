// The learner's record of each lesson, kept while the window reads it: the store
// is opened once per window; when a lesson opens it is known by its content
// fingerprint, and its playing settings and the sentence where the learner
// stopped come back; what changes is queued and written every few seconds, when
// another file opens and when the window closes. The store never stands in the
// way: without it the lesson opens and plays as before. GUI thread only.
#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "breakpointfile.h"
#include "fingerprint.h"
#include "studyrecord.h"
#include "studyrules.h"

namespace vorel::study {
class TStudyStore;
} // namespace vorel::study

namespace vorel::repeater {
class TRepeater;
struct TReport;
} // namespace vorel::repeater

namespace vorel::app {

// The breakpoint file beside a recording that a lesson's list came from (an
// automatic split: where an LRC would be).
std::string SideFileOf(const std::string &recording, segment::TBreakpointSource source);

// "已标记第4句，共标记2句" or "已取消第4句的标记，共标记1句", for the 0-based sentence.
std::string MarkNotice(int32_t sentence, bool marked, size_t count);

// The strip columns (0..width-1) where the marks of sentences starting at
// startsMs stand, the strip showing from column viewOffset; those outside are left out.
std::vector<int32_t> MarkColumnsInView(const std::vector<int32_t> &startsMs, int32_t viewOffset, int32_t width);

// The settings a report shows, in the record's units.
study::TSettings SettingsOf(const repeater::TReport &r);

class TStudyKeeper : public QObject {
public:
    // How often queued changes are written.
    static constexpr int FlushIntervalMs = 5000;

    // Opens the store in folder (empty: its default folder); its notices go to the info line.
    TStudyKeeper(repeater::TRepeater &repeater, const std::string &folder = {});
    // Writes what is queued.
    ~TStudyKeeper() override;

    // Marks the current sentence as hard, or unmarks it; the info line says which
    // and how many are marked.
    void ToggleMark();
    // Review: previous, next and the advance read the marked sentences only; the
    // current sentence moves to the first marked one when it is not marked. Ends
    // with the lesson, and when no sentence is marked.
    void SetReview(bool on);
    bool Reviewing() const { return review_; }
    // Removes the record of the lesson in use; what changes after starts a new one.
    void Forget();
    // Per sentence of the lesson in use, whether it is marked.
    std::vector<bool> MarkedRows();
    // The starts (ms) of the marked sentences of the lesson in use, ascending; cheap (the strip's paint).
    const std::vector<int32_t> &MarkedStarts() const { return markedStarts_; }
    // Called when the marks to show changed (a toggle, a record restored).
    std::function<void()> OnMarksChanged;

    // Writes what is queued now (the window closes, a test looks at the file).
    void Flush();
    // The lesson in use's fingerprint, when it is known.
    const std::optional<study::TFingerprint> &Lesson() const { return fp_; }
    study::TStudyStore &Store() { return *store_; }

private:
    void opened();
    void loaded();
    void changed();
    void keepBreakpoints();
    // The notes of sentences whose start a breakpoint edit moved go with it.
    void followMoves(const std::vector<int32_t> &starts);
    void refreshMarks();
    void showStoreNotices();

    repeater::TRepeater &repeater_;
    std::unique_ptr<study::TStudyStore> store_;
    QTimer flushTimer_;
    std::optional<study::TFingerprint> fp_;
    // What was last queued, so that a report that changed nothing queues nothing.
    std::optional<study::TSettings> settings_;
    std::optional<study::TPosition> position_;
    // Settings and sentence are followed once the record's were restored (or there were none).
    std::vector<int32_t> markedStarts_;
    // The breakpoints as last kept, and the first half of a move in two edits.
    std::vector<int32_t> starts_;
    study::TEditMemory editMemory_;
    bool review_ = false;
    bool settingsFollowed_ = false;
    bool sentenceFollowed_ = false;
};

} // namespace vorel::app
