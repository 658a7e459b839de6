#include "capture.h"

#include <algorithm>

#include "slots.h"

namespace vorel::audio {

TCapture::~TCapture() { Close(); }

bool TCapture::Open(uint32_t rate) {
    Close();
    if (!core.BASS_RecordInit) {
        error_ = BASS_ERROR_INIT;
        return false;
    }
    if (!core.BASS_RecordInit(-1)) {
        error_ = core.BASS_ErrorGetCode();
        return false;
    }
    initialised_ = true;
    handle_ = core.BASS_RecordStart(rate, 1, 0, nullptr, 0);
    if (!handle_) {
        error_ = core.BASS_ErrorGetCode();
        Close();
        return false;
    }
    error_ = BASS_OK;
    framesRead_ = 0;
    return true;
}

bool TCapture::Read(std::vector<int16_t> &to) {
    if (!handle_) return false;
    // What waits now, no more: a capture faster than this loop must not keep it
    // here. At least one real read, which is what reports a lost capture.
    const DWORD waiting = core.BASS_ChannelGetData(handle_, nullptr, 0);
    DWORD left = waiting == DWORD(-1) ? DWORD(sizeof(int16_t)) : std::max<DWORD>(waiting, sizeof(int16_t));
    int16_t buf[4096];
    do {
        const DWORD n = core.BASS_ChannelGetData(handle_, buf, std::min<DWORD>(left, sizeof buf));
        if (n == DWORD(-1)) {
            error_ = core.BASS_ErrorGetCode();
            return false;
        }
        to.insert(to.end(), buf, buf + n / sizeof(int16_t));
        framesRead_ += n / sizeof(int16_t);
        left -= std::min(left, n);
        if (n == 0) break;
    } while (left > 0);
    return true;
}

void TCapture::Close() {
    if (handle_) core.BASS_ChannelStop(handle_);
    handle_ = 0;
    if (initialised_) core.BASS_RecordFree();
    initialised_ = false;
}

} // namespace vorel::audio
