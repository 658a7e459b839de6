// Sentences of a text placed on the recording that speaks them: each sentence is
// synthesised, the synthesis and the recording are compared frame by frame (MFCCs,
// banded dynamic time warping), and each boundary found is moved to the pause it
// belongs to. Where text and recording disagree (a paragraph missing from one of
// them) that is reported, not spread over the neighbours. Any thread; one
// alignment per call, nothing shared but the synthesiser (serialised).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "speechfeatures.h"
#include "sentencesplitter.h"
#include "subtitlereader.h"

namespace vorel::align {

// The rate both sounds are analysed at, and the analysis grid.
inline constexpr uint32_t AnalysisRate = 16000;
inline constexpr int32_t FrameMs = 40; // one MFCC frame
inline constexpr int32_t LevelMs = 10; // one level value

// Bands of the spectrum kept per level value, from 250 Hz to 4.5 kHz.
inline constexpr int SpeechBands = 12;

// What alignment needs of a recording, built from its mono samples pushed in
// order: MFCC frames every FrameMs, and every LevelMs the level (dB of full scale)
// and the energy of SpeechBands bands (0.5 dB steps above -120 dB: one byte each,
// so that a ten-hour book keeps them in some tens of megabytes).
class TRecordingAnalysis {
public:
    // Without bands (withBands false) for a sound whose pauses are silent: the
    // synthesis.
    explicit TRecordingAnalysis(uint32_t sampleRate, bool withBands = true);
    void Push(const float *mono, size_t count);
    // After the last Push: the tail is analysed.
    void Finish();
    const speech::TFeatureMatrix &Features() const { return features_; }
    const std::vector<float> &LevelDb() const { return level_; }
    const std::vector<uint8_t> &Bands() const { return bands_; }
    int64_t DurationMs() const { return static_cast<int64_t>(level_.size()) * LevelMs; }

private:
    void analyse(const float *s, size_t n);
    speech::TResampler resampler_;
    bool resample_;
    bool withBands_;
    speech::TMfcc mfcc_;
    speech::TFeatureMatrix features_;
    std::vector<float> level_;
    std::vector<uint8_t> bands_;
    std::vector<float> history_; // the last samples, for the bands' window
    std::vector<float> buffer_;
    double levelSum_ = 0;
    int levelCount_ = 0;
};

struct TAlignedSentence {
    int32_t Index = -1;      // in the sentences given; -1 for speech the text lacks
    std::string Text;
    int64_t StartMs = 0;     // where its speech begins
    int64_t EndMs = 0;       // where its speech ends
    int64_t BreakpointMs = 0; // where its reading begins: a little before StartMs, inside the pause
    float Confidence = 0;    // 0..1
    bool Low = false;        // Confidence below LowConfidence: worth a look
};

inline constexpr float LowConfidence = 0.5f;

enum class TMismatchKind {
    TextNotSpoken,   // sentences First..Last of the text are not in the recording
    SpeechNotInText, // the recording speaks from StartMs to EndMs what the text lacks
};

struct TMismatch {
    TMismatchKind Kind = TMismatchKind::TextNotSpoken;
    int32_t First = -1, Last = -1; // sentences (TextNotSpoken); for SpeechNotInText the
                                   // sentence before the extra speech (-1: none) in First
    int64_t StartMs = 0, EndMs = 0;
};

struct TAlignment {
    std::vector<TAlignedSentence> Sentences; // in time order, spoken ones only
    std::vector<TMismatch> Mismatches;
    std::string Voice;
    double MeanCost = 0;
};

// The share done (0..1); returning false stops the alignment (empty result).
using TAlignProgress = std::function<bool(double)>;

// Aligns the sentences to the recording, each synthesised with the voice. A
// heading that the recording does not speak is left out silently. Throws what the
// synthesiser throws.
TAlignment AlignSentences(const std::vector<TSentence> &sentences, const std::string &voice,
                          const TRecordingAnalysis &recording, const TAlignProgress &progress = {});

// A mismatch as one line for the learner (Chinese), sentences counted from 1.
std::string MismatchText(const TMismatch &m);

// The lesson's sentences as cues: each from its breakpoint to the next one's.
std::vector<segment::TCue> CuesOf(const TAlignment &a);

// The info line's word on an alignment: how many sentences, how many to look at,
// and the first mismatch.
std::string AlignmentNotice(const TAlignment &a);

} // namespace vorel::align
