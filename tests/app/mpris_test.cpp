// The media-control rules without a bus: status, metadata, which button a
// desktop command presses, what counts as a change.
#include "mprisservice.h"

#include <QDBusObjectPath>
#include <QStringList>

#include <gtest/gtest.h>

#include <fstream>

using namespace vorel::app;

namespace {

TMprisState loaded(int32_t sentence = 2, const std::string &text = "") {
    TMprisState s;
    s.file = "/home/学生/第 一课.mp3";
    s.durationMs = 61500;
    s.sentence = sentence;
    s.sentenceCount = 17;
    s.sentenceText = text;
    return s;
}

QString trackId(const QVariantMap &m) { return m.value("mpris:trackid").value<QDBusObjectPath>().path(); }

} // namespace

TEST(Mpris, SentenceLabelAndStatusTexts) {
    const struct {
        int32_t sentence, count;
        const char *label;
    } labels[] = {{2, 17, "第3/17句"}, {0, 1, "第1/1句"}, {-1, 5, ""}, {5, 5, ""}, {0, 0, ""}};
    for (const auto &c : labels)
        EXPECT_EQ(SentenceLabel(c.sentence, c.count), QString::fromUtf8(c.label)) << c.sentence << "/" << c.count;
    EXPECT_EQ(PlaybackStatusText(TPlayback::Playing), "Playing");
    EXPECT_EQ(PlaybackStatusText(TPlayback::Paused), "Paused");
    EXPECT_EQ(PlaybackStatusText(TPlayback::Stopped), "Stopped");
}

