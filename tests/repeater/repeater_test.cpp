// The repeater on a fake player and a hand-driven clock: readings, counts, pauses,
// navigation, modes, mouse work, breakpoint edits, the sliders and loads.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "repeater.h"
#include "repeatrules.h"

namespace vorel::repeater {
namespace {

using TPair = std::pair<int32_t, int32_t>;

// Plays by moving a position the test advances; reports back as the real player
// does, synchronously from inside the call.
class FakePlayer : public IPlayer {
public:
    enum TState { Stopped, Playing, Paused };
    TRepeater *r = nullptr;
    TState state = Stopped;
    std::string file;
    std::set<std::string> unopenable;
    int32_t pos = 0, stop = 0;
    int tempo = 0, opens = 0;
    std::vector<int> readTempos; // the tempo each reading started at

    void Open(const std::string &path) override {
        ++opens;
        state = Stopped;
        file.clear();
        if (unopenable.count(path))
            throw audio::EAudioError("不能打开文件" + path);
        file = path;
    }
    bool HasFile() const override { return !file.empty(); }
    void PlayRange(int32_t startMs, int32_t stopMs) override {
        if (file.empty())
            throw audio::EAudioError("不能播放");
        pos = startMs;
        stop = stopMs;
        readTempos.push_back(tempo);
        state = Playing;
        r->PlayerStarted();
    }
    void Pause() override {
        if (state == Playing) {
            state = Paused;
            r->PlayerPaused();
        }
    }
    void Resume() override {
        if (state == Paused) {
            state = Playing;
            r->PlayerResumed();
        }
    }
    void Stop() override {
        if (state != Stopped) {
            state = Stopped;
            r->PlayerStopped();
        }
    }
    int32_t PositionMs() const override { return pos; }
    void SetTempo(int percent) override { tempo = percent; }
};

class FakeClock : public IClock {
public:
    void Start(TTimer t) override { on[int(t)] = true; }
    void Stop(TTimer t) override { on[int(t)] = false; }
    bool IsActive(TTimer t) const override { return on[int(t)]; }
    bool on[4] = {};
};

struct Reading {
    int32_t start, end;
    std::string label;
    bool operator==(const Reading &) const = default;
};

std::ostream &operator<<(std::ostream &o, const Reading &r) { return o << r.start << ".." << r.end << " " << r.label; }

TLesson lessonOf(const std::string &name, const std::vector<int32_t> &breakpoints, int32_t duration) {
    TLesson l;
    l.fileName = name;
    l.info.duration = duration;
    l.info.pointCount = duration / 40;
    l.info.channels = 1;
    l.info.libInfo.freq = 44100;
    l.samples.assign(size_t(l.info.pointCount), "0");
    for (int32_t t : breakpoints)
        l.segments->Add({t, "", ""});
    return l;
}

// A lesson known whole at once: the load ends at its first poll.
class WholeSource : public ILessonSource {
public:
    explicit WholeSource(std::function<TLesson()> build) : build_(std::move(build)) {}
    TLesson Begin() override { return build_(); }
    TGrowth Poll(TLesson &lesson) override { return {.finished = true, .notice = lesson.notice}; }
    int32_t Percent() const override { return 100; }
    int32_t KnownSentences(const TLesson &lesson) const override { return lesson.SentenceCount(); }

private:
    std::function<TLesson()> build_;
};

class RepeaterTest : public ::testing::Test {
protected:
    void SetUp() override {
        player.r = &r;
        QObject::connect(&r, &TRepeater::Traced,
                         [this](const std::string &kind, const std::string &detail) { trace.push_back(kind + " " + detail); });
        QObject::connect(&r, &TRepeater::LastReadingFinished, [this](int32_t s) { finished.push_back(s); });
    }
    // Three sentences of 2 s: breakpoints 0, 2000, 4000, 6000.
    void load(const std::vector<int32_t> &breakpoints = {0, 2000, 4000, 6000}, int32_t duration = 6000,
              const std::string &name = "/lessons/one.wav") {
        r.OpenAudioFile(name, [&](const std::string &path) {
            return std::make_unique<WholeSource>([&, path] { return lessonOf(path, breakpoints, duration); });
        });
    }
    // Plays the reading on to where the player stops, the play timer ticking every
    // 80 ms; then the end notification the library would post.
    void readToEnd() {
        while (player.state == FakePlayer::Playing && player.pos < player.stop) {
            player.pos = std::min(player.pos + 80, player.stop);
            if (clock.IsActive(TTimer::Play)) {
                r.Timer_playTimer();
                sentences.push_back(r.Report().sentence);
            }
        }
        if (player.state != FakePlayer::Playing)
            return;
        if (player.stop > r.Lesson()->info.duration) {
            player.state = FakePlayer::Stopped;
            r.FileEnded();
        } else {
            player.state = FakePlayer::Paused; // the library pauses itself at the range end
            r.SegmentEnded();
        }
    }
    void finishPause() {
        for (int i = 0; i < 100000 && clock.IsActive(TTimer::Pause); ++i)
            r.timer_pauseTimer();
    }
    Reading now() const { return {r.RangeStart(), r.RangeEnd(), r.Report().repeatLabel}; }
    std::vector<Reading> readAll(int maxReadings = 40) {
        std::vector<Reading> seen{now()};
        for (int i = 0; i < maxReadings; ++i) {
            readToEnd();
            finishPause();
            if (player.state != FakePlayer::Playing)
                break;
            seen.push_back(now());
        }
        return seen;
    }
    int32_t x(int32_t ms) const { return ms / 40 - r.View().ViewOffset(); }

