// Export: the package as Anki would read it, clips against their sentences, the
// same identities on a second export, and failures that leave nothing behind.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <QDir>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <fstream>
#include <set>

#include "../study/studytestsupport.h"
#include "export/ankicollection.h"
#include "export/exporter.h"
#include "exportcheck.h"
#include "testfiles.h"

namespace vorel::exports {
namespace {

using test::TDecoded;
using test::TPackage;
using vorel::test::TempDir;

// A recording in memory: sentences of tones of their own pitch and level, with
// pauses between them; reads exactly the frames of a range.
class TToneRecording : public IPcmSource {
public:
    TToneRecording(int32_t rate, int32_t channels) {
        pcm_.sampleRate = rate;
        pcm_.channels = channels;
        const double levels[] = {1500, 9000, 4000, 20000};
        const char *texts[] = {"Where is the <b>station</b> & the bus?", "", "Turn left, then \"right\".", "Thank you."};
        int32_t at = 0;
        for (int i = 0; i < 4; ++i) {
            const double seconds = 1.2 + 0.3 * i;
            vorel::test::append(pcm_.samples, vorel::test::tone(220.0 * (i + 1), seconds, rate, channels, levels[i]));
            vorel::test::append(pcm_.samples, vorel::test::silence(0.4, rate, channels));
            const int32_t end = at + static_cast<int32_t>(std::lround((seconds + 0.4) * 1000));
            // The reading stops 100 ms into the next sentence's pause-free start: short of the end.
            sentences.push_back({at, end, i == 3 ? end : end - 60, texts[i]});
            at = end;
        }
    }
    TPcm Read(int32_t startMs, int32_t endMs) override {
        TPcm out = pcm_;
        const int64_t from = frameAt(startMs), to = std::min(frameAt(endMs), pcm_.Frames());
        out.samples.assign(pcm_.samples.begin() + from * pcm_.channels, pcm_.samples.begin() + to * pcm_.channels);
        return out;
    }
    int64_t frameAt(int32_t ms) const { return int64_t{ms} * pcm_.sampleRate / 1000; }

