#include "studyrules.h"

#include <algorithm>
#include <iterator>

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

namespace {
// No breakpoint of list lies strictly between a and b.
bool nextTo(int32_t a, int32_t b, const std::vector<int32_t> &list) {
    const auto lo = std::upper_bound(list.begin(), list.end(), std::min(a, b));
    return lo == list.end() || *lo >= std::max(a, b);
}
} // namespace

std::vector<std::pair<int32_t, int32_t>> MovedStarts(const std::vector<int32_t> &before,
                                                     const std::vector<int32_t> &after, TEditMemory &memory) {
    std::vector<int32_t> removed, added;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(removed));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    const TEditMemory first = std::exchange(memory, {});
    std::vector<std::pair<int32_t, int32_t>> moves;
    if (removed.size() == 1 && added.empty()) {
        if (first.added >= 0 && nextTo(first.added, removed[0], after))
            moves.emplace_back(removed[0], first.added);
        else
            memory.removed = removed[0];
    } else if (added.size() == 1 && removed.empty()) {
        if (first.removed >= 0 && nextTo(first.removed, added[0], after))
            moves.emplace_back(first.removed, added[0]);
        else
            memory.added = added[0];
    } else if (removed.size() == added.size()) {
        // Times rounded in place keep their order.
        for (size_t i = 0; i < removed.size(); ++i)
            if (nextTo(removed[i], added[i], after))
                moves.emplace_back(removed[i], added[i]);
    }
    return moves;
}

} // namespace vorel::study
