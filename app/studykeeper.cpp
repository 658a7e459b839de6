#include "studykeeper.h"

#include <QFileInfo>

#include <algorithm>

#include "repeater.h"
#include "speedladder.h"
#include "studystore.h"

namespace vorel::app {

study::TSettings SettingsOf(const repeater::TReport &r) {
    study::TSettings s;
    s.repeatIndex = r.repeatIndex;
    s.pauseIndex = r.pauseIndex;
    s.mode = static_cast<int>(r.mode);
    s.speed = r.speed;
    s.ladder = r.ladder;
    return s;
}

TStudyKeeper::TStudyKeeper(repeater::TRepeater &repeater, const std::string &folder)
    : repeater_(repeater),
      store_(std::make_unique<study::TStudyStore>(folder.empty() ? study::TStudyStore::DefaultFolder() : folder)) {
    connect(&repeater_, &repeater::TRepeater::Traced, this, [this](const std::string &kind, const std::string &) {
        // Deferred: the repeater is still inside the operation that traced. The
        // lesson before is no longer followed from here: its place is not the new one's.
        if (kind == "open") {
            fp_.reset();
            QTimer::singleShot(0, this, [this] { opened(); });
        } else if (kind == "load") {
            QTimer::singleShot(0, this, [this] { loaded(); });
        } else if (kind == "break" && sentenceFollowed_) {
            keepBreakpoints(); // an edit or a save: the load's own list comes before
        }
    });
    connect(&repeater_, &repeater::TRepeater::Changed, this, [this] { changed(); });
    connect(&repeater_, &repeater::TRepeater::LastReadingFinished, this, [this](int32_t sentence) {
        const repeater::TLesson *l = repeater_.Lesson();
        if (fp_ && l && sentence >= 0 && sentence < l->segments->Count())
            store_->CountReading(*fp_, l->segments->Items(sentence).TimeMs);
    });
    flushTimer_.setInterval(FlushIntervalMs);
    connect(&flushTimer_, &QTimer::timeout, this, [this] { Flush(); });
    flushTimer_.start();
    // Shown once, after the window has drawn its first report.
    QTimer::singleShot(0, this, [this] { showStoreNotices(); });
}

TStudyKeeper::~TStudyKeeper() { Flush(); }

void TStudyKeeper::Flush() {
    if (!store_->Pending())
        return;
    store_->Flush();
    showStoreNotices();
}

void TStudyKeeper::showStoreNotices() {
    std::string text;
    for (const std::string &n : store_->TakeNotices())
        text += (text.empty() ? "" : "；") + n;
    if (!text.empty())
        repeater_.ShowNotice(text);
}

void TStudyKeeper::opened() {
    // The record of the lesson before is written before this one's is read.
    Flush();
    markedStarts_.clear();
    review_ = false;
    repeater_.SetReview({});
    settings_.reset();
    position_.reset();
    settingsFollowed_ = sentenceFollowed_ = false;
    const repeater::TLesson *l = repeater_.Lesson();
    if (!l)
        return;
    // The length as the decoder gives it at open: the same at every open of the same bytes.
    fp_ = study::FingerprintFile(l->fileName, l->info.duration);
    if (!fp_)
        return;
    const study::TRecord record = store_->Load(*fp_);
    if (record.settings) {
        const study::TSettings &s = *record.settings;
        repeater_.SetRepeatIndex(s.repeatIndex);
        repeater_.SetPauseIndex(s.pauseIndex);
        repeater_.SetMode(static_cast<repeater::TMode>(s.mode));
        if (s.speed != repeater_.Report().speed)
            repeater_.SetSpeed(s.speed);
        // Only a ladder the list offers: one the window cannot show would play unseen.
        repeater_.SetLadder(repeater::LadderItems()[size_t(repeater::LadderIndex(s.ladder))].steps);
        settings_ = s;
    }
    settingsFollowed_ = true;
    changed();
}

std::string SideFileOf(const std::string &recording, segment::TBreakpointSource source) {
    const char *ext = source == segment::TBreakpointSource::Srt   ? ".srt"
                      : source == segment::TBreakpointSource::Vtt ? ".vtt"
                                                                  : ".lrc";
    const QFileInfo f(QString::fromStdString(recording));
    return (f.path() + "/" + f.completeBaseName() + ext).toStdString();
}

void TStudyKeeper::keepBreakpoints() {
    const repeater::TLesson *l = repeater_.Lesson();
    if (!fp_ || !l)
        return;
    study::TKeptBreakpoints kept;
    std::vector<int32_t> starts;
    for (int32_t i = 0; i < l->segments->Count(); ++i) {
        kept.points.push_back({l->segments->Items(i).TimeMs, l->segments->Items(i).Text});
        starts.push_back(l->segments->Items(i).TimeMs);
    }
    kept.sideFile = study::StampFile(SideFileOf(l->fileName, l->source));
    store_->KeepBreakpoints(*fp_, kept);
    followMoves(starts);
}

void TStudyKeeper::followMoves(const std::vector<int32_t> &starts) {
    const auto moves = study::MovedStarts(starts_, starts, editMemory_);
    starts_ = starts;
    for (const auto &[from, to] : moves)
        store_->MoveSentence(*fp_, from, to);
    if (!moves.empty())
        refreshMarks();
}

void TStudyKeeper::refreshMarks() {
    markedStarts_ = store_->MarkedSentences(*fp_);
    if (review_) {
        review_ = !markedStarts_.empty();
        repeater_.SetReview(markedStarts_);
    }
    if (OnMarksChanged)
        OnMarksChanged();
}

void TStudyKeeper::loaded() {
    if (!fp_ || sentenceFollowed_)
        return;
    const study::TRecord record = store_->Load(*fp_);
    std::string notice;
    if (const repeater::TLesson *l = repeater_.Lesson(); l && record.breakpoints) {
        const std::string side = SideFileOf(l->fileName, l->source);
        const study::TBreakpointChoice choice =
            study::ChooseBreakpoints(record, study::StampFile(side), QFileInfo(QString::fromStdString(side)).fileName().toStdString());
        if (choice.useKept) {
            std::vector<std::pair<int32_t, std::string>> points;
            for (const study::TKeptBreakpoint &p : record.breakpoints->points)
                points.emplace_back(p.ms, p.text);
            repeater_.ReplaceBreakpoints(points);
        }
        if (choice.dropKept)
            store_->DropBreakpoints(*fp_);
        notice = choice.notice;
    }
    sentenceFollowed_ = true;
    const repeater::TReport r = repeater_.Report();
    const repeater::TLesson *l = repeater_.Lesson();
    // The learner who already moved on is not taken back.
    if (record.position && l && r.playback == repeater::TPlayback::Stopped && r.sentence == 0) {
        int32_t start = 0, end = 0;
        const int32_t found = l->segments->FindSentence(record.position->startMs, start, end);
        if (found > 0 && found < r.sentenceCount) {
            repeater_.ChooseSentence(found);
            notice += (notice.empty() ? "" : "；") + study::ResumeNotice(found);
        }
        position_ = record.position;
    }
    if (!notice.empty())
        repeater_.ShowNotice(notice);
    starts_.clear();
    for (int32_t i = 0; l && i < l->segments->Count(); ++i)
        starts_.push_back(l->segments->Items(i).TimeMs);
    editMemory_ = {};
    markedStarts_ = store_->MarkedSentences(*fp_);
    if (OnMarksChanged)
        OnMarksChanged();
    changed();
}

std::string MarkNotice(int32_t sentence, bool marked, size_t count) {
    const std::string n = std::to_string(sentence + 1);
    return (marked ? "已标记第" + n + "句" : "已取消第" + n + "句的标记") + "，共标记" + std::to_string(count) + "句";
}

void TStudyKeeper::ToggleMark() {
    const repeater::TLesson *l = repeater_.Lesson();
    const repeater::TReport r = repeater_.Report();
    if (!fp_ || !l || r.sentence < 0 || r.sentence >= r.sentenceCount)
        return;
    const int32_t start = l->segments->Items(r.sentence).TimeMs;
    std::vector<int32_t> marked = store_->MarkedSentences(*fp_);
    const bool was = std::find(marked.begin(), marked.end(), start) != marked.end();
    store_->SetMarked(*fp_, start, !was);
    repeater_.ShowNotice(MarkNotice(r.sentence, !was, marked.size() + (was ? -1 : 1)));
    refreshMarks();
}

std::vector<int32_t> MarkColumnsInView(const std::vector<int32_t> &startsMs, int32_t viewOffset, int32_t width) {
    std::vector<int32_t> xs;
    for (const int32_t ms : startsMs) {
        const int32_t x = ms / audio::MsPerColumn - viewOffset;
        if (x >= 0 && x < width)
            xs.push_back(x);
    }
    return xs;
}

void TStudyKeeper::SetReview(bool on) {
    review_ = on && !markedStarts_.empty();
    repeater_.SetReview(review_ ? markedStarts_ : std::vector<int32_t>{});
    if (review_) {
        const repeater::TLesson *l = repeater_.Lesson();
        const int32_t cur = repeater_.Report().sentence;
        const bool curMarked = l && cur >= 0 && cur < l->segments->Count() &&
                               std::binary_search(markedStarts_.begin(), markedStarts_.end(), l->segments->Items(cur).TimeMs);
        if (!curMarked && l) {
            int32_t s = 0, e = 0;
            repeater_.ChooseSentence(l->segments->FindSentence(markedStarts_.front(), s, e));
        }
        repeater_.ShowNotice("复习模式：只读标记的" + std::to_string(markedStarts_.size()) + "句");
    } else if (on) {
        repeater_.ShowNotice("还没有标记的句子：按M标记当前句");
    }
    if (OnMarksChanged)
        OnMarksChanged();
}

void TStudyKeeper::Forget() {
    if (!fp_)
        return;
    store_->Forget(*fp_);
    markedStarts_.clear();
    review_ = false;
    repeater_.SetReview({});
    repeater_.ShowNotice("已忘记本文件的学习记录");
    if (OnMarksChanged)
        OnMarksChanged();
}

std::vector<bool> TStudyKeeper::MarkedRows() {
    const repeater::TLesson *l = repeater_.Lesson();
    if (!fp_ || !l)
        return {};
    std::vector<bool> rows(size_t(std::max(0, l->segments->Count() - 1)));
    for (const int32_t start : store_->MarkedSentences(*fp_)) {
        int32_t s = 0, e = 0;
        const int32_t i = l->segments->FindSentence(start, s, e);
        if (i >= 0 && size_t(i) < rows.size() && s == start)
            rows[size_t(i)] = true;
    }
    return rows;
}

void TStudyKeeper::changed() {
    if (!fp_)
        return;
    const repeater::TReport r = repeater_.Report();
    if (settingsFollowed_) {
        const study::TSettings now = SettingsOf(r);
        if (settings_ != now) {
            store_->SetSettings(*fp_, now);
            settings_ = now;
        }
    }
    const repeater::TLesson *l = repeater_.Lesson();
    if (sentenceFollowed_ && l && r.sentence >= 0 && r.sentence < l->segments->Count()) {
        const study::TPosition now{r.sentence, l->segments->Items(r.sentence).TimeMs};
        if (position_ != now) {
            store_->SetPosition(*fp_, now);
            position_ = now;
        }
    }
}

} // namespace vorel::app
