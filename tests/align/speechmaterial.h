// Lessons composed from recorded or synthesised clips with known sentence starts,
// noise to lay over them, and the score of an alignment against the truth.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "align/aligner.h"
#include "testfiles.h"

namespace vorel::test {

inline constexpr uint32_t SpeechRate = 16000;

// The sound of a file as 16 kHz mono floats, through sox.
std::vector<float> readSound(const std::string &path, const TempDir &dir);

struct TMaterial {
    std::vector<float> sound;
    std::string text;
    std::vector<int64_t> truthMs; // where each sentence's speech begins
};

// Clips joined in order with the given pauses between them (repeated as needed),
// filled with room tone at each clip's own background (about -50 dB for a clip
// without a quiet stretch). Each truth is where its clip's speech first stays
// 10 dB above the quieter of that background and the room.
TMaterial join(const std::vector<std::vector<float>> &clips, const std::vector<std::string> &texts,
               const std::vector<int32_t> &pausesMs, unsigned seed);

// Brownish noise (a room's rumble and hiss) at the given signal-to-noise ratio.
void addRoomNoise(std::vector<float> &s, double snrDb, unsigned seed);

// noise laid over s (looped when shorter), scaled so that s's speech (its 10 ms
// cells within 40 dB of its loudest) stands snrDb above the noise's mean power.
void addNoise(std::vector<float> &s, const std::vector<float> &noise, double snrDb);

align::TAlignment alignSound(const TMaterial &m, const std::string &voice = "en");

struct TScore {
    int within = 0, total = 0;
    double share() const { return total ? static_cast<double>(within) / total : 0; }
    void add(const TScore &o) {
        within += o.within;
        total += o.total;
    }
};

// Sentence starts within 100 ms of the truth; each sentence of the text once.
// Every miss is printed with its error when verbose.
TScore score(const align::TAlignment &a, const std::vector<int64_t> &truth, const char *what, bool verbose = true);

} // namespace vorel::test
