// The splitter over synthetic sample lists: L = loud, . = silent.
#include <gtest/gtest.h>

#include <string>

#include "segment/splitwave.h"

using vorel::segment::ESegmentError;
using vorel::segment::TSplitSettings;
using vorel::segment::TSplitWave;
using vorel::segment::TStrings;

namespace {

// Builds a sample list from runs: {count, value}.
TStrings samples(std::initializer_list<std::pair<int, int>> runs) {
    TStrings out;
    for (const auto &[count, value] : runs)
        for (int i = 0; i < count; ++i)
            out.push_back(std::to_string(value));
    return out;
}

TStrings split(const TStrings &in, TSplitSettings settings = {}) {
    TStrings out{"stale"};
    TSplitWave(settings).Split(in, out);
    return out;
}

constexpr int L = 5000; // loud
constexpr int S = 0;    // silent

} // namespace

TEST(SplitWave, Cases) {
    struct Case {
        const char *what;
        TStrings in;
        TStrings expected;
    };
    const std::vector<Case> cases = {
        {"worked example: one pause in the middle", samples({{40, L}, {10, S}, {50, L}}), {"0", "1800", "4000"}},
        {"empty list", {}, {"0", "0"}},
        {"no silence", samples({{100, L}}), {"0", "4000"}},
        {"silence everywhere", samples({{100, S}}), {"0", "4000"}},
        {"1800 and -1800 are loud", samples({{40, L}, {5, 1800}, {5, -1800}, {50, L}}), {"0", "4000"}},
        {"1799 and -1799 are silent", samples({{40, L}, {2, 1799}, {2, -1799}, {50, L}}), {"0", "1680", "3760"}},
        {"pause of 3 samples gives nothing", samples({{40, L}, {3, S}, {40, L}}), {"0", "3320"}},
        {"pause of 4 samples: its third sample", samples({{40, L}, {4, S}, {40, L}}), {"0", "1680", "3360"}},
        {"pause of 5 and 6 samples", samples({{40, L}, {5, S}, {40, L}, {6, S}, {10, L}}),
         {"0", "1680", "3520", "4040"}},
        {"candidate 30 samples after 0 dropped", samples({{28, L}, {4, S}, {40, L}}), {"0", "2880"}},
        {"candidate 31 samples after 0 accepted", samples({{29, L}, {4, S}, {40, L}}), {"0", "1240", "2920"}},
        {"leading silence", samples({{40, S}, {40, L}}), {"0", "3200"}},
        {"long leading silence", samples({{70, S}, {40, L}}), {"0", "1400", "4400"}},
        {"silence at the end", samples({{40, L}, {60, S}}), {"0", "4000"}},
        {"last sentence may be short", samples({{40, L}, {4, S}, {2, L}}), {"0", "1680", "1840"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(split(c.in), c.expected) << c.what;
}

TEST(SplitWave, InterruptedPauseRestartsOneSampleLater) {
    // Samples 10, 11 silent, 12 loud, 13..20 silent, 21 loud: the run restarts at
    // 14, giving candidate 17, which the filter drops (17 <= 30). Shift by 40 so
    // that it survives: 50, 51 silent, 52 loud, 53..60 silent -> run 54..60 -> 57.
    TStrings in = samples({{50, L}, {2, S}, {1, L}, {8, S}, {40, L}});
    EXPECT_EQ(split(in), (TStrings{"0", "2280", "4040"}));
    TSplitSettings tolerant;
    tolerant.GapTolerance = 1; // one run 50, 51, 53..60 of 10 indices -> its sixth, 56
    EXPECT_EQ(split(in, tolerant), (TStrings{"0", "2240", "4040"}));
}

TEST(SplitWave, DroppedCandidateDoesNotMoveTheReference) {
    // Candidates at 40 (accepted), 60 (dropped: 20 after 40) and 71 (31 after 40:
    // accepted although only 11 after the dropped one).
    TStrings in = samples({{38, L}, {4, S}, {16, L}, {4, S}, {7, L}, {4, S}, {20, L}});
    EXPECT_EQ(split(in), (TStrings{"0", "1600", "2840", "3720"}));
}

TEST(SplitWave, NonIntegerEntryIsAConversionError) {
    for (const char *bad : {"", "12a", "1.5", "99999999999"}) {
        try {
            split({"0", bad});
            ADD_FAILURE() << "accepted " << bad;
        } catch (const ESegmentError &e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
}
