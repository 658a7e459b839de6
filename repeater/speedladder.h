// A speed ladder: one speed per reading of a sentence, so that a learner hears it
// slow first and at its own speed last (or the other way round). Pure functions,
// any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorel::repeater {

// One item of the ladder list: its short name (the closed list shows it), its
// text in the open list, and its steps as tempo changes in percent (0 = 100 %);
// the first item has no steps: the plain speed.
struct TLadderItem {
    std::string name, text;
    std::vector<int> steps;
};
const std::vector<TLadderItem> &LadderItems();

// The item whose steps these are; 0 (the plain speed) for steps not listed.
int LadderIndex(const std::vector<int> &steps);

// The tempo change of reading k (from 1) of a sentence: step min(k, last), within
// the slider's −40..40; the plain speed without steps.
int LadderSpeed(const std::vector<int> &steps, int32_t reading, int plain);

// The info line when a ladder is chosen: "逐遍变速：70%→85%→100%" or "逐遍变速已关闭".
std::string LadderNotice(const std::vector<int> &steps);

} // namespace vorel::repeater