    std::vector<TCardSentence> sentences;

private:
    TPcm pcm_;
};

study::TFingerprint fingerprint() { return {123456, 7100, std::string(64, 'a')}; }

TExportJob jobFor(const TToneRecording &rec, std::vector<int32_t> chosen = {0, 1, 2, 3}) {
    return {"/lessons/directions.wav", fingerprint(), rec.sentences, std::move(chosen), "Lessons"};
}

// RMS per 40-ms column of channel 0.
std::vector<double> columns(const int16_t *s, int64_t frames, int channels, int rate, double gain) {
    const int64_t per = rate / 25;
    std::vector<double> out;
    for (int64_t at = 0; at + per <= frames; at += per) {
        double sum = 0;
        for (int64_t i = at; i < at + per; ++i)
            sum += std::pow(s[i * channels] * gain, 2);
        out.push_back(std::sqrt(sum / per));
    }
    return out;
}

// The legacy collection's tables as Anki declares them: "name type notnull pk" per column.
const std::map<std::string, std::vector<std::string>> LegacyTables = {
    {"col", {"id integer 0 1", "crt integer 1 0", "mod integer 1 0", "scm integer 1 0", "ver integer 1 0",
             "dty integer 1 0", "usn integer 1 0", "ls integer 1 0", "conf text 1 0", "models text 1 0",
             "decks text 1 0", "dconf text 1 0", "tags text 1 0"}},
    {"notes", {"id integer 0 1", "guid text 1 0", "mid integer 1 0", "mod integer 1 0", "usn integer 1 0",
               "tags text 1 0", "flds text 1 0", "sfld integer 1 0", "csum integer 1 0", "flags integer 1 0",
               "data text 1 0"}},
    {"cards", {"id integer 0 1", "nid integer 1 0", "did integer 1 0", "ord integer 1 0", "mod integer 1 0",
               "usn integer 1 0", "type integer 1 0", "queue integer 1 0", "due integer 1 0", "ivl integer 1 0",
               "factor integer 1 0", "reps integer 1 0", "lapses integer 1 0", "left integer 1 0",
               "odue integer 1 0", "odid integer 1 0", "flags integer 1 0", "data text 1 0"}},
    {"revlog", {"id integer 0 1", "cid integer 1 0", "usn integer 1 0", "ease integer 1 0", "ivl integer 1 0",
                "lastIvl integer 1 0", "factor integer 1 0", "time integer 1 0", "type integer 1 0"}},
    {"graves", {"usn integer 1 0", "oid integer 1 0", "type integer 1 0"}},
};
const std::set<std::string> LegacyIndexes = {
    "ix_notes_usn notes usn",    "ix_cards_usn cards usn",           "ix_revlog_usn revlog usn",
    "ix_cards_nid cards nid",    "ix_cards_sched cards did,queue,due", "ix_revlog_cid revlog cid",
    "ix_notes_csum notes csum"};

void expectLegacySchema(const std::string &db) {
    std::map<std::string, std::vector<std::string>> tables;
    std::set<std::string> indexes;
    for (const auto &t : test::Query(db, "select name from sqlite_master where type = 'table'"))
        for (const auto &c : test::Query(db, "pragma table_info(" + t[0] + ")"))
            tables[t[0]].push_back(c[1] + " " + QString::fromStdString(c[2]).toLower().toStdString() + " " + c[3] + " " +
                                   c[5]); // SQLite reports declared types in capitals
    for (const auto &i : test::Query(db, "select name, tbl_name from sqlite_master where type = 'index'")) {
        std::string cols;
        for (const auto &c : test::Query(db, "pragma index_info(" + i[0] + ")"))
            cols += (cols.empty() ? "" : ",") + c[2];
        indexes.insert(i[0] + " " + i[1] + " " + cols);
    }
    EXPECT_EQ(tables, LegacyTables);
    EXPECT_EQ(indexes, LegacyIndexes);
    EXPECT_EQ(test::Query(db, "select id, ver from col"), (std::vector<std::vector<std::string>>{{"1", "11"}}));
}

struct TFormat {
    int32_t rate;
    int32_t channels;
};

class ApkgTest : public ::testing::TestWithParam<TFormat> {};

TEST_P(ApkgTest, PackageReadsBackWithItsClipsAtOneLoudness) {
    TempDir dir;
    TToneRecording rec(GetParam().rate, GetParam().channels);
    const std::string out = dir.file("lesson.apkg");
    std::vector<int32_t> seen;
    const TExportResult result = Export(jobFor(rec), rec, out, TExportFormat::Apkg, [&](int32_t done, int32_t total) {
        EXPECT_EQ(total, 4);
        seen.push_back(done);
        return true;
    });
    // Clips in flight on other threads: counts rise from 0 to all, never back.
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 4);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"lesson.apkg"});

    TempDir unpacked;
    const TPackage p = test::ReadPackage(out, unpacked.path());
    const std::string db = unpacked.file("collection.anki2");
    expectLegacySchema(db);

    // Every card belongs to a note of ours in the deck the collection names.
    ASSERT_EQ(p.notes.size(), 4u);
    EXPECT_EQ(test::Query(db, "select count(*) from cards c join notes n on n.id = c.nid where c.ord = 0")[0][0], "4");
    const std::string deck = test::Query(db, "select distinct did from cards")[0][0];
    EXPECT_NE(test::Query(db, "select decks from col")[0][0].find("\"id\":" + deck), std::string::npos);
    EXPECT_NE(test::Query(db, "select models from col")[0][0].find(std::to_string(NoteTypeId)), std::string::npos);

    // Every media entry is in the zip, and each note's sound is one of them.
    ASSERT_EQ(p.media.size(), 4u);
    std::map<std::string, std::string> entryOf;
    for (const auto &[entry, name] : p.media) {
        EXPECT_TRUE(p.entries.count(entry)) << entry;
        entryOf[name] = entry;
    }
    for (size_t i = 0; i < p.notes.size(); ++i) {
        const test::TPackageNote &n = p.notes[i];
        const TCardSentence &s = rec.sentences[i];
        ASSERT_EQ(n.fields.size(), size_t{FieldCount});
        EXPECT_EQ(n.mid, NoteTypeId);
        EXPECT_EQ(n.guid, NoteGuid(fingerprint(), s.startMs));
        EXPECT_EQ(n.guid, result.guids[i]);
        EXPECT_EQ(StripHtml(n.fields[FieldText]), s.text);
        EXPECT_EQ(n.sfld, s.text);
        EXPECT_EQ(n.csum, FieldChecksum(s.text));
        EXPECT_EQ(StripHtml(n.fields[FieldBefore]), i ? rec.sentences[i - 1].text : "");
        EXPECT_EQ(StripHtml(n.fields[FieldAfter]), i + 1 < 4 ? rec.sentences[i + 1].text : "");
        EXPECT_EQ(n.fields[FieldSource].rfind("directions.wav 0:0", 0), 0u) << n.fields[FieldSource];
        const std::string clip = ClipName(n.guid);
        EXPECT_EQ(n.fields[FieldSound], "[sound:" + clip + "]");
        ASSERT_TRUE(entryOf.count(clip));

        // The clip is the sentence's range after its gain, to within one column.
        const TDecoded d = test::DecodeMp3(p.entries.at(entryOf[clip]));
        ASSERT_EQ(d.rate, GetParam().rate);
        ASSERT_EQ(d.channels, GetParam().channels);
        const TPcm want = rec.Read(s.startMs, s.stopMs);
        const int64_t frames = static_cast<int64_t>(d.samples.size()) / d.channels;
        EXPECT_NEAR(frames, want.Frames(), d.rate / 25) << "clip " << i;
        const double gain = result.gains[i];
        const auto got = columns(d.samples.data(), frames, d.channels, d.rate, 1.0);
        const auto expected = columns(want.samples.data(), want.Frames(), want.channels, want.sampleRate, gain);
        ASSERT_NEAR(double(got.size()), double(expected.size()), 1.0);
        const double top = *std::max_element(expected.begin(), expected.end());
        for (size_t c = 0; c < std::min(got.size(), expected.size()); ++c)
            // A column that straddles the tone's start or end differs by a little
            // of the encoder's smearing: 10 % of the loudest column.
            EXPECT_NEAR(got[c], expected[c], 0.1 * top) << "clip " << i << " column " << c;
        TPcm decoded{d.rate, d.channels, d.samples};
        EXPECT_NEAR(IntegratedLoudness(decoded), -18.0, 1.0) << "clip " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ApkgTest, ::testing::Values(TFormat{44100, 1}, TFormat{48000, 2}),
                         [](const ::testing::TestParamInfo<TFormat> &info) {
                             return std::to_string(info.param.rate) + "Hz" + std::to_string(info.param.channels) + "ch";
                         });

