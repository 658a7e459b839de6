// What the program's player port does for a reading: [startMs, stopMs) of the open
// file, converted to the stream's bytes.
#pragma once

#include "channelinfo.h"
#include "player.h"

namespace vorel::audio::test {

inline void PlayMs(TBass &player, int64_t startMs, int64_t stopMs) {
    player.PlayBytes(MsToBytes(player.handle, player.info, startMs), MsToBytes(player.handle, player.info, stopMs));
}

} // namespace vorel::audio::test
