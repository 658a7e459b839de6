// vorel-export [--marked] [--csv] FILE OUT
// Loads FILE as the window does (its breakpoint or subtitle file, else the split;
// the breakpoints the learner kept in the study record, unless that file changed
// since) and writes its sentences (--marked: the marked ones) to the Anki package
// OUT, or with --csv to the CSV file OUT and its media folder. Ctrl+C stops the
// export and leaves nothing behind. Exit status: 0 written, 1 failed, 2 usage.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QFileInfo>

#include "audio/datamodule.h"
#include "audio/slots.h"
#include "export/exporter.h"
#include "repeater/lesson.h"
#include "resourcetable.h"
#include "segment/breakpointfile.h"
#include "study/studyrules.h"
#include "study/studystore.h"

namespace {

using namespace vorel;

std::atomic<bool> interrupted{false};

// The breakpoint file the kept breakpoints are weighed against: the one the load
// used, else where an ".lrc" would lie.
std::string sideFileOf(const std::string &audio, segment::TBreakpointSource source) {
    switch (source) {
    case segment::TBreakpointSource::Srt: return segment::CompanionFileFor(audio, ".srt");
    case segment::TBreakpointSource::Vtt: return segment::CompanionFileFor(audio, ".vtt");
    case segment::TBreakpointSource::Lrc:
    case segment::TBreakpointSource::Txt: // an aligned text is kept as an LRC would be, as the window does
    case segment::TBreakpointSource::Split: break;
    }
    return segment::BreakpointFileFor(audio);
}

// The breakpoints the learner kept hold as they do at open in the window; the
// record itself is left as it is.
void applyKept(repeater::TLesson &lesson, const study::TRecord &record) {
    const std::string side = sideFileOf(lesson.fileName, lesson.source);
    const study::TBreakpointChoice choice =
        study::ChooseBreakpoints(record, study::StampFile(side), QFileInfo(QString::fromStdString(side)).fileName().toStdString());
    if (!choice.notice.empty())
        std::fprintf(stderr, "vorel-export: %s\n", choice.notice.c_str());
    if (!choice.useKept || record.breakpoints->points.empty())
        return;
    segment::TSegmentList kept;
    for (const study::TKeptBreakpoint &p : record.breakpoints->points)
        kept.Add({p.ms, segment::TSegmentList::MakeStamp(p.ms), p.text});
    segment::EndAtDuration(kept, lesson.info.duration);
    *lesson.segments = std::move(kept);
}

int run(const std::string &file, const std::string &out, bool markedOnly, bool csv) {
    repeater::TLesson lesson = repeater::LoadLesson(file, [](int32_t) {});
    exports::TExportJob job;
    job.recordingPath = file;

    study::TStudyStore store(study::TStudyStore::DefaultFolder());
    std::vector<int32_t> marked;
    std::string error;
    if (const auto fp = study::FingerprintFile(file, lesson.info.duration, &error)) {
        job.fingerprint = *fp;
        applyKept(lesson, store.Load(*fp));
        marked = store.MarkedSentences(*fp);
    } else {
        std::fprintf(stderr, "vorel-export: %s\n", error.c_str());
        return 1;
    }
    for (const std::string &notice : store.TakeNotices())
        std::fprintf(stderr, "vorel-export: %s\n", notice.c_str());

    job.sentences = exports::SentencesOf(*lesson.segments, lesson.samples, lesson.silenceLevel, lesson.columnMs);
    if (markedOnly) {
        job.chosen = exports::MarkedIndexes(job.sentences, marked);
    } else {
        for (size_t i = 0; i < job.sentences.size(); ++i)
            job.chosen.push_back(static_cast<int32_t>(i));
    }

    const std::unique_ptr<exports::IPcmSource> source = exports::OpenRecording(file);
    int lastPercent = -1;
    exports::Export(job, *source, out, csv ? exports::TExportFormat::Csv : exports::TExportFormat::Apkg,
                    [&](int32_t done, int32_t total) {
                        const int percent = total ? static_cast<int>(int64_t{done} * 100 / total) : 100;
                        if (percent != lastPercent)
                            std::fprintf(stderr, "\r%d%%", lastPercent = percent);
                        return !interrupted.load();
                    });
    std::fprintf(stderr, "\n已导出 %zu 个句子：%s\n", job.chosen.size(), out.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication application(argc, argv);
    bool markedOnly = false, csv = false;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--marked")
            markedOnly = true;
        else if (a == "--csv")
            csv = true;
        else
            paths.push_back(a);
    }
    if (paths.size() != 2) {
        std::fprintf(stderr, "usage: vorel-export [--marked] [--csv] FILE OUT\n"
                             "  --marked  only the marked sentences\n"
                             "  --csv     a CSV file with a media folder instead of an Anki package\n");
        return 2;
    }
    std::signal(SIGINT, [](int) { interrupted = true; });
    std::signal(SIGTERM, [](int) { interrupted = true; });

    audio::Tdm dm(resources::FindResource, [](const std::string &text, const std::string &) {
        std::fprintf(stderr, "vorel-export: %s\n", text.c_str());
    });
    dm.DataModuleCreate();
    // Device 0: decoding needs no sound card.
    audio::core.BASS_Init(0, 44100, 0, nullptr, nullptr);
    int rc = 1;
    try {
        rc = run(paths[0], paths[1], markedOnly, csv);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "\nvorel-export: %s\n", e.what());
    }
    audio::core.BASS_Free();
    dm.DataModuleDestroy();
    return rc;
}
