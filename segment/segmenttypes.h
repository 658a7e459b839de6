// Types shared by the segmentation units: the string lists in which samples and
// breakpoint times travel, and the error the units raise themselves.
#pragma once

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

} // namespace vorel::segment
