#include "speedladder.h"

#include <algorithm>

namespace vorel::repeater {

const std::vector<TLadderItem> &LadderItems() {
    static const std::vector<TLadderItem> items = {
        {"同速", "每遍同速", {}},
        {"渐快", "渐快：70→85→100%", {-30, -15, 0}},
        {"慢起", "慢起：60→80→100%", {-40, -20, 0}},
        {"渐慢", "渐慢：100→80→60%", {0, -20, -40}},
    };
    return items;
}

int LadderIndex(const std::vector<int> &steps) {
    const std::vector<TLadderItem> &items = LadderItems();
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].steps == steps)
            return static_cast<int>(i);
    return 0;
}

int LadderSpeed(const std::vector<int> &steps, int32_t reading, int plain) {
    if (steps.empty())
        return plain;
    const size_t k = static_cast<size_t>(std::clamp<int64_t>(reading, 1, int64_t(steps.size())));
    return std::clamp(steps[k - 1], -40, 40);
}

std::string LadderNotice(const std::vector<int> &steps) {
    if (steps.empty())
        return "逐遍变速已关闭";
    std::string text = "逐遍变速：";
    for (size_t i = 0; i < steps.size(); ++i)
        text += (i ? "→" : "") + std::to_string(100 + LadderSpeed(steps, int32_t(i + 1), 0)) + "%";
    return text;
}

} // namespace vorel::repeater
