// Shadowing's rules, free of widgets: how long the learner may speak after a
// reading, and what is played back before the next one. GUI thread (pure functions).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorel::repeater {

// What plays after a take, before the next reading.
enum class TReplay { SentenceThenTake = 0, TakeOnly = 1, Nothing = 2 };

// The replay list's items, in TReplay's order.
const std::vector<std::string> &ReplayItems();

// The time to speak after a reading of rangeLength ms under pause rule pauseIndex:
// the pause the rule gives, but at least 1.5 times the reading (a learner speaks
// more slowly than the recording). The rule "暂停" gives no time of its own.
int32_t SpeakingTime(int pauseIndex, int32_t rangeLength);

} // namespace vorel::repeater