// Sound MP3 cannot hold as it is: mixed down and resampled, same length and pitch.
TEST(ExportTest, ClipsOfEveryRecordingFormatEncode) {
    struct Case {
        TFormat in, out;
    };
    const Case cases[] = {{{96000, 1}, {48000, 1}}, {{44100, 6}, {44100, 2}}, {{7000, 2}, {8000, 2}},
                          {{22050, 1}, {22050, 1}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.in.rate) + " Hz, " + std::to_string(c.in.channels) + " channels");
        TPcm pcm{c.in.rate, c.in.channels, vorel::test::tone(440, 1.0, c.in.rate, c.in.channels, 8000)};
        pcm = ConformForMp3(std::move(pcm));
        EXPECT_EQ(pcm.sampleRate, c.out.rate);
        EXPECT_EQ(pcm.channels, c.out.channels);
        const TDecoded d = test::DecodeMp3(EncodeMp3(pcm, 1.0, 64000));
        ASSERT_EQ(d.rate, c.out.rate);
        ASSERT_EQ(d.channels, c.out.channels);
        const auto frames = static_cast<int64_t>(d.samples.size()) / d.channels;
        EXPECT_NEAR(frames, c.out.rate, c.out.rate / 25);
        // 880 crossings a second for 440 Hz; the clip's ends cost a few.
        EXPECT_NEAR(vorel::test::crossingsPerSecond(d.samples.data(), static_cast<size_t>(frames), d.channels, 0,
                                                    d.rate),
                    880, 20);
    }
}

