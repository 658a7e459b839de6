// Helpers shared by the API functions (api lock held where they touch channels).
#pragma once

#include "engine_state.h"

namespace vorel::audiolib {

// Sets the error code and returns value, for one-line failure paths.
template <typename T> T fail(DWORD code, T value) {
    setError(code);
    return value;
}
template <typename T> T ok(T value) {
    setError(BASS_OK);
    return value;
}

// The channel behind handle, or null with BASS_ERROR_HANDLE (or BASS_ERROR_INIT
// before BASS_Init).
std::shared_ptr<Channel> findChannel(DWORD handle);
// Registers ch in the handle table and, unless it is a decoding channel, in a
// mixer slot; returns its handle, 0 when every slot is taken.
DWORD registerChannel(std::shared_ptr<Channel> ch);
// Frees the channel (and what it frees with it).
void destroyChannel(DWORD handle);

} // namespace vorel::audiolib
