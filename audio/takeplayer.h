// A kept take played on a channel of its own through the core library, beside the
// lesson's channel, whose position, range and syncs it leaves alone. GUI thread
// only (or the one thread that owns it).
#pragma once

#include <string>

#include "audiolib.h"

namespace vorel::audio {

class TTakePlayer {
public:
    TTakePlayer() = default;
    ~TTakePlayer(); // stops and frees the channel
    TTakePlayer(const TTakePlayer &) = delete;
    TTakePlayer &operator=(const TTakePlayer &) = delete;

    // Stops what plays, then plays the file at path (a take) from its start; false
    // when it cannot be opened or played.
    bool Play(const std::string &path);
    // True from Play until the take has played to its end or was stopped.
    bool Playing() const;
    void Stop();

private:
    DWORD handle_ = 0;
};

} // namespace vorel::audio
