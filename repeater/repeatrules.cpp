#include "repeatrules.h"

#include <algorithm>

namespace vorel::repeater {

const std::vector<std::string> &RepeatCountItems() {
    static const std::vector<std::string> items = {"永远", "1次", "2次", "3次", "5次", "10次", "20次", "30次"};
    return items;
}

const std::vector<std::string> &PauseRuleItems() {
    static const std::vector<std::string> items = {
        "无",      "暂停",     "0.5秒",    "1秒",      "3秒",      "5秒",     "10秒",    "20秒",
        "30秒",    "60秒",     "句长",     "句长+1秒", "句长-1秒", "句长+3秒", "句长-3秒", "句长+5秒",
        "句长-5秒", "句长2倍", "句长1/2",  "句长3倍",  "句长1/3",  "句长1/5", "句长1/10"};
    return items;
}

int32_t RepeatCount(int index) {
    static const int32_t counts[] = {Forever, 1, 2, 3, 5, 10, 20, 30};
    if (index < 0 || index >= static_cast<int>(std::size(counts)))
        return 1;
    return counts[index];
}

int32_t PauseLength(int index, int32_t rangeLength) {
    // 64-bit so that "three times" a day-long range cannot wrap.
    const int64_t L = rangeLength;
    auto atLeast1 = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, 1, Forever)); };
    auto fit = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, 0, Forever)); };
    switch (index) {
    case 2: return 500;
    case 3: return 1000;
    case 4: return 3000;
    case 5: return 5000;
    case 6: return 10000;
    case 7: return 20000;
    case 8: return 30000;
    case 9: return 60000;
    case 10: return fit(L);
    case 11: return fit(L + 1000);
    case 12: return atLeast1(L - 1000);
    case 13: return fit(L + 3000);
    case 14: return atLeast1(L - 3000);
    case 15: return fit(L + 5000);
    case 16: return atLeast1(L - 5000);
    case 17: return fit(2 * L);
    case 18: return atLeast1(L / 2);
    case 19: return fit(3 * L);
    case 20: return atLeast1(L / 3);
    case 21: return atLeast1(L / 5);
    case 22: return atLeast1(L / 10);
    default: return 0;
    }
}

std::string RepeatLabel(int32_t readCount, int32_t repeatCount) {
    return "朗读遍数：" + std::to_string(readCount) + "/" +
           (repeatCount == Forever ? std::string("永远") : std::to_string(repeatCount));
}

std::string SentenceCountText(int32_t sentences) { return "共" + std::to_string(sentences) + "个句子"; }

std::string SpeedHint(int percent) {
    if (percent == 0)
        return "变速器--正常速度播放";
    return "变速器--" + std::to_string(100 + percent) + "%速度播放";
}

std::string SpeedNotice(int percent) { return "播放速率调整：" + std::to_string(100 + percent) + "%"; }

std::string SpeedTitle(int percent) {
    return percent == 0 ? "变速器" : "变速器 " + std::to_string(100 + percent) + "%";
}

} // namespace vorel::repeater
