// Sentences out to flashcards: an Anki package (.apkg) that Anki imports without
// running, or a CSV file with a folder of clips for other programs. Each sentence
// becomes one note with one card (its sound in front, its text behind), and its
// clip runs from the sentence's start to where its reading stops, at one loudness.
//
// The output appears whole or not at all: it is written beside its place and
// renamed there at the end; a cancel, a full disk or a folder that cannot be
// written leaves nothing behind and throws EExportError with a message to show.
//
// Threads: an export runs on the calling thread (a worker in the program) and
// calls progress there; it shares nothing with other exports. Ownership: the
// caller owns the job and the PCM source; everything returned is a value.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "clipencoder.h"
#include "exporterror.h"
#include "pcmsource.h"
#include "study/fingerprint.h"

namespace vorel::segment {
class TSegmentList;
}

namespace vorel::exports {

// One sentence of a recording; ms from its start.
struct TCardSentence {
    int32_t startMs = 0;
    int32_t endMs = 0;
    int32_t stopMs = 0; // where its reading stops: endMs plus the tail rule's tail
    std::string text;   // UTF-8, may be empty: the card then carries the sound alone
};

struct TExportJob {
    std::string recordingPath;          // its file name goes into each note's source
    study::TFingerprint fingerprint;    // with the start, the notes' identity
    std::vector<TCardSentence> sentences; // every sentence of the recording, in order (context)
    std::vector<int32_t> chosen;        // indexes into sentences to export, ascending
    std::string deckName;               // empty: the recording's name without extension
};

enum class TExportFormat { Apkg, Csv };

// done of total clips; false cancels.
using TExportProgress = std::function<bool(int32_t done, int32_t total)>;

struct TExportResult {
    std::vector<std::string> guids; // per exported sentence, in order
    std::vector<double> gains;      // the loudness factor each clip got
};

// Writes the package (Apkg) or the CSV file (Csv, its clips in the folder
// CsvMediaFolder(outPath), replaced whole) at outPath. Throws EExportError.
TExportResult Export(const TExportJob &job, IPcmSource &source, const std::string &outPath, TExportFormat format,
                     const TExportProgress &progress = {}, const TClipSettings &clips = {});

// The note identity: stable across exports of the same recording (by content,
// whatever its name) and sentence start, so that Anki updates the note instead
// of adding a copy. 16 lowercase hex digits.
std::string NoteGuid(const study::TFingerprint &fingerprint, int32_t startMs);

// The clip's file name of a note.
std::string ClipName(const std::string &guid);

// "<folder>/<name>.media" for "<folder>/<name>.csv".
std::string CsvMediaFolder(const std::string &csvPath);

// The sentences of a breakpoint list whose last breakpoint is the end of the
// recording, each stopping where the tail rule stops its reading over the
// recording's samples (the silence level and column length the load found).
std::vector<TCardSentence> SentencesOf(const segment::TSegmentList &list, const std::vector<std::string> &samples,
                                       int32_t silenceLevel, double columnMs);

// The indexes of the sentences whose start is among markedStarts.
std::vector<int32_t> MarkedIndexes(const std::vector<TCardSentence> &sentences,
                                   const std::vector<int32_t> &markedStarts);

} // namespace vorel::exports