    FakePlayer player;
    FakeClock clock;
    TRepeater r{player, clock, 609};
    std::vector<std::string> trace;
    std::vector<int32_t> finished, sentences;
};

TEST_F(RepeaterTest, EachSentenceIsReadAsOftenAsChosenThenTheNext) {
    load();
    r.SetRepeatIndex(3); // 3次
    r.SetPauseIndex(3);  // 1秒
    r.Play();
    EXPECT_EQ(r.Report().status, "开始播放");
    EXPECT_EQ(player.stop, 2100); // the reading runs on past the range end
    const std::vector<Reading> expected = {
        {0, 2000, "朗读遍数：1/3"},    {0, 2000, "朗读遍数：2/3"},    {0, 2000, "朗读遍数：3/3"},
        {2000, 4000, "朗读遍数：1/3"}, {2000, 4000, "朗读遍数：2/3"}, {2000, 4000, "朗读遍数：3/3"},
        {4000, 6000, "朗读遍数：1/3"}, {4000, 6000, "朗读遍数：2/3"}, {4000, 6000, "朗读遍数：3/3"},
    };
    EXPECT_EQ(readAll(), expected);
    EXPECT_EQ(r.Report().status, "文件播放结束");
    EXPECT_EQ(finished, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_TRUE(r.Report().lastReadingFinished);
    // The tail past each range never made the next sentence current early.
    std::vector<int32_t> changes;
    for (int32_t s : sentences)
        if (changes.empty() || changes.back() != s)
            changes.push_back(s);
    EXPECT_EQ(changes, (std::vector<int32_t>{0, 1, 2}));
    // The file has ended: the player is stopped, and so are its buttons.
    EXPECT_EQ(r.Report().playback, TPlayback::Stopped);
    EXPECT_FALSE(r.Report().enabled.stop);
    EXPECT_FALSE(r.Report().enabled.pause);
    r.Play(); // finished: play reads the stored range again
    EXPECT_EQ(now(), (Reading{4000, 6000, "朗读遍数：1/3"}));
}

TEST_F(RepeaterTest, EnabledStatesFollowThePlayer) {
    struct Step {
        const char *what;
        std::function<void()> act;
        TPlayback playback;
        TEnabled enabled; // open, play, stop, pause, prev, next, slider
    };
    const Step steps[] = {
        {"start", [] {}, TPlayback::Stopped, {true, true, false, false, false, false, false}},
        {"loaded", [&] { load(); }, TPlayback::Stopped, {true, true, false, false, false, false, true}},
        {"playing", [&] { r.Play(); }, TPlayback::Playing, {true, true, true, true, true, true, true}},
        {"paused", [&] { r.Pause(); }, TPlayback::Paused, {true, true, true, true, true, true, true}},
        {"resumed", [&] { r.Pause(); }, TPlayback::Playing, {true, true, true, true, true, true, true}},
        {"counting", [&] { r.SetRepeatIndex(2); readToEnd(); }, TPlayback::PauseCountdown,
         {true, true, true, true, true, true, true}},
        {"stopped", [&] { r.Stop(); }, TPlayback::Stopped, {true, true, false, false, true, true, true}},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        EXPECT_EQ(r.Report().playback, s.playback);
        EXPECT_EQ(r.Report().enabled, s.enabled);
    }
    EXPECT_EQ(r.Report().notice, "当前音频文件已停止播放");
    // Next and previous have nowhere to go in a lesson without sentences.
    load({0});
    EXPECT_FALSE(r.Report().enabled.next);
    EXPECT_FALSE(r.Report().enabled.prev);
}

TEST_F(RepeaterTest, PauseRulesDecideWhenTheNextReadingStarts) {
    load();
    r.SetRepeatIndex(2); // 2次

    r.SetPauseIndex(0); // 无: at once, said so
    r.Play();
    readToEnd();
    EXPECT_EQ(player.state, FakePlayer::Playing);
    EXPECT_EQ(r.Report().status, "定时自动播放");
    EXPECT_EQ(now(), (Reading{0, 2000, "朗读遍数：2/2"}));

    r.SetPauseIndex(1); // 暂停: waits for play
    readToEnd();
    EXPECT_NE(player.state, FakePlayer::Playing);
    EXPECT_FALSE(clock.IsActive(TTimer::Pause));
    EXPECT_EQ(r.Report().status, "暂停...按播放键朗读下一遍");
    r.Pause(); // starts nothing while waiting
    EXPECT_NE(player.state, FakePlayer::Playing);
    EXPECT_TRUE(r.Report().held);
    r.Play();
    EXPECT_EQ(now(), (Reading{2000, 4000, "朗读遍数：1/2"}));
    EXPECT_FALSE(r.Report().held);

    r.SetPauseIndex(16); // 句长-5秒 on a 2-s range: 1 ms
    readToEnd();
    EXPECT_TRUE(clock.IsActive(TTimer::Pause));
    EXPECT_FALSE(r.Report().held); // counting down, not held
    EXPECT_EQ(r.PauseLengthNow(), 1);
    // Pause during the countdown holds it; pause again plays the stored range.
    r.Pause();
    EXPECT_FALSE(clock.IsActive(TTimer::Pause));
    EXPECT_EQ(r.Report().pauseGaugeProgress, 0);
    EXPECT_NE(player.state, FakePlayer::Playing);
    EXPECT_TRUE(r.Report().held);
    r.Pause();
    EXPECT_EQ(now(), (Reading{2000, 4000, "朗读遍数：2/2"}));
    EXPECT_FALSE(r.Report().held);
    // And the next pause press pauses: the hold is spent.
    r.Pause();
    EXPECT_EQ(r.Report().status, "暂停...按播放键继续");
    r.Pause();
    EXPECT_EQ(r.Report().status, "恢复播放");
}

TEST_F(RepeaterTest, EachStateSaysWhatItIsAndWhatPlayWillDo) {
    load();
    r.SetRepeatIndex(2); // 2次
    r.SetPauseIndex(3);  // 1秒
    const struct {
        const char *what;
        std::function<void()> act;
        TPhase phase;
        const char *status, *label; // the counter shows the readings heard between two readings
        bool held;
    } steps[] = {
        {"loaded", [] {}, TPhase::Idle, "共3个句子", "朗读遍数：1/2", false},
        {"reading", [&] { r.Play(); }, TPhase::Reading, "开始播放", "朗读遍数：1/2", false},
        {"paused", [&] { r.Pause(); }, TPhase::Paused, "暂停...按播放键继续", "朗读遍数：1/2", false},
        {"resumed", [&] { r.Play(); }, TPhase::Reading, "恢复播放", "朗读遍数：1/2", false},
        {"counting down", [&] { readToEnd(); }, TPhase::Countdown, "停顿中...按播放键立即朗读", "朗读遍数：1/2", false},
        {"countdown held", [&] { r.Pause(); }, TPhase::Held, "停顿已暂停，按播放键朗读", "朗读遍数：1/2", true},
        {"second reading", [&] { r.Play(); }, TPhase::Reading, "开始播放", "朗读遍数：2/2", false},
        {"waiting for play", [&] { r.SetPauseIndex(PauseWait); readToEnd(); }, TPhase::HeldUntilPlay,
         "暂停...按播放键朗读下一遍", "朗读遍数：0/2", true},
        {"next sentence", [&] { r.Play(); }, TPhase::Reading, "开始播放", "朗读遍数：1/2", false},
        {"stopped", [&] { r.Stop(); }, TPhase::Idle, "结束播放", "朗读遍数：1/2", false},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        EXPECT_EQ(r.Report().phase, s.phase);
        EXPECT_EQ(r.Report().status, s.status);
        EXPECT_EQ(r.Report().repeatLabel, s.label);
        EXPECT_EQ(r.Report().held, s.held);
    }
    EXPECT_EQ(r.Report().sentence, 1);
    // The pause rule "暂停" after a reading that ran to the end of the file waits
    // for play with nothing left to stop or pause.
    r.SetRepeatIndex(2);
    r.PlaySentence(2);
    readToEnd();
    EXPECT_EQ(r.Report().phase, TPhase::HeldUntilPlay);
    EXPECT_FALSE(r.Report().enabled.stop);
    r.Stop();
    EXPECT_EQ(r.Report().status, "结束播放");
    EXPECT_EQ(r.Report().phase, TPhase::Idle);
}

TEST_F(RepeaterTest, ChangingThePauseRuleRestartsTheCountdown) {
    load();
    r.SetRepeatIndex(2);
    r.SetPauseIndex(5); // 5秒
    r.Play();
    readToEnd();
    for (int i = 0; i < 40; ++i)
        r.timer_pauseTimer();
    EXPECT_EQ(r.PauseElapsed(), 2000);
    EXPECT_NEAR(r.Report().pauseGaugeProgress, 2000, 100); // the gauge moves in steps of 2 %
    r.SetPauseIndex(3); // 1秒
    EXPECT_TRUE(clock.IsActive(TTimer::Pause));
    EXPECT_EQ(r.PauseElapsed(), 0);
    EXPECT_EQ(r.Report().pauseGaugeMax, 1000);
    for (int i = 0; i < 19; ++i)
        r.timer_pauseTimer();
    EXPECT_NE(player.state, FakePlayer::Playing);
    r.timer_pauseTimer();
    EXPECT_EQ(player.state, FakePlayer::Playing);
    EXPECT_EQ(r.Report().status, "定时自动播放");
}

TEST_F(RepeaterTest, NextWrapsPreviousStopsAndMovingResetsTheCount) {
    load();
    r.SetRepeatIndex(3);
    r.Play();
    readToEnd();
    finishPause();
    EXPECT_EQ(now(), (Reading{0, 2000, "朗读遍数：2/3"}));
    const std::pair<std::function<void()>, Reading> steps[] = {
        {[&] { r.Next(); }, {2000, 4000, "朗读遍数：1/3"}},
        {[&] { r.Next(); }, {4000, 6000, "朗读遍数：1/3"}},
        {[&] { r.Next(); }, {0, 2000, "朗读遍数：1/3"}}, // wraps to the first
        {[&] { r.Previous(); }, {0, 2000, "朗读遍数：1/3"}}, // at the first: nothing
        {[&] { r.PlaySentence(2); }, {4000, 6000, "朗读遍数：1/3"}},
        {[&] { r.Previous(); }, {2000, 4000, "朗读遍数：1/3"}},
    };
    for (const auto &[act, reading] : steps) {
        act();
        EXPECT_EQ(now(), reading);
        EXPECT_EQ(player.state, FakePlayer::Playing);
        EXPECT_EQ(r.Report().sentence, reading.start / 2000);
    }
    // Choosing a sentence makes it current and reads nothing.
    r.ChooseSentence(0);
    EXPECT_EQ(player.state, FakePlayer::Stopped);
    EXPECT_EQ(r.Report().sentence, 0);
    EXPECT_EQ(r.Report().highlightFirst, 0);
    EXPECT_EQ(r.Report().highlightLast, 50);
    r.Play();
    EXPECT_EQ(now(), (Reading{0, 2000, "朗读遍数：1/3"}));
}

TEST_F(RepeaterTest, ModeSwitchesPlayToTheEndForever) {
    r.SetMode(TMode::OneKey); // without a file the mode stays
    EXPECT_EQ(r.Report().mode, TMode::Marked);
    load();
    r.Next(); // the second sentence highlighted and playing
    for (int i = 0; i < 7; ++i) {
        player.pos += 80;
        r.Timer_playTimer();
    }
    const int32_t playColumn = r.View().PlayColumn();
    ASSERT_GT(playColumn, r.View().SelStart());
    r.SetMode(TMode::OneKey);
    EXPECT_EQ(r.Report().mode, TMode::OneKey);
    EXPECT_EQ(r.Report().repeatIndex, 0); // 永远
    EXPECT_EQ(now(), (Reading{playColumn * 40, 6000, "朗读遍数：1/永远"}));

    // Outside marked mode a range must be longer than 400 ms.
    r.SetMode(TMode::LeftRight);
    r.MouseDown(Qt::LeftButton, false, 0);
    r.MouseUp(Qt::LeftButton, false, 0);
    const struct {
        int32_t endColumn;
        bool plays;
    } ends[] = {{10, false}, {11, true}};
    for (const auto &c : ends) {
        r.MouseDown(Qt::RightButton, false, c.endColumn);
        r.MouseUp(Qt::RightButton, false, c.endColumn);
        EXPECT_EQ(player.state == FakePlayer::Playing, c.plays) << c.endColumn;
        if (!c.plays) {
            EXPECT_EQ(r.Report().notice, "断点间隔太短，不能播放。");
        }
    }
    // In marked mode only an empty range is refused.
    r.SetMode(TMode::Marked);
    load({0, 40, 40, 6000});
    for (auto [sentence, plays] : {std::pair{0, true}, {1, false}}) {
        r.ChooseSentence(sentence);
        r.Play();
        EXPECT_EQ(player.state == FakePlayer::Playing, plays) << sentence;
    }
}

TEST_F(RepeaterTest, AModeSwitchCancelsTheCountdownAndFindsASentenceAfterTheEnd) {
    load();
    r.SetRepeatIndex(2);
    r.SetPauseIndex(5); // 5秒
    r.Play();
    readToEnd();
    ASSERT_TRUE(clock.IsActive(TTimer::Pause));
    r.SetMode(TMode::LeftRight);
    EXPECT_FALSE(clock.IsActive(TTimer::Pause));
    EXPECT_EQ(r.Report().playback, TPlayback::Playing);

    // The file ends in left/right mode; back in marked mode the last sentence plays.
    r.SetRepeatIndex(1);
    while (player.state == FakePlayer::Playing)
        readToEnd(), finishPause();
    EXPECT_EQ(r.Report().status, "文件播放结束");
    r.SetMode(TMode::Marked);
    EXPECT_EQ(now(), (Reading{4000, 6000, "朗读遍数：1/1"}));
    EXPECT_EQ(r.Report().sentence, 2);
    EXPECT_EQ(player.state, FakePlayer::Playing);
}

TEST_F(RepeaterTest, CtrlClicksAddAndDeleteBreakpointsWithinTolerance) {
    load();
    const struct {
        Qt::MouseButton button;
        int32_t ms;
        std::vector<int32_t> after;
        const char *notice;
    } cases[] = {
        {Qt::LeftButton, 3000, {0, 2000, 3000, 4000, 6000}, "在[3.00]处已成功添加了断点"},
        {Qt::LeftButton, 3160, {0, 2000, 3000, 4000, 6000}, "在误差允许范围内，无断点可供处理"},
        {Qt::LeftButton, 2840, {0, 2000, 3000, 4000, 6000}, "在误差允许范围内，无断点可供处理"}, // before one
        {Qt::LeftButton, 2800, {0, 2000, 2800, 3000, 4000, 6000}, "在[2.80]处已成功添加了断点"},
        {Qt::RightButton, 2840, {0, 2000, 3000, 4000, 6000}, "已成功删除了[2.84]处的断点"},
        {Qt::RightButton, 2080, {0, 3000, 4000, 6000}, "已成功删除了[2.08]处的断点"},
        {Qt::RightButton, 40, {0, 3000, 4000, 6000}, "在误差允许范围内，无断点可供处理"},
        {Qt::RightButton, 5960, {0, 3000, 4000, 6000}, "在误差允许范围内，无断点可供处理"},
        {Qt::MiddleButton, 3000, {0, 3000, 4000, 6000}, "在误差允许范围内，无断点可供处理"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.notice);
        // Ctrl let go before the button: the edit still plays nothing.
        r.MouseDown(c.button, true, x(c.ms));
        r.MouseUp(c.button, false, x(c.ms));
        std::vector<int32_t> times;
        for (int i = 0; i < r.Lesson()->segments->Count(); ++i)
            times.push_back(r.Lesson()->segments->Items(i).TimeMs);
        EXPECT_EQ(times, c.after);
        EXPECT_EQ(r.Report().notice, c.notice);
        EXPECT_EQ(r.Report().sentenceCount, int(c.after.size()) - 1);
        EXPECT_EQ(player.state, FakePlayer::Stopped);
    }
    EXPECT_EQ(r.Report().status, "共3个句子");
    EXPECT_EQ(*std::find_if(trace.rbegin(), trace.rend(), [](auto &t) { return t.rfind("break", 0) == 0; }),
              "break 0 3000 4000 6000");
    // The joined sentence 0..3000 is highlighted and current after the delete.
    EXPECT_EQ(r.View().SelStartMs(), 0);
    EXPECT_EQ(r.View().SelEndMs(), 3000);
}

TEST_F(RepeaterTest, TheMouseChoosesWhatToPlayInEachMode) {
    load({0, 2000, 2120, 4000, 6000});
    const struct {
        TMode mode;
        Qt::MouseButton button;
        int32_t fromMs, toMs; // press and release
        int32_t start, end;
    } cases[] = {
        {TMode::Marked, Qt::LeftButton, 1000, 1000, 0, 2000},
        {TMode::Marked, Qt::LeftButton, 2040, 2040, 2120, 4000}, // under 200 ms: the next sentence
        {TMode::OneKey, Qt::LeftButton, 1000, 3000, 960, 3040},  // a drag from a column before it
        {TMode::OneKey, Qt::LeftButton, 1000, 1000, 960, 6000},  // a click: on to the end
        {TMode::LeftRight, Qt::LeftButton, 400, 400, 400, 6000},    // the start; the end stays
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fromMs);
        r.SetMode(c.mode);
        r.Stop();
        r.MouseDown(c.button, false, x(c.fromMs));
        r.MouseMove(true, false, x(c.toMs));
        r.MouseUp(c.button, false, x(c.toMs));
        EXPECT_EQ(TPair(r.RangeStart(), r.RangeEnd()), TPair(c.start, c.end));
        EXPECT_EQ(player.state, FakePlayer::Playing);
    }
    r.MouseDown(Qt::RightButton, false, x(5000)); // the end of the left/right stretch
    r.MouseUp(Qt::RightButton, false, x(5000));
    EXPECT_EQ(TPair(r.RangeStart(), r.RangeEnd()), TPair(400, 5000));

    // One-key: right of the play line pauses and resumes, left of it replays up to it.
    r.SetMode(TMode::OneKey);
    for (int i = 0; i < 10; ++i) {
        player.pos += 80;
        r.Timer_playTimer();
    }
    const int32_t line = r.View().PlayColumn();
    r.MouseDown(Qt::RightButton, false, line + 20);
    r.MouseUp(Qt::RightButton, false, line + 20);
    EXPECT_EQ(player.state, FakePlayer::Paused);
    r.MouseDown(Qt::RightButton, false, line + 20);
    r.MouseUp(Qt::RightButton, false, line + 20);
    EXPECT_EQ(player.state, FakePlayer::Playing);
    r.MouseDown(Qt::RightButton, false, line - 10);
    r.MouseUp(Qt::RightButton, false, line - 10);
    EXPECT_EQ(TPair(r.RangeStart(), r.RangeEnd()), TPair((line - 10) * 40, line * 40));
    // A press beyond the end of the audio does nothing, nor does its release.
    r.Stop();
    r.MouseDown(Qt::LeftButton, false, 6000 / 40);
    r.MouseUp(Qt::LeftButton, false, 6000 / 40);
    EXPECT_EQ(player.state, FakePlayer::Stopped);
}

TEST_F(RepeaterTest, DraggingTheProgressSliderChoosesWhatPlayNext) {
    load({0, 8500, 17000, 25500}, 25500);
    r.SliderTrack(8500);
    EXPECT_EQ(r.View().ViewOffset(), 8500 / 40);
    EXPECT_EQ(r.Report().timeLabel, "8.50 / 25.50");
    // Marked: the sentence in the middle of the view (20.64 s).
    EXPECT_EQ(r.Report().sentence, 2);
    EXPECT_EQ(TPair(r.RangeStart(), r.RangeEnd()), TPair(17000, 25480));
    EXPECT_EQ(player.state, FakePlayer::Stopped);
    r.SliderTrack(25000); // past the last breakpoint in the middle: the last sentence
    EXPECT_EQ(r.Report().sentence, 2);

    r.SetMode(TMode::LeftRight);
    r.Stop();
    r.SliderTrack(9030);
    // Other modes: from the view's left edge, a whole column, to the end.
    EXPECT_EQ(TPair(r.RangeStart(), r.RangeEnd()), TPair(9000, 25480));
    EXPECT_EQ(TPair(r.Report().highlightFirst, r.Report().highlightLast), TPair(0, 0));
    EXPECT_TRUE(r.UseStoredRange());
}

TEST_F(RepeaterTest, TheSpeedSliderRetunesAndSaysSo) {
    r.SetSpeed(20); // no file: nothing changes
    EXPECT_EQ(r.Report().speedHint, "变速器--正常速度播放");
    load();
    const struct {
        int position;
        const char *hint, *notice;
    } cases[] = {
        {20, "变速器--120%速度播放", "播放速率调整：120%"},
        {-40, "变速器--60%速度播放", "播放速率调整：60%"},
        {0, "变速器--正常速度播放", "播放速率调整：100%"},
    };
    for (const auto &c : cases) {
        r.SetSpeed(c.position);
        EXPECT_EQ(player.tempo, c.position);
        EXPECT_EQ(r.Report().speedHint, c.hint);
        EXPECT_EQ(r.Report().notice, c.notice);
    }
    r.SpeedTrackEnd();
    EXPECT_EQ(r.Report().notice, " 时长:6.00 声道:1 采样率:44100 文件:one.wav");
}

TEST_F(RepeaterTest, ALadderTunesEachReadingToItsStepOverTheSameRange) {
    load();
    r.SetSpeed(10);
    r.SetRepeatIndex(4); // 5次
    r.SetPauseIndex(0);  // 无
    r.SetLadder({-30, -15, 0});
    EXPECT_EQ(r.Report().readingSpeed, -30); // the slider shows the first step before play
    EXPECT_EQ(r.Report().notice, "逐遍变速：70%→85%→100%");
    std::vector<int> shown;
    r.Play();
    for (int i = 0; i < 6; ++i) {
        shown.push_back(r.Report().readingSpeed);
        readToEnd();
    }
    // Reading k at step min(k, 3); the next sentence starts again at the first.
    EXPECT_EQ(player.readTempos, (std::vector<int>{-30, -15, 0, 0, 0, -30, -15}));
    EXPECT_EQ(shown, (std::vector<int>{-30, -15, 0, 0, 0, -30}));
    EXPECT_EQ(r.Report().speedHint, "变速器--85%速度播放");
    EXPECT_EQ(now(), (Reading{2000, 4000, "朗读遍数：2/5"})); // every step reads the whole sentence
    EXPECT_EQ(r.Report().speed, 10);                          // the plain speed is kept apart
    EXPECT_EQ(r.Report().ladder, (std::vector<int>{-30, -15, 0}));
    // Choosing the plain speed on the slider ends the ladder; so does choosing none.
    r.SetSpeed(-10);
    EXPECT_TRUE(r.Report().ladder.empty());
    EXPECT_EQ(r.Report().readingSpeed, -10);
    r.SetLadder({0, -20, -40});
    EXPECT_EQ(player.tempo, -20); // the reading in progress (the second) takes its step at once
    r.SetLadder({});
    EXPECT_EQ(player.tempo, -10);
    EXPECT_EQ(r.Report().notice, "逐遍变速已关闭");
}

TEST_F(RepeaterTest, KeptBreakpointsLeaveAReadingUnderWayGoing) {
    struct Case {
        bool playing;
        std::vector<std::pair<int32_t, std::string>> points;
        int32_t sentence, rangeStart, rangeEnd;
        FakePlayer::TState state;
    } cases[] = {
        // Reading the second sentence (2000..4000): it is the second of the new list too.
        {true, {{0, ""}, {1000, ""}, {2000, ""}, {3000, ""}, {6000, ""}}, 2, 2000, 3000, FakePlayer::Playing},
        // Its start now lies inside a longer sentence: that one is current.
        {true, {{0, ""}, {1600, ""}, {6000, ""}}, 1, 1600, 6000, FakePlayer::Playing},
        // Nothing under way: the first sentence, stopped.
        {false, {{0, ""}, {1000, ""}, {6000, ""}}, 0, 0, 1000, FakePlayer::Stopped},
    };
    for (const Case &c : cases) {
        load();
        r.SetRepeatIndex(3);
        if (c.playing) {
            r.PlaySentence(1);
            player.pos = 2500;
        }
        ASSERT_TRUE(r.ReplaceBreakpoints(c.points));
        EXPECT_EQ(player.state, c.state) << c.sentence;
        EXPECT_EQ(r.Report().sentence, c.sentence);
        if (c.playing)
            readToEnd(); // the next reading reads the sentence as it now stands
        EXPECT_EQ(std::make_pair(r.RangeStart(), r.RangeEnd()), std::make_pair(c.rangeStart, c.rangeEnd));
    }
}

TEST_F(RepeaterTest, AFailedLoadLeavesTheLessonAsItWas) {
    load();
    r.Play();
    r.Next();
    const TReport before = r.Report();
    const struct {
        const char *what;
        bool loaderFails;
        int opens; // the new file, and the old one again
    } cases[] = {{"undecodable", true, 0}, {"unopenable by the player", false, 2}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        player.unopenable = {"/lessons/bad.mp3"};
        auto starter = [&](const std::string &path) {
            return std::make_unique<WholeSource>([&, path] {
                if (c.loaderFails)
                    throw audio::EAudioError("不能打开文件" + path);
                return lessonOf(path, {0, 1000}, 1000);
            });
        };
        const int opensBefore = player.opens;
        EXPECT_THROW(r.OpenAudioFile("/lessons/bad.mp3", starter), audio::EAudioError);
        EXPECT_EQ(player.opens - opensBefore, c.opens);
        const TReport after = r.Report();
        EXPECT_EQ(r.Lesson()->fileName, "/lessons/one.wav");
        EXPECT_EQ(player.file, "/lessons/one.wav");
        EXPECT_EQ(after.sentenceCount, 3);
        EXPECT_EQ(after.sentence, before.sentence);
        EXPECT_EQ(TPair(after.highlightFirst, after.highlightLast), TPair(before.highlightFirst, before.highlightLast));
        EXPECT_EQ(after.waveGeneration, before.waveGeneration);
        EXPECT_EQ(after.status, "结束播放");
        EXPECT_EQ(after.notice, before.notice);
        EXPECT_FALSE(after.busy);
        EXPECT_TRUE(after.enabled.next);
    }
    r.Next();
    EXPECT_EQ(now(), (Reading{4000, 6000, "朗读遍数：1/1"}));
}

TEST_F(RepeaterTest, ALoadPreparesTheFirstSentenceOrTheWholeFile) {
    const struct {
        TMode mode;
        std::vector<int32_t> breakpoints;
        int32_t start, end, highlightLast;
    } cases[] = {
        {TMode::Marked, {0, 2000, 6000}, 0, 2000, 50},
        {TMode::OneKey, {0, 2000, 6000}, 0, 6000, 0}, // the whole file, nothing highlighted
        {TMode::Marked, {0}, 0, 6000, 150},           // no sentence: the whole file
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(n);
        load();
        r.SetMode(c.mode);
        load(c.breakpoints, 6000, "/lessons/l" + std::to_string(n++) + ".wav");
        EXPECT_EQ(TPair(r.RangeStart(), r.RangeEnd()), TPair(c.start, c.end));
        EXPECT_EQ(r.Report().highlightLast, c.highlightLast);
        EXPECT_EQ(r.Report().timeLabel, "00:00 / 6.00");
        EXPECT_EQ(r.Report().status, SentenceCountText(int32_t(c.breakpoints.size()) - 1));
        EXPECT_EQ(r.ReadCount(), 1);
    }
    EXPECT_EQ(trace.back(), "break 0");
}

// A load whose breakpoints the test hands out: Begin gives the first two, each
// Poll appends what `more` holds, and the load ends when `finish` is set.
struct FakeGrowth {
    std::vector<int32_t> more;
    bool finish = false, destroyed = false, fail = false;
    std::vector<int32_t> replaceWith; // at the end, as the noise floor does
};

class FakeSource : public ILessonSource {
public:
    explicit FakeSource(FakeGrowth &g) : g_(g) {}
    ~FakeSource() override { g_.destroyed = true; }
    TLesson Begin() override { return lessonOf("/lessons/long.mp3", {0, 2000}, 60000); }
    TGrowth Poll(TLesson &lesson) override {
        if (g_.fail)
            throw audio::EAudioError("解码失败");
        TGrowth out;
        for (int32_t t : g_.more)
            lesson.segments->Add({t, "", ""});
        out.breakpoints = !g_.more.empty();
        g_.more.clear();
        if (g_.finish && !g_.replaceWith.empty()) {
            lesson.segments->Clear();
            for (int32_t t : g_.replaceWith)
                lesson.segments->Add({t, "", ""});
            out.replaced = true;
        }
        out.finished = g_.finish;
        return out;
    }
    int32_t Percent() const override { return 50; }
    int32_t KnownSentences(const TLesson &lesson) const override { return lesson.SentenceCount(); }

private:
    FakeGrowth &g_;
};

TEST_F(RepeaterTest, WhileALoadGrowsNextAndTheAdvanceWaitForTheSentenceTheyGoTo) {
    FakeGrowth g;
    r.OpenAudioFile("/lessons/long.mp3", [&](const std::string &) { return std::make_unique<FakeSource>(g); });
    ASSERT_TRUE(r.Report().loading);
    EXPECT_TRUE(clock.IsActive(TTimer::Load));
    EXPECT_EQ(r.Report().sentenceCount, 1);

    // Next past the one known sentence waits, then reads it once it is found.
    r.Play();
    EXPECT_EQ(TPair(r.RangeStart(), r.RangeEnd()), TPair(0, 2000));
    r.Next();
    EXPECT_TRUE(r.Report().waiting);
    EXPECT_EQ(r.Report().status, "正在查找下一句...");
    EXPECT_EQ(player.state, FakePlayer::Stopped);
    r.Timer_loadTimer();
    EXPECT_TRUE(r.Report().waiting); // nothing new yet
    g.more = {4400};
    r.Timer_loadTimer();
    EXPECT_FALSE(r.Report().waiting);
    EXPECT_EQ(player.state, FakePlayer::Playing);
    EXPECT_EQ(TPair(r.RangeStart(), r.RangeEnd()), TPair(2000, 4400));
    EXPECT_EQ(r.Report().sentence, 1);

    // The advance after the last reading of the last known sentence waits too,
    // and comes with its pause once the sentence is there.
    r.SetRepeatIndex(DefaultRepeatIndex); // one reading each
    r.SetPauseIndex(PauseNone);
    readToEnd();
    EXPECT_TRUE(r.Report().waiting);
    g.more = {7000};
    r.Timer_loadTimer();
    EXPECT_EQ(TPair(r.RangeStart(), r.RangeEnd()), TPair(4400, 7000));
    EXPECT_EQ(player.state, FakePlayer::Playing);

    // The end replaces the list; the current sentence is kept by its time.
    g.replaceWith = {0, 1000, 2000, 4400, 7000, 60000};
    g.finish = true;
    r.Timer_loadTimer();
    EXPECT_FALSE(r.Report().loading);
    EXPECT_FALSE(clock.IsActive(TTimer::Load));
    EXPECT_EQ(r.Report().sentence, 3);
    EXPECT_EQ(r.Report().sentenceCount, 5);
    EXPECT_EQ(trace.back(), "break 0 1000 2000 4400 7000 60000");
}

TEST_F(RepeaterTest, APlaceChosenDuringALoadIsReadOnceFoundNeverAnother) {
    FakeGrowth g;
    r.OpenAudioFile("/lessons/long.mp3", [&](const std::string &) { return std::make_unique<FakeSource>(g); });
    // The slider puts 42.16 s in the middle of the view; only 0..2 s is known.
    r.SliderTrack(30000);
    const int32_t place = 30000 + 609 / 2 * 40;
    EXPECT_EQ(r.Report().phase, TPhase::Idle);
    EXPECT_EQ(r.Report().sliderPosition, 30000);
    r.Play();
    EXPECT_EQ(r.Report().phase, TPhase::Waiting);
    EXPECT_EQ(r.Report().status, "正在查找所选位置的句子...");
    EXPECT_EQ(player.state, FakePlayer::Stopped);
    g.more = {4400, 40000}; // the place lies past the last breakpoint found
    r.Timer_loadTimer();
    EXPECT_EQ(player.state, FakePlayer::Stopped);
    g.more = {45000};
    r.Timer_loadTimer();
    EXPECT_EQ(player.state, FakePlayer::Playing);
    EXPECT_EQ(TPair(r.RangeStart(), r.RangeEnd()), TPair(40000, 45000));
    EXPECT_LE(r.RangeStart(), place);
    EXPECT_EQ(r.Report().sentence, 3);
    EXPECT_EQ(r.Report().sliderPosition, 40000);

    // Chosen without play, by the slider or a click on the strip: once found its
    // sentence is the one play reads.
    r.SliderTrack(40000);
    g.more = {48000, 53000};
    r.Timer_loadTimer();
    EXPECT_EQ(r.Report().sentence, 5); // 48..53 s holds the middle, 52.16 s
    EXPECT_EQ(player.state, FakePlayer::Stopped);
    r.Play();
    EXPECT_EQ(TPair(r.RangeStart(), r.RangeEnd()), TPair(48000, 53000));
    r.MouseDown(Qt::LeftButton, false, x(55000));
    r.MouseUp(Qt::LeftButton, false, x(55000));
    EXPECT_EQ(r.Report().status, "正在查找所选位置的句子...");
    g.more = {60000};
    g.finish = true;
    r.Timer_loadTimer();
    EXPECT_EQ(TPair(r.RangeStart(), r.RangeEnd()), TPair(53000, 60000));
    EXPECT_EQ(player.state, FakePlayer::Playing);
}

TEST_F(RepeaterTest, AnotherFileACancelOrAFailureEndsTheLoad) {
    FakeGrowth first, second;
    r.OpenAudioFile("/lessons/long.mp3", [&](const std::string &) { return std::make_unique<FakeSource>(first); });
    r.Next(); // a wait of the first load ends with it
    r.OpenAudioFile("/lessons/long.mp3", [&](const std::string &) { return std::make_unique<FakeSource>(second); });
    EXPECT_TRUE(first.destroyed);
    EXPECT_FALSE(second.destroyed);
    EXPECT_FALSE(r.Report().waiting);
    first.more = {9000};
    r.Timer_loadTimer();
    EXPECT_EQ(r.Report().sentenceCount, 1);
    r.CancelLoad();
    EXPECT_TRUE(second.destroyed);
    EXPECT_FALSE(r.Report().loading);
    EXPECT_FALSE(clock.IsActive(TTimer::Load));

    // A sampling that fails midway keeps what it found, ends the list at the
    // sampled end, says why, and ends the load.
    FakeGrowth failing;
    r.OpenAudioFile("/lessons/long.mp3", [&](const std::string &) { return std::make_unique<FakeSource>(failing); });
    failing.more = {4000};
    r.Timer_loadTimer();
    failing.fail = true;
    r.Timer_loadTimer();
    EXPECT_TRUE(failing.destroyed);
    EXPECT_EQ(r.Report().notice, "采样中断：解码失败");
    EXPECT_EQ(r.Report().sentenceCount, 3); // 0, 2000, 4000 and the end of the samples
    EXPECT_EQ(trace.back(), "break 0 2000 4000 60000");
    EXPECT_FALSE(r.Report().loading);
    EXPECT_FALSE(clock.IsActive(TTimer::Load));
}

} // namespace
} // namespace vorel::repeater

