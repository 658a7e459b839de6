// Where the clips' sound comes from: ranges of a recording as 16-bit PCM.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vorel::exports {

// Interleaved 16-bit PCM.
struct TPcm {
    int32_t sampleRate = 0;
    int32_t channels = 0;
    std::vector<int16_t> samples;
    int64_t Frames() const { return channels ? static_cast<int64_t>(samples.size()) / channels : 0; }
};

// A recording's sound by time range. One thread at a time.
class IPcmSource {
public:
    virtual ~IPcmSource() = default;
    // The frames from startMs to endMs (bounded by the end of the recording).
    // Throws std::runtime_error with a message for the user when it cannot read.
    virtual TPcm Read(int32_t startMs, int32_t endMs) = 0;
};

// Reads through a decoding stream of its own (the player is not touched); 8-bit
// sound comes out as 16-bit. Needs the audio libraries bound. Throws the
// decoder's error when the file cannot be opened.
std::unique_ptr<IPcmSource> OpenRecording(const std::string &path);

} // namespace vorel::exports
