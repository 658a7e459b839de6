// The repeater's fixed rules, free of widgets: readings per range, the pause after
// a reading, and the texts built from them. GUI thread (pure functions).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorel::repeater {

inline constexpr int32_t Forever = 2147483647;

// The items of the two drop-down lists, in order.
const std::vector<std::string> &RepeatCountItems();
const std::vector<std::string> &PauseRuleItems();
inline constexpr int DefaultRepeatIndex = 1; // "1次"
inline constexpr int DefaultPauseIndex = 21; // "句长1/5"
inline constexpr int PauseNone = 0;          // "无": replay at once
inline constexpr int PauseWait = 1;          // "暂停": wait for play

// Readings per range for the repeat list's index; 1 for none (-1) or out of range.
int32_t RepeatCount(int index);
// The pause in ms after a reading of a range of rangeLength ms; 0 for "无",
// "暂停" and unknown indexes. Sentence-length rules never go below 1 ms.
int32_t PauseLength(int index, int32_t rangeLength);

// "朗读遍数：2/5", or "朗读遍数：1/永远".
std::string RepeatLabel(int32_t readCount, int32_t repeatCount);
// "共12个句子"
std::string SentenceCountText(int32_t sentences);
// The speed slider's hint for a change of percent (0 = normal speed).
std::string SpeedHint(int percent);
// "播放速率调整：120%"
std::string SpeedNotice(int percent);
// The speed box's caption: "变速器", with the speed while it is not 100 %.
std::string SpeedTitle(int percent);

// Play without a file: names what can be opened.
inline const char *const OpenFirstNotice =
    "请先打开一个音频或视频文件（WAV、MP3、FLAC、Ogg、Opus、M4A/M4B、MP4、MKV、WebM）。";

} // namespace vorel::repeater
