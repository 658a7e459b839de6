#include "shadowing.h"

#include <algorithm>

#include "repeatrules.h"

namespace vorel::repeater {

const std::vector<std::string> &ReplayItems() {
    static const std::vector<std::string> items{"回放原句和录音", "只回放录音", "不回放"};
    return items;
}

int32_t SpeakingTime(int pauseIndex, int32_t rangeLength) {
    const int64_t least = (int64_t(std::max(rangeLength, 0)) * 3 + 1) / 2;
    return int32_t(std::clamp<int64_t>(std::max<int64_t>(PauseLength(pauseIndex, rangeLength), least), 0, Forever));
}

} // namespace vorel::repeater
