// A short self-contained playback check for the Vorelplay executable: plays two
// seconds of a generated recording at 80 % speed through the real player.
// Needs the audio libraries bound (slots.h). Caller's thread; blocks for the
// playing time (about 3 s).
#pragma once

#include <ostream>

namespace vorel::audio {

// Prints one line when it starts and one when the range has ended. Returns 0 when
// WM_SEGMENT_END arrived, 1 (after printing the error text) on any failure.
int RunPlayerDemo(std::ostream &out);

} // namespace vorel::audio