TEST(ExportTest, SecondExportKeepsTheGuidsAndCsvCarriesThem) {
    TempDir dir;
    TToneRecording rec(22050, 1);
    Export(jobFor(rec, {1, 3}), rec, dir.file("a.apkg"), TExportFormat::Apkg);
    Export(jobFor(rec, {1, 3}), rec, dir.file("b.apkg"), TExportFormat::Apkg);
    TempDir ua, ub;
    const TPackage a = test::ReadPackage(dir.file("a.apkg"), ua.path());
    const TPackage b = test::ReadPackage(dir.file("b.apkg"), ub.path());
    ASSERT_EQ(a.notes.size(), 2u);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(a.notes[i].guid, b.notes[i].guid);

    // CSV twice: the media folder is replaced whole, each row names its guid and clip.
    const std::string csv = dir.file("cards.csv");
    Export(jobFor(rec), rec, csv, TExportFormat::Csv);
    Export(jobFor(rec, {1, 3}), rec, csv, TExportFormat::Csv);
    std::ifstream in(csv);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "guid,sound,text,before,after,source");
    std::vector<std::string> rows;
    while (std::getline(in, line))
        rows.push_back(line);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], a.notes[1].guid + ",[sound:" + ClipName(a.notes[1].guid) +
                           "],Thank you.,\"Turn left, then \"\"right\"\".\",,directions.wav 0:05");
    const QStringList clips = QDir(QString::fromStdString(CsvMediaFolder(csv))).entryList(QDir::Files);
    EXPECT_EQ(clips.size(), 2);
    for (const auto &n : a.notes)
        EXPECT_TRUE(clips.contains(QString::fromStdString(ClipName(n.guid))));
    EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 4);
}

// Each way an export can fail mid-way, in both formats: the message's fault, and
// the folder exactly as it was.
TEST(ExportTest, FailureLeavesNothingBehind) {
    struct Case {
        const char *name;
        TExportFault fault;
    };
    const Case cases[] = {{"cancel after two clips", TExportFault::Cancelled},
                          {"file size limit mid-way", TExportFault::DiskFull},
                          {"read-only folder", TExportFault::Unwritable},
                          {"nothing chosen", TExportFault::Nothing}};
    TToneRecording rec(44100, 2);
    for (const Case &c : cases) {
        for (const TExportFormat format : {TExportFormat::Apkg, TExportFormat::Csv}) {
            SCOPED_TRACE(c.name + std::string(format == TExportFormat::Apkg ? " apkg" : " csv"));
            TempDir dir;
            const std::string out = dir.file(format == TExportFormat::Apkg ? "x.apkg" : "x.csv");
            const auto attempt = [&](const TExportProgress &progress, std::vector<int32_t> chosen = {0, 1, 2, 3}) {
                try {
                    Export(jobFor(rec, std::move(chosen)), rec, out, format, progress);
                } catch (const EExportError &e) {
                    EXPECT_FALSE(std::string(e.what()).empty());
                    return e.Fault();
                }
                ADD_FAILURE() << "no error";
                return TExportFault::Nothing;
            };
            switch (c.fault) {
            case TExportFault::Cancelled:
                EXPECT_EQ(attempt([](int32_t done, int32_t) { return done < 2; }), c.fault);
                break;
            case TExportFault::DiskFull: {
                // Writes past the limit fail with EFBIG, as on a full disk.
                rlimit old{};
                getrlimit(RLIMIT_FSIZE, &old);
                const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
                rlimit low = old;
                low.rlim_cur = 20 * 1024; // less than any one clip
                setrlimit(RLIMIT_FSIZE, &low);
                EXPECT_EQ(attempt({}), c.fault);
                setrlimit(RLIMIT_FSIZE, &old);
                std::signal(SIGXFSZ, oldSignal);
                break;
            }
            case TExportFault::Unwritable:
                study::test::ExpectWithoutWriteAccess({dir.path()}, [&] {
                    return attempt({}) == c.fault;
                });
                break;
            default:
                EXPECT_EQ(attempt({}, {}), c.fault);
            }
            EXPECT_TRUE(QDir(QString::fromStdString(dir.path()))
                            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                            .isEmpty());
        }
    }
}

} // namespace
} // namespace vorel::exports
