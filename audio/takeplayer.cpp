#include "takeplayer.h"

#include "channelinfo.h"
#include "slots.h"

namespace vorel::audio {

TTakePlayer::~TTakePlayer() { Stop(); }

bool TTakePlayer::Play(const std::string &path) {
    Stop();
    if (!core.BASS_StreamCreateFile)
        return false;
    handle_ = OpenFileStream(path, 0);
    if (handle_ != 0 && core.BASS_ChannelPlay(handle_, TRUE))
        return true;
    Stop();
    return false;
}

bool TTakePlayer::Playing() const {
    if (handle_ == 0)
        return false;
    const DWORD state = core.BASS_ChannelIsActive(handle_);
    return state == BASS_ACTIVE_PLAYING || state == BASS_ACTIVE_STALLED; // stalled: waits for its decoder
}

void TTakePlayer::Stop() {
    if (handle_ == 0)
        return;
    core.BASS_ChannelStop(handle_);
    core.BASS_StreamFree(handle_);
    handle_ = 0;
}

} // namespace vorel::audio
