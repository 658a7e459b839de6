// Sentences out to flashcards from the window: which sentences a choice names,
// and the export run on a worker thread of its own. GUI thread unless noted.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "export/exporter.h"

class QObject;

namespace vorel::app {

enum class TCardScope { Current, Marked, All };

// The sentence indexes (ascending) a choice exports, of count sentences; current
// is -1 without one, marked[i] tells whether sentence i is marked.
std::vector<int32_t> CardIndexes(TCardScope scope, int32_t count, int32_t current, const std::vector<bool> &marked);

// One export on a worker thread. Progress and the outcome come back on the GUI
// thread through the receiver's event loop; destroying the run cancels it and
// waits for the worker (the partial output is removed by the exporter).
class TCardExportRun {
public:
    // done/total; finished with an empty error on success, else the message to show.
    using Progress = std::function<void(int32_t done, int32_t total)>;
    using Finished = std::function<void(const std::string &error)>;

    TCardExportRun(QObject *receiver, exports::TExportJob job, std::string outPath, exports::TExportFormat format,
                   Progress progress, Finished finished);
    ~TCardExportRun();
    // Any thread: the worker stops at the next clip.
    void Cancel() { cancel_ = true; }

private:
    std::atomic<bool> cancel_{false};
    std::thread worker_;
};

} // namespace vorel::app
