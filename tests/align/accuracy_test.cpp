// Alignment accuracy on recorded human speech: clips with their transcripts joined
// into lessons with pauses, the true sentence starts known, clean and under real
// noise of three kinds at 20, 15 and 10 dB SNR.
//
// DEVELOPMENT set (tuned on; every miss printed):
//   the LibriVox reading in pocketsphinx-testdata (public domain, English), and the
//   Dutch and Czech dialogue of fillets-ng-data-nl/-cs (GPL-2) in levels atlantis,
//   barrel, cave, cellar, engine, creatures, bathroom, briefcase, crabshow, magnet;
//   the Dutch of kitchen, library, turtle, windoze, wreck, experiments, chest and
//   the Czech of keys, hanoi, start, corridor, reef, columns (held out until their
//   misses were looked at: most were faults of the lessons' making, mended since).
// HELD-OUT set (measured only, never tuned on; misses not printed):
//   the card names in pocketsphinx-testdata (another English speaker), the Dutch
//   dialogue of levels aztec, computer, propulsion, labyrinth, pearls, and the
//   Czech of alibaba, puzzle, emulator, reactor, warcraft, imprisoned; and the
//   Dutch and Czech of broom, cabin1, cabin2, city, corals, duckie.
// Noise: babble (six talkers of the Dutch and Czech levels tank, ufo, tetris,
// none of them in a lesson), the game's music (rybky02, fillets-ng-data), and a
// fan (pink noise with 50 Hz mains hum and its harmonics).
//
// Heavy (about 400 and 280 alignments, a minute and 40 s): RUN_SERIAL so that
// it does not starve the suite's other tests on two cores.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>

#include "speechmaterial.h"

using namespace vorel::align;
using namespace vorel::test;

