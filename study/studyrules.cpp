#include "studyrules.h"

namespace vorel::study {

TBreakpointChoice ChooseBreakpoints(const TRecord &record, const std::optional<TFileStamp> &sideNow,
                                    const std::string &sideName) {
    if (!record.breakpoints)
        return {};
    if (!SideFileWins(record.breakpoints->sideFile, sideNow))
        return {true, false, {}};
    return {false, true, "“" + sideName + "”在上次学习后有改动，改用其中的断点"};
}

std::string ResumeNotice(int32_t sentence) { return "从上次停下的第" + std::to_string(sentence + 1) + "句继续"; }

} // namespace vorel::study
