// The desktop's media control as a learner's media keys use it: playerctl on a
// private session bus drives the real window, and what the window did is read
// from its trace; what the desktop was told is read with dbus-monitor.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <unistd.h>

#include "e2esupport.h"
#include "sessionbus.h"

using namespace vorel::test;

namespace {

// Three sentences of three seconds, stamped at 0, 3 and 6 s; the second has no
// text. Long enough for a command to land in the reading it is meant for, also
// on a busy machine.
std::string makeLesson(const TempDir &dir) {
    constexpr int Rate = 22050;
    std::vector<int16_t> pcm(9 * Rate);
    for (size_t i = 0; i < pcm.size(); ++i) {
        const double t = double(i) / Rate, inSentence = std::fmod(t, 3.0);
        pcm[i] = inSentence > 0.3 && inSentence < 2.7 ? int16_t(8000 * std::sin(2 * M_PI * 500 * t)) : 0;
    }
    const std::string path = dir.file("lesson.wav");
    writeWav16(path, pcm, Rate, 1);
    writeText(dir.file("lesson.lrc"), "[00:00.00]one\n[00:03.00]\n[00:06.00]three\n");
    return path;
}

std::string readText(const std::string &path) {
    const std::vector<uint8_t> bytes = readFile(path);
    return {bytes.begin(), bytes.end()};
}

// The values a property was given in the PropertiesChanged signals of a
// dbus-monitor log, in order: Playing, false, ...
std::vector<std::string> announced(const std::string &log, const std::string &property) {
    std::vector<std::string> values;
    std::istringstream lines(log);
    bool next = false;
    for (std::string line; std::getline(lines, line);) {
        if (next) {
            const size_t quote = line.find('"'), boolean = line.find("boolean ");
            if (quote != std::string::npos)
                values.push_back(line.substr(quote + 1, line.rfind('"') - quote - 1));
            else if (boolean != std::string::npos)
                values.push_back(line.substr(boolean + 8));
        }
        next = line.find("string \"" + property + "\"") != std::string::npos;
    }
    return values;
}

bool endsWith(const std::vector<std::string> &all, const std::vector<std::string> &tail) {
    return all.size() >= tail.size() && std::equal(tail.begin(), tail.end(), all.end() - tail.size());
}

std::string joined(const std::vector<std::string> &v) {
    std::string s;
    for (const auto &x : v)
        s += x + " ";
    return s;
}

// playerctl on the private bus: its output without the trailing blanks.
std::string playerctl(const TXSession &x, const TSessionBus &bus, const std::string &args) {
    std::string out;
    x.run("DBUS_SESSION_BUS_ADDRESS=" + shellQuote(bus.address()) + " playerctl -p vorel " + args + " 2>&1", &out);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

// Whether playerctl's answer to args comes to value within 5 s (the window
// announces a change once the event in hand is handled).
bool comesTo(const TXSession &x, const TSessionBus &bus, const std::string &args, const std::string &value) {
    for (int waited = 0; waited < 5000; waited += 50) {
        if (playerctl(x, bus, args) == value)
            return true;
        usleep(50000);
    }
    ADD_FAILURE() << args << ": " << playerctl(x, bus, args) << " instead of " << value;
    return false;
}

} // namespace

TEST(MediaControl, PlayerctlDrivesTheWindowAndTheDesktopFollowsIt) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    TSessionBus bus(dir.path());
    ASSERT_TRUE(bus.ok());
    const std::string lesson = makeLesson(dir);
    const std::map<std::string, std::string> onBus{{"DBUS_SESSION_BUS_ADDRESS", bus.address()}};
    TVorelRun run(x, dir, shellQuote(lesson), false, onBus);
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    ASSERT_TRUE(run.waitFor("load", "lesson.wav", 10000));

    auto ctl = [&](const std::string &args) { return playerctl(x, bus, args); };
    auto becomes = [&](const std::string &args, const std::string &value) { return comesTo(x, bus, args, value); };
    ASSERT_TRUE(becomes("status", "Stopped"));

    const std::string signalsLog = dir.file("signals");
    TChild monitor("dbus-monitor --address " + shellQuote(bus.address()) + " " +
                       shellQuote("type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged'") +
                       " > " + shellQuote(signalsLog),
                   {});
    for (int waited = 0; waited < 5000 && readText(signalsLog).find("NameLost") == std::string::npos; waited += 20)
        usleep(20000); // it says NameLost once it is a monitor
    ASSERT_NE(readText(signalsLog).find("NameLost"), std::string::npos);