namespace {

const std::string Sphinx = "/usr/share/pocketsphinx/test/data/";
const std::string Fillets = "/usr/share/games/fillets-ng/";

struct TLesson {
    std::string name, voice;
    std::vector<std::vector<float>> clips;
    std::vector<std::string> texts;
};

// A level's dialogue lines (dialogId("id", ...) then dialogStr("text")) that have
// a recording in the language, are one sentence each and have a quiet stretch
// (for their onset); at most max of them, in the script's order.
TLesson dialogue(const std::string &level, const std::string &lang, size_t max, const TempDir &dir) {
    TLesson l{lang + " " + level, lang, {}, {}};
    std::ifstream in(Fillets + "script/" + level + "/dialogs_" + lang + ".lua");
    static const std::regex idLine(R"re(^dialogId\("([^"]+)")re"), strLine(R"re(^dialogStr\("(.*)"\)\s*$)re");
    std::string line, id;
    std::smatch m;
    while (l.clips.size() < max && std::getline(in, line)) {
        if (std::regex_search(line, m, idLine)) {
            id = m[1];
            continue;
        }
        if (id.empty() || !std::regex_search(line, m, strLine))
            continue;
        const std::string text = m[1], sound = Fillets + "sound/" + level + "/" + lang + "/" + id + ".ogg";
        id.clear();
        // A line that ends without a stop ("Mám to být já,") runs on into the next,
        // and one that begins in lower case ("ale rozhodne…") into the one before.
        const bool ends = !text.empty() && std::string(".?!\"").find(text.back()) != std::string::npos;
        const bool apart = l.texts.empty() || SplitSentences(l.texts.back() + " " + text, lang).size() == 2;
        if (!std::filesystem::exists(sound) || SplitSentences(text, lang).size() != 1 || text.size() < 8 || !ends ||
            !apart)
            continue;
        std::vector<float> clip = readSound(sound, dir);
        if (clip.size() < 8000)
            continue;
        l.clips.push_back(std::move(clip));
        l.texts.push_back(text);
    }
    return l;
}

// Five clips read three times in different orders, as three chapters would be.
void repeatInOtherOrders(TLesson &l) {
    for (const auto &order : {std::vector<size_t>{4, 2, 0, 3, 1}, {3, 1, 4, 0, 2}})
        for (const size_t k : order) {
            l.clips.push_back(l.clips[k]);
            l.texts.push_back(l.texts[k]);
        }
}

TLesson libriVox(const TempDir &dir) {
    TLesson l{"en LibriVox", "en", {}, {
        "And Mr. John Dashwood had then leisure to consider how much there might be prudently in his power to do "
        "for them.",
        "He was not an ill-disposed young man.",
        "Unless to be rather cold-hearted and rather selfish is to be ill-disposed.",
        "Had he married a more amiable woman, he might have been made still more respectable than he was.",
        "He might even have been made amiable himself.",
    }};
    for (const char *n : {"870", "880", "890", "920", "930"})
        l.clips.push_back(readSound(Sphinx + "librivox/sense_and_sensibility_01_austen_64kb-0" + n + ".wav", dir));
    repeatInOtherOrders(l);
    return l;
}

TLesson cards(const TempDir &dir) {
    TLesson l{"en cards", "en", {}, {"Ten of clubs.", "Four, queen of clubs.", "Seven of clubs.", "Five, five.",
                                     "Eight of spades, four of clubs, seven of hearts."}};
    for (const char *n : {"001", "002", "003", "004", "005"})
        l.clips.push_back(readSound(Sphinx + "cards/" + n + ".wav", dir));
    repeatInOtherOrders(l);
    return l;
}

struct TNoise {
    std::string name;
    std::vector<float> sound;
};

std::vector<TNoise> noises(const TempDir &dir) {
    std::vector<TNoise> out;
    // Six talkers, each the lines of the babble levels in its own order.
    std::vector<std::vector<float>> lines;
    for (const char *lang : {"nl", "cs"})
        for (const char *level : {"tank", "ufo", "tetris"}) {
            TLesson l = dialogue(level, lang, 16, dir);
            for (auto &c : l.clips)
                lines.push_back(std::move(c));
        }
    std::vector<float> babble;
    std::mt19937 rng(7);
    for (int talker = 0; talker < 6 && !lines.empty(); ++talker) {
        std::vector<float> voice;
        std::vector<size_t> order(lines.size());
        for (size_t k = 0; k < order.size(); ++k)
            order[k] = k;
        std::shuffle(order.begin(), order.end(), rng);
        for (const size_t k : order)
            voice.insert(voice.end(), lines[k].begin(), lines[k].end());
        if (babble.empty())
            babble.assign(voice.size(), 0);
        for (size_t i = 0; i < babble.size(); ++i)
            babble[i] += voice[(i + static_cast<size_t>(talker) * 37123) % voice.size()];
    }
    out.push_back({"babble", std::move(babble)});
    out.push_back({"music", readSound(Fillets + "music/rybky02.ogg", dir)});
    // Pink noise (Paul Kellet's filter over white) and mains hum.
    std::vector<float> fan(SpeechRate * 20);
    std::normal_distribution<double> white(0, 1);
    double b0 = 0, b1 = 0, b2 = 0;
    for (size_t i = 0; i < fan.size(); ++i) {
        const double w = white(rng);
        b0 = 0.99765 * b0 + w * 0.0990460;
        b1 = 0.96300 * b1 + w * 0.2965164;
        b2 = 0.57000 * b2 + w * 1.0526913;
        const double t = static_cast<double>(i) / SpeechRate;
        double hum = 0;
        for (int h = 1; h <= 4; ++h)
            hum += std::sin(2 * M_PI * 50 * h * t) / h;
        fan[i] = static_cast<float>(0.1 * (b0 + b1 + b2 + w * 0.1848) + 0.15 * hum);
    }
    out.push_back({"fan", std::move(fan)});
    return out;
}

// Pauses between sentences as a reader leaves them, a chapter's among them.
const std::vector<int32_t> Pauses{300, 700, 450, 1200, 350, 2500, 500, 900, 250, 600, 4000, 400};

// Every lesson clean and under every noise at each SNR; the share within 100 ms
// per condition, printed as a table.
std::map<std::string, TScore> measure(const std::vector<TLesson> &lessons, const std::vector<TNoise> &noise,
                                      bool verbose) {
    std::map<std::string, TScore> total;
    unsigned seed = 0;
    for (const TLesson &l : lessons) {
        if (l.clips.empty())
            continue;
        std::vector<int32_t> pauses = Pauses;
        std::rotate(pauses.begin(), pauses.begin() + static_cast<ptrdiff_t>(seed % pauses.size()), pauses.end());
        const TMaterial clean = join(l.clips, l.texts, pauses, ++seed);
        // The truth is per clip: the text must split into one sentence per clip.
        EXPECT_EQ(SplitSentences(clean.text, l.voice).size(), l.clips.size()) << l.name;
        auto run = [&](const std::string &condition, const TMaterial &m) {
            const std::string what = l.name + ", " + condition;
            const TAlignment a = alignSound(m, l.voice);
            const TScore s = score(a, m.truthMs, what.c_str(), verbose);
            total[condition].add(s);
            if (!verbose)
                std::printf("%s: %d of %d\n", what.c_str(), s.within, s.total);
        };
        run("clean", clean);
        // Two voices, one 12 dB softer (further from the microphone): the soft
        // one's speech is no background to drop.
        std::vector<std::vector<float>> clips = l.clips;
        for (size_t k = 1; k < clips.size(); k += 2)
            for (float &v : clips[k])
                v *= 0.25f;
        run("soft voice", join(clips, l.texts, pauses, seed));
        for (const TNoise &n : noise)
            for (const int snr : {20, 15, 10}) {
                TMaterial m = clean;
                addNoise(m.sound, n.sound, snr);
                run(n.name + " " + std::to_string(snr) + " dB", m);
            }
    }
    return total;
}

void report(const char *set, const std::map<std::string, TScore> &total) {
    for (const auto &[condition, s] : total)
        std::printf("ACCURACY %s | %-14s | %4d of %4d | %5.1f %%\n", set, condition.c_str(), s.within, s.total,
                    100 * s.share());
}

bool haveMaterial() {
    return std::filesystem::exists(Sphinx + "cards/001.wav") &&
           std::filesystem::exists(Fillets + "sound/atlantis/nl") && std::filesystem::exists(Fillets + "sound/keys/cs");
}

// The share under noise at one SNR, over all noises.
double shareAt(const std::map<std::string, TScore> &total, int snr) {
    TScore s;
    for (const auto &[condition, score] : total)
        if (condition.find(" " + std::to_string(snr) + " dB") != std::string::npos)
            s.add(score);
    return s.share();
}

} // namespace

TEST(AlignAccuracy, Development) {
    if (!haveMaterial())
        GTEST_SKIP() << "pocketsphinx-testdata and fillets-ng-data-nl/-cs are not installed (scripts/setup.sh)";
    TempDir dir;
    std::vector<TLesson> lessons{libriVox(dir)};
    for (const char *lang : {"nl", "cs"})
        for (const char *level : {"atlantis", "barrel", "cave", "cellar", "engine", "creatures", "bathroom",
                                  "briefcase", "crabshow", "magnet"})
            lessons.push_back(dialogue(level, lang, 12, dir));
    for (const char *level : {"kitchen", "library", "turtle", "windoze", "wreck", "experiments", "chest"})
        lessons.push_back(dialogue(level, "nl", 12, dir));
    for (const char *level : {"keys", "hanoi", "start", "corridor", "reef", "columns"})
        lessons.push_back(dialogue(level, "cs", 12, dir));
    const auto total = measure(lessons, noises(dir), true);
    report("development", total);
    // Measured 398 of 407 clean, 365 with a voice 12 dB softer, and 1021 of 1221 at
    // 15 dB (fan 363, babble 354, music 304 of 407). Under fan noise the misses
    // left are starts 100-250 ms late: a soft onset under the noise. The figures
    // move by a few boundaries with what eSpeak NG synthesised before in the
    // process (its voice keeps state between texts). The floors guard against
    // losing ground.
    EXPECT_GE(total.at("clean").share(), 0.95);
    EXPECT_GE(total.at("soft voice").share(), 0.86);
    EXPECT_GE(shareAt(total, 15), 0.80);
}

TEST(AlignAccuracy, HeldOut) {
    if (!haveMaterial())
        GTEST_SKIP() << "pocketsphinx-testdata and fillets-ng-data-nl/-cs are not installed (scripts/setup.sh)";
    TempDir dir;
    std::vector<TLesson> lessons{cards(dir)};
    for (const char *level : {"aztec", "computer", "propulsion", "labyrinth", "pearls"})
        lessons.push_back(dialogue(level, "nl", 12, dir));
    for (const char *level : {"alibaba", "puzzle", "emulator", "reactor", "warcraft", "imprisoned"})
        lessons.push_back(dialogue(level, "cs", 12, dir));
    for (const char *lang : {"nl", "cs"})
        for (const char *level : {"broom", "cabin1", "cabin2", "city", "corals", "duckie"})
            lessons.push_back(dialogue(level, lang, 12, dir));
    const auto total = measure(lessons, noises(dir), false);
    report("held-out", total);
    // Measured once with this code: 273 of 280 clean (city, corals and duckie,
    // added last, 68 of 68), 245 with a voice 12 dB softer, and 720 of 840 at
    // 15 dB (fan 254, babble 245, music 221 of 280). The aligner before its
    // background rule measured 273, 247 and 706 (babble 231) in the same run. The
    // figures move by a few boundaries with what eSpeak NG synthesised before in
    // the process. The floors guard against losing ground; the goal is 95 %
    // clean and 90 % in a room's noise.
    EXPECT_GE(total.at("clean").share(), 0.94);
    EXPECT_GE(total.at("soft voice").share(), 0.84);
    EXPECT_GE(shareAt(total, 15), 0.82);
}
