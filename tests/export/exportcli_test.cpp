// vorel-export on a real recording with a breakpoint file and a study record:
// everything, the marked sentences alone, CSV, and the breakpoints the learner kept.
#include <gtest/gtest.h>

#include <QDir>

#include <cstdlib>
#include <fstream>

#include "export/ankicollection.h"
#include "export/exporter.h"
#include "exportcheck.h"
#include "study/studystore.h"
#include "testfiles.h"

namespace vorel::exports {
namespace {

using vorel::test::TempDir;

TEST(ExportCliTest, ExportsAllMarkedOrKeptSentences) {
    TempDir dir;
    // 7.2 s at 44.1 kHz: the decoded length is a whole number of ms.
    std::vector<int16_t> pcm;
    for (int i = 0; i < 3; ++i) {
        vorel::test::append(pcm, vorel::test::tone(300.0 + 100 * i, 1.6, 44100, 1, 8000));
        vorel::test::append(pcm, vorel::test::silence(i == 2 ? 1.2 : 0.6, 44100, 1));
    }
    const std::string wav = dir.file("lesson.wav");
    vorel::test::writeWav16(wav, pcm, 44100, 1);
    vorel::test::writeText(dir.file("lesson.lrc"), "[00:00.00]one\n[00:02.20]two\n[00:04.40]three\n");

    const std::string data = dir.file("data");
    const auto fp = study::FingerprintFile(wav, 7200);
    ASSERT_TRUE(fp);
    const auto record = [&](bool keep) {
        study::TStudyStore store(data + "/vorel");
        store.SetMarked(*fp, 2200, true);
        // Edited breakpoints, kept while the breakpoint file was as it is now.
        if (keep)
            store.KeepBreakpoints(*fp, {{{0, "uno"}, {4400, "dos"}}, study::StampFile(dir.file("lesson.lrc"))});
        ASSERT_TRUE(store.Flush());
    };
    struct Case {
        const char *options;
        const char *out;
        bool kept;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"", "all.apkg", false, {"one", "two", "three"}},
        {"--marked", "marked.apkg", false, {"two"}},
        {"--csv --marked", "marked.csv", false, {"two"}},
        {"", "kept.apkg", true, {"uno", "dos"}},
    };
    for (const Case &c : cases) {
        record(c.kept);
        SCOPED_TRACE(c.options);
        const std::string out = dir.file(c.out);
        ASSERT_TRUE(vorel::test::mustRun("XDG_DATA_HOME=" + vorel::test::shellQuote(data) + " TMPDIR=" +
                                         vorel::test::shellQuote(dir.path()) + " " VOREL_EXPORT_PROGRAM " " +
                                         c.options + " " + vorel::test::shellQuote(wav) + " " +
                                         vorel::test::shellQuote(out) + " 2>/dev/null"));
        std::vector<std::string> texts;
        if (std::string(c.out).ends_with(".csv")) {
            std::ifstream in(out);
            std::string line;
            std::getline(in, line);
            while (std::getline(in, line))
                texts.push_back(line.substr(line.find("],") + 2, line.find(',', line.find("],") + 2) - line.find("],") - 2));
        } else {
            TempDir unpacked;
            for (const auto &n : test::ReadPackage(out, unpacked.path()).notes)
                texts.push_back(n.fields[FieldText]);
        }
        EXPECT_EQ(texts, c.texts);
    }
}

} // namespace
} // namespace vorel::exports
