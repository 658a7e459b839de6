// A text aligned to an audio file on a worker thread of its own: the file is
// decoded (its own decoding stream; the player is not touched), analysed and
// aligned. Created, polled and destroyed on one thread (the GUI's); the worker
// only writes the job's atomics and, once, its result. Needs the audio libraries
// bound.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "aligner.h"
#include "sentencesplitter.h"

namespace vorel::align {

class TAlignJob {
public:
    // Starts at once: reads the text file (see ReadTextFile), splits it, decodes
    // the audio and aligns. voice "" means the language detected from the text.
    TAlignJob(std::string audioPath, std::string textPath, std::string voice = "");
    // A job for the ".txt" file beside the audio, or null when there is none.
    static std::shared_ptr<TAlignJob> ForAudio(const std::string &audioPath);
    // Stops the worker (at its next check) and joins it.
    ~TAlignJob();
    TAlignJob(const TAlignJob &) = delete;
    TAlignJob &operator=(const TAlignJob &) = delete;

    int32_t Percent() const { return percent_.load(); }
    bool Finished() const { return finished_.load(); }
    // Once Finished: the alignment; rethrows what stopped the worker (the
    // decoder's EAudioError, the synthesiser's std::runtime_error).
    const TAlignment &Result() const;
    // The lesson's side: false while the job runs, then true with its cues (none
    // when it failed) and the info line's text. Never throws.
    bool Take(std::vector<segment::TCue> &cues, std::string &notice) const;
    // Once Finished: the info line's text on the outcome (AlignmentNotice, or why
    // it failed); empty before.
    std::string Notice() const;
    // Once Finished.
    const std::vector<TSentence> &Sentences() const { return sentences_; }
    const std::string &Voice() const { return voice_; }
    // The milliseconds the worker took from start to finish (decoding included).
    double ElapsedMs() const { return elapsedMs_; }

private:
    void run();
    std::string path_, textPath_, voice_;
    std::vector<TSentence> sentences_;
    TAlignment result_;
    std::exception_ptr error_;
    double elapsedMs_ = 0;
    std::atomic<int32_t> percent_{0};
    std::atomic<bool> finished_{false}, cancel_{false};
    std::thread worker_;
};

} // namespace vorel::align
