// Types shared by the segmentation units: the string lists in which samples and
// breakpoint times travel, and the error the units raise themselves.
#pragma once

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

namespace vorel::segment {

// Sample lists and split results: one decimal integer text per entry.
using TStrings = std::vector<std::string>;

// Raised by the breakpoint list, the LRC reader and the splitter; carries one
// UTF-8 message meant for the user.
class ESegmentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Set from another thread to end a long read of a breakpoint or subtitle file
// early (the learner opened another file): the read then raises ESegmentError and
// its result is of no use. Null: the read runs to its end.
using TStopFlag = std::atomic<bool>;
inline void StopIfAsked(const TStopFlag *stop) {
    if (stop && stop->load(std::memory_order_relaxed))
        throw ESegmentError("读取已取消");
}

} // namespace vorel::segment