namespace vorel::repeater {
namespace {

// Records what the repeater asks of the microphone and the takes.
class FakeTakes : public ITakes {
public:
    TRepeater *r = nullptr;
    std::vector<std::string> calls;
    bool finishKeeps = false, hasTake = true;
    void Arm() override { calls.push_back("arm"); }
    void StartTake(int32_t startMs, int32_t endMs) override {
        calls.push_back("take " + std::to_string(startMs) + ".." + std::to_string(endMs));
    }
    void FinishTake() override {
        calls.push_back("finish");
        r->TakeEnded(finishKeeps);
    }
    bool PlayTake() override {
        calls.push_back("play");
        return hasTake;
    }
    void Cancel() override { calls.push_back("cancel"); }
};

class ShadowingTest : public RepeaterTest {
protected:
    void SetUp() override {
        RepeaterTest::SetUp();
        takes.r = &r;
        load();
        r.SetRepeatIndex(2); // 2次
        r.SetPauseIndex(3);  // 1秒
        r.SetShadowing(&takes);
    }
    FakeTakes takes;
};

TEST(ShadowingRules, TheTimeToSpeakIsThePauseButAtLeastOneAndAHalfReadings) {
    const struct {
        int pauseIndex;
        int32_t length, want;
    } cases[] = {
        {0, 2000, 3000},   // 无: the reading's length and a half
        {1, 1000, 1500},   // 暂停 gives no time of its own
        {3, 2000, 3000},   // 1秒 is shorter than 1.5 readings
        {6, 2000, 10000},  // 10秒 is longer
        {3, 1001, 1502},   // rounded up, never a millisecond short
        {0, Forever, Forever},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SpeakingTime(c.pauseIndex, c.length), c.want) << c.pauseIndex << " " << c.length;
}

// Read, speak, hear the sentence and the take, read again: the pause was spent speaking.
TEST_F(ShadowingTest, AfterEachReadingTheLearnerSpeaksThenHearsSentenceAndTake) {
    r.Play();
    readToEnd();
    EXPECT_EQ(r.Phase(), TPhase::Speaking);
    EXPECT_EQ(r.Report().status, "请跟读...按播放键跳过");
    EXPECT_EQ(r.Report().pauseGaugeMax, 3000);
    EXPECT_EQ(takes.calls, (std::vector<std::string>{"arm", "take 0..2000"}));
    r.TakeEnded(true); // the learner spoke and fell silent
    EXPECT_EQ(r.Phase(), TPhase::ReplayingSentence);
    EXPECT_EQ(player.state, FakePlayer::Playing);
    EXPECT_EQ(player.stop, 2100);
    readToEnd();
    EXPECT_EQ(r.Phase(), TPhase::ReplayingTake);
    EXPECT_EQ(r.Report().repeatLabel, "朗读遍数：1/2"); // the replay is no reading
    r.TakePlayed();
    EXPECT_EQ(now(), (Reading{0, 2000, "朗读遍数：2/2"}));
    EXPECT_EQ(r.Phase(), TPhase::Reading);
    // Time runs out with nothing said: no replay, the next sentence at once.
    readToEnd();
    int ticks = 0;
    for (; r.Phase() == TPhase::Speaking && ticks < 1000; ++ticks)
        r.timer_pauseTimer();
    EXPECT_EQ(ticks, 3000 / TimerIntervalMs(TTimer::Pause));
    EXPECT_EQ(now(), (Reading{2000, 4000, "朗读遍数：1/2"}));
    EXPECT_EQ(finished, (std::vector<int32_t>{0}));
    EXPECT_EQ(takes.calls.back(), "arm");
}

TEST_F(ShadowingTest, TheLearnersReplayChoiceAndTheButtonsDuringTheStep) {
    const struct {
        const char *what;
        TReplay replay;
        std::function<void()> act;
        TPhase phase;
        bool playing;       // the player reads (the next reading or the replay)
        const char *last;   // the last call to the takes
    } cases[] = {
        {"take only", TReplay::TakeOnly, [&] { r.TakeEnded(true); }, TPhase::ReplayingTake, false, "play"},
        {"nothing", TReplay::Nothing, [&] { r.TakeEnded(true); }, TPhase::Reading, true, "take 0..2000"},
        {"no take kept", TReplay::SentenceThenTake, [&] { takes.hasTake = false; r.TakeEnded(true); readToEnd(); },
         TPhase::Reading, true, "play"},
        {"play skips speaking", TReplay::SentenceThenTake, [&] { r.Play(); }, TPhase::Reading, true, "cancel"},
        {"play skips the replay", TReplay::SentenceThenTake, [&] { r.TakeEnded(true); r.Play(); }, TPhase::Reading,
         true, "cancel"},
        {"pause holds", TReplay::SentenceThenTake, [&] { r.Pause(); }, TPhase::Held, false, "cancel"},
        {"pause holds the replay", TReplay::SentenceThenTake, [&] { r.TakeEnded(true); r.Pause(); }, TPhase::Held,
         false, "cancel"},
        {"stop", TReplay::SentenceThenTake, [&] { r.Stop(); }, TPhase::Idle, false, "cancel"},
        {"switched off", TReplay::SentenceThenTake, [&] { r.SetShadowing(nullptr); }, TPhase::Countdown, false,
         "cancel"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        r.SetShadowing(&takes);
        takes.hasTake = true;
        r.ChooseSentence(0);
        r.SetReplay(c.replay);
        r.Play();
        readToEnd();
        ASSERT_EQ(r.Phase(), TPhase::Speaking);
        c.act();
        EXPECT_EQ(r.Phase(), c.phase);
        EXPECT_EQ(player.state == FakePlayer::Playing, c.playing);
        // Only a take that went on may play: the last call says what the step did.
        const std::vector<std::string> &calls = takes.calls;
        EXPECT_EQ(std::string(calls.back() == "arm" ? calls[calls.size() - 2] : calls.back()), c.last);
        if (c.phase == TPhase::Reading)
            EXPECT_EQ(now(), (Reading{0, 2000, "朗读遍数：2/2"})); // the reading after the one spoken to
        if (c.phase == TPhase::Held) {
            r.Play();
            EXPECT_EQ(now(), (Reading{0, 2000, "朗读遍数：2/2"}));
        }
        r.Stop();
    }
}

} // namespace
} // namespace vorel::repeater