TEST(Mpris, MetadataNamesTheFileAndTheCurrentSentence) {
    const struct {
        const char *what;
        TMprisState state;
        const char *track, *artist; // artist "" for none
    } cases[] = {
        {"no file", TMprisState{}, "/org/mpris/MediaPlayer2/TrackList/NoTrack", ""},
        {"sentence without text", loaded(2), "/org/vorel/sentence/3", "第3/17句"},
        {"sentence with text", loaded(0, " Good morning. "), "/org/vorel/sentence/1", "Good morning."},
        {"blank text", loaded(16, "  "), "/org/vorel/sentence/17", "第17/17句"},
        {"no current sentence", loaded(-1, "stale"), "/org/vorel/lesson", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QVariantMap m = MprisMetadata(c.state);
        EXPECT_EQ(trackId(m), c.track);
        if (*c.artist) {
            EXPECT_EQ(m.value("xesam:artist").toStringList(), QStringList{QString::fromUtf8(c.artist)});
            EXPECT_EQ(m.value("xesam:trackNumber").toInt(), c.state.sentence + 1);
        } else {
            EXPECT_FALSE(m.contains("xesam:artist"));
        }
        if (c.state.file.empty()) {
            EXPECT_EQ(m.size(), 1);
            continue;
        }
        EXPECT_EQ(m.value("mpris:length").toLongLong(), 61500000); // microseconds
        EXPECT_EQ(m.value("xesam:title").toString(), QString::fromUtf8("第 一课.mp3"));
        EXPECT_EQ(m.value("xesam:url").toString(),
                  "file:///home/%E5%AD%A6%E7%94%9F/%E7%AC%AC%20%E4%B8%80%E8%AF%BE.mp3");
    }
}

TEST(Mpris, CommandsPressTheButtonsThatCanAct) {
    TMprisState all = loaded();
    all.canPlay = all.canPause = all.canStop = all.canGoNext = all.canGoPrevious = true;
    auto with = [&](TPlayback p) {
        TMprisState s = all;
        s.playback = p;
        return s;
    };
    const TMprisState none = TMprisState{};
    using A = TMprisAction;
    const struct {
        const char *method;
        TMprisState state;
        TMprisAction action;
    } cases[] = {
        {"Play", with(TPlayback::Stopped), A::Play},
        {"Play", with(TPlayback::Paused), A::Play}, // resumes, replays a held range, ends a wait
        {"Play", with(TPlayback::Playing), A::None},
        {"Pause", with(TPlayback::Playing), A::Pause},
        {"Pause", with(TPlayback::Paused), A::None}, // the pause button would resume
        {"Pause", with(TPlayback::Stopped), A::None},
        {"PlayPause", with(TPlayback::Playing), A::Pause},
        {"PlayPause", with(TPlayback::Paused), A::Play},
        {"PlayPause", with(TPlayback::Stopped), A::Play},
        {"Stop", with(TPlayback::Playing), A::Stop},
        {"Next", with(TPlayback::Stopped), A::Next},
        {"Previous", with(TPlayback::Paused), A::Previous},
        {"Seek", with(TPlayback::Playing), A::None},
        // Disabled buttons do nothing, whatever the status.
        {"Play", none, A::None},
        {"PlayPause", none, A::None},
        {"Stop", none, A::None},
        {"Next", none, A::None},
        {"Previous", none, A::None},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ActionFor(c.method, c.state), c.action)
            << c.method << " at " << PlaybackStatusText(c.state.playback).toStdString() << " enabled "
            << c.state.canPlay;
}

TEST(Mpris, OnlyWhatDiffersIsAnnounced) {
    const TMprisState base = loaded(2);
    TMprisState playing = base, nextSentence = base, nextOn = base;
    playing.playback = TPlayback::Playing;
    nextSentence.sentence = 3;
    nextOn.canGoNext = true;
    const struct {
        const char *what;
        TMprisState after;
        QStringList keys;
    } cases[] = {
        {"nothing", base, {}},
        {"status", playing, {"PlaybackStatus"}},
        {"sentence", nextSentence, {"Metadata"}},
        {"next enabled", nextOn, {"CanGoNext"}},
    };
    const QVariantMap before = MprisPlayerProperties(base);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QVariantMap changed = ChangedProperties(before, MprisPlayerProperties(c.after));
        EXPECT_EQ(changed.keys(), c.keys);
    }
    // Only the track id differs: the sentence moved on with the same text.
    TMprisState a = loaded(1, "same"), b = loaded(2, "same");
    EXPECT_EQ(ChangedProperties(MprisPlayerProperties(a), MprisPlayerProperties(b)).keys(), QStringList{"Metadata"});
    // A property not announced before counts as changed.
    EXPECT_EQ(ChangedProperties({}, {{"CanPlay", false}}).keys(), QStringList{"CanPlay"});
}

TEST(Mpris, PositionJumpsAreTheOnesAPlayingClockCannotExplain) {
    const struct {
        int64_t before;
        bool playing;
        int64_t elapsed, now;
        bool jumped;
    } cases[] = {
        {1000, true, 2000, 3000, false},  // played on at normal speed
        {1000, true, 2000, 2300, false},  // at 60 %
        {1000, true, 2000, 3700, false},  // at 140 %
        {1000, true, 2000, 500, true},    // a repeat went back
        {1000, true, 100, 9000, true},    // next sentence
        {4000, false, 3000, 4000, false}, // held still during a pause
        {4000, false, 3000, 7000, true},  // started elsewhere after the pause
        {4000, false, 0, 0, true},        // a new reading from the start
    };
    for (const auto &c : cases)
        EXPECT_EQ(PositionJumped(c.before, c.playing, c.elapsed, c.now), c.jumped)
            << c.before << (c.playing ? " playing " : " still ") << c.elapsed << " -> " << c.now;
}

TEST(Mpris, MimeTypesAreTheDesktopEntrys) {
    std::ifstream entry(DESKTOP_ENTRY);
    ASSERT_TRUE(entry) << DESKTOP_ENTRY;
    QStringList announced;
    for (std::string line; std::getline(entry, line);)
        if (line.rfind("MimeType=", 0) == 0)
            announced = QString::fromStdString(line.substr(9)).split(u';', Qt::SkipEmptyParts);
    EXPECT_EQ(MprisMimeTypes(), announced);
}