    // What the desktop shows: the file and the sentence, by its text or its number.
    EXPECT_EQ(ctl("metadata xesam:title"), "lesson.wav");
    EXPECT_EQ(ctl("metadata xesam:artist"), "one");
    EXPECT_EQ(ctl("metadata mpris:length"), "9000000");

    // Each command acts as its button: the trace shows the readings and states.
    ctl("play");
    ASSERT_TRUE(run.waitFor("read", "0 3000 1", 5000));
    EXPECT_TRUE(becomes("status", "Playing"));
    ctl("next");
    ASSERT_TRUE(run.waitFor("read", "3000 6000 1", 5000));
    EXPECT_TRUE(becomes("metadata xesam:artist", "第2/3句"));
    ctl("previous");
    ASSERT_TRUE(run.waitFor("read", "0 3000 1", 5000, 1));
    ctl("pause");
    ASSERT_TRUE(run.waitFor("status", "暂停...按播放键继续", 5000));
    EXPECT_TRUE(becomes("status", "Paused"));
    EXPECT_TRUE(becomes("metadata xesam:artist", "one"));
    ctl("play-pause");
    ASSERT_TRUE(run.waitFor("status", "恢复播放", 5000));
    EXPECT_TRUE(becomes("status", "Playing"));
    ctl("stop");
    ASSERT_TRUE(run.waitFor("notice", "当前音频文件已停止播放", 5000));
    EXPECT_TRUE(becomes("status", "Stopped"));

    // To the end: the second sentence, its pause of a fifth of its length, the
    // third, the end of the file.
    ctl("next");
    ASSERT_TRUE(run.waitFor("read", "3000 6000 1", 5000, 1));
    ASSERT_TRUE(run.waitFor("read", "6000 9000 1", 8000));
    ASSERT_TRUE(run.waitFor("end", "file", 8000));
    EXPECT_TRUE(becomes("status", "Stopped"));
    const std::vector<std::string> statuses = announced(readText(signalsLog), "PlaybackStatus");
    EXPECT_TRUE(endsWith(statuses, {"Stopped", "Playing", "Paused", "Playing", "Stopped"})) << joined(statuses);

    // A second start hands over another file: while it is sampled, next waits for
    // the sentence it goes to rather than failing, so the desktop may go on
    // offering it.
    ASSERT_EQ(announced(readText(signalsLog), "CanGoNext"), (std::vector<std::string>{"true"}));
    const std::string other = dir.file("again.mp3");
    ASSERT_EQ(runCommand("lame --quiet " + shellQuote(lesson) + " " + shellQuote(other)), 0);
    TempDir secondDir; // its own stderr and trace; the first's runtime folder, where the instance lock is
    TVorelRun second(x, secondDir, shellQuote(other), false,
                     {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}, {"XDG_RUNTIME_DIR", dir.path()}, {"XDG_DATA_HOME", dir.file("data")}, {"TMPDIR", dir.path()}});
    EXPECT_EQ(second.child.wait(10000), 0);
    ASSERT_TRUE(run.waitFor("load", "again.mp3", 10000));
    EXPECT_TRUE(becomes("metadata xesam:title", "again.mp3"));
    EXPECT_EQ(announced(readText(signalsLog), "CanGoNext"), (std::vector<std::string>{"true"}));
    EXPECT_EQ(run.stderrText().find("media keys"), std::string::npos) << run.stderrText();
}

// Dictation keeps the current sentence's text from the desktop too: its number
// shows while the transcript hides it.
TEST(MediaControl, DictationShowsTheSentencesNumberInsteadOfItsText) {
    TXSession x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    TSessionBus bus(dir.path());
    ASSERT_TRUE(bus.ok());
    const std::string lesson = makeLesson(dir);
    TVorelRun run(x, dir, shellQuote(lesson), false, {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}});
    ASSERT_NE(run.window(), 0u) << run.stderrText();
    ASSERT_TRUE(run.waitFor("load", "lesson.wav", 10000));
    const auto transcript = x.findWindows("TfMainFree", 5000, "文本");
    ASSERT_FALSE(transcript.empty());
    const std::string t = std::to_string(transcript.front());
    const std::string boxAt = " 14 " + std::to_string(x.size(transcript.front()).second - 20);

    auto artistBecomes = [&](const std::string &value) { return comesTo(x, bus, "metadata xesam:artist", value); };
    EXPECT_TRUE(artistBecomes("one"));
    x.run("xdotool mousemove --window " + t + boxAt + " click 1"); // dictation on
    EXPECT_TRUE(artistBecomes("第1/3句"));
    x.run("xdotool mousemove --window " + t + boxAt + " click 1"); // and off
    EXPECT_TRUE(artistBecomes("one"));
}
