// Takes made inside the test (speechtakes.h), fed to the recorder in 20 ms pieces
// as the capture would.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "takerecorder.h"
#include "speechtakes.h"
#include "takestore.h"
#include "testfiles.h"

using namespace vorel::audio;
using namespace vorel::test;
using namespace vorel::audio::test;

namespace {

// Feeds from capture frame `from` on, in 20 ms pieces, until the take ends.
int64_t feed(TTakeRecorder &r, const std::vector<int16_t> &s, int64_t from) {
    for (size_t i = 0; i < s.size(); i += 20 * kMs) {
        const size_t n = std::min<size_t>(20 * kMs, s.size() - i);
        if (r.Feed(s.data() + i, n, from + int64_t(i))) return int64_t(i + n);
    }
    return int64_t(s.size());
}

} // namespace

TEST(TakeRecorder, EndsAfterSpeechAndSilenceAndTrimsToTheSpeech) {
    struct Case {
        const char *text, *voice;
        double noiseRms, maxSec;
        bool endsEarly; // else at its longest
        double muted = 0; // seconds of digital silence first (a muted input)
    } cases[] = {
        {"The train to the airport leaves at seven.", "en", 30, 10, true},
        {"Where is the nearest station?", "en-us", 300, 10, true},
        {"Ich habe heute keine Zeit.", "de", 120, 10, true},
        {"Seven sisters sold six shells.", "en+f3", 200, 10, true},
        {"Where is the nearest station?", "en", 800, 10, true}, // a noisy room
        {"Ich habe heute keine Zeit.", "de", 60, 10, true, 2.0},
        // Still speaking when time runs out: the take ends there.
        {"The train to the airport leaves at seven.", "en", 100, 2.2, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.voice) + ": " + c.text);
        const std::vector<int16_t> speech = speak(c.text, c.voice);
        ASSERT_FALSE(speech.empty());
        Take t = makeTake(speech, c.noiseRms, 1.0, 3.0);
        const int64_t muted = int64_t(c.muted * kRate);
        t.samples.insert(t.samples.begin(), size_t(muted), 0);
        t.speechFirst += muted;
        t.speechEnd += muted;
        TTakeRecorder r(kRate);
        const int64_t maxFrames = int64_t(c.maxSec * kRate);
        r.Start(0, maxFrames);
        const int64_t fed = feed(r, t.samples, 0);
        ASSERT_TRUE(r.Ended());
        if (c.endsEarly) {
            // 0.8 s after the speech, give or take a frame of 10 ms, the feed's 20 ms
            // piece and the 30 ms by which the speech's edges may be judged.
            EXPECT_NEAR(double(fed - t.speechEnd) / kMs, 800, 60);
        } else {
            EXPECT_EQ(int64_t(r.Raw().size()), maxFrames);
        }
        const TSpeechSpan s = r.SpeechSamples();
        EXPECT_NEAR(double(s.first - t.speechFirst) / kMs, 0, 30);
        EXPECT_NEAR(double(s.end - std::min(t.speechEnd, maxFrames)) / kMs, 0, 30);
        EXPECT_EQ(r.Trimmed().size(), size_t(s.end - s.first));
    }
}

TEST(TakeRecorder, NothingSaidOrBeforeItsStart) {
    const std::vector<int16_t> speech = speak("Good morning.", "en");
    ASSERT_FALSE(speech.empty());
    // Only noise: the take runs to its longest and holds no speech.
    {
        const Take quiet = makeTake({}, 200, 3.0, 0);
        TTakeRecorder r(kRate);
        r.Start(0, 2 * kRate);
        feed(r, quiet.samples, 0);
        EXPECT_TRUE(r.Ended());
        EXPECT_TRUE(r.SpeechSamples().empty());
        EXPECT_TRUE(r.Trimmed().empty());
    }
    // The capture ran before the take began (the sentence playing): what came
    // before the start is no part of the take, even inside the piece that holds it.
    {
        const Take t = makeTake(speech, 100, 1.0, 2.0);
        std::vector<int16_t> earlier(t.samples.begin() + t.speechFirst, t.samples.begin() + t.speechEnd);
        const int64_t start = int64_t(earlier.size()) + 5 * kMs; // mid-piece
        std::vector<int16_t> all = earlier;
        all.insert(all.end(), 5 * kMs, 0);
        all.insert(all.end(), t.samples.begin(), t.samples.end());
        TTakeRecorder r(kRate);
        r.Start(start, 10 * kRate);
        feed(r, all, 0);
        ASSERT_TRUE(r.Ended());
        EXPECT_NEAR(double(r.SpeechSamples().first - t.speechFirst) / kMs, 0, 30);
    }
}

TEST(TakeStore, KeepsTheNewestFewAsFlac) {
    TempDir dir;
    TTakeStore store(dir.file("takes"), 3);
    const std::vector<int16_t> take = tone(300, 0.3, kRate, 1);
    std::vector<std::string> saved;
    for (int i = 0; i < 5; ++i) saved.push_back(store.Save("s0001", take, kRate));
    ASSERT_FALSE(store.Save("s0002", take, kRate).empty());
    const std::vector<std::string> kept = store.Takes("s0001");
    EXPECT_EQ(kept, std::vector<std::string>(saved.begin() + 2, saved.end()));
    EXPECT_EQ(store.Takes("s0002").size(), 1u);
    // Read back: a mono FLAC holding exactly the take.
    SF_INFO info{};
    SNDFILE *f = sf_open(kept.back().c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    std::vector<int16_t> back(take.size() + 10);
    EXPECT_EQ(sf_read_short(f, back.data(), sf_count_t(back.size())), sf_count_t(take.size()));
    sf_close(f);
    back.resize(take.size());
    EXPECT_EQ(back, take);
    struct stat st{};
    ASSERT_EQ(stat(dir.file("takes").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u); // the learner's voice is private
    // Deleting: one, then the rest; a path that is not a take is refused.
    EXPECT_TRUE(TTakeStore(dir.file("takes/"), 3).Delete(kept.front()));
    EXPECT_FALSE(store.Delete(dir.file("takes/../other.flac")));
    EXPECT_EQ(store.DeleteAll("s0001"), 2);
    EXPECT_TRUE(store.Takes("s0001").empty());
    EXPECT_EQ(store.Takes("s0002").size(), 1u);
    // Numbers go on after the newest: a deleted take's number is not reused while newer exist.
    EXPECT_NE(store.Save("s0002", take, kRate), saved[0]);
}

TEST(TakeStore, RefusesWhatWouldEscapeOrBeEmpty) {
    TempDir dir;
    TTakeStore store(dir.file("takes"), 3);
    const std::vector<int16_t> take = tone(300, 0.1, kRate, 1);
    for (const char *key : {"", "../up", "a/b", ".hidden", "名字", "x y"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(store.Save(key, take, kRate), "");
    }
    EXPECT_EQ(store.Save("s1", {}, kRate), "");
    // A link planted where the take is written is not followed.
    mkdir(dir.file("takes").c_str(), 0700);
    writeText(dir.file("victim"), "keep");
    ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file("takes/s1-000001.flac.part").c_str()), 0);
    EXPECT_EQ(store.Save("s1", take, kRate), "");
    EXPECT_EQ(readFile(dir.file("victim")).size(), 4u);
}
