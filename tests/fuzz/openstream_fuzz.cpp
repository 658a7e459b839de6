// Arbitrary bytes as a WAV or MP3 file opened through the core library's file
// stream: opening either fails with an error code or gives a channel whose length,
// positioning and reads stay sane. Never a crash, a hang or an exception.
#include <cstdint>
#include <string>
#include <vector>

#include "audiolib.h"
#include "scratchfile.h"

using vorel::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool initialised = BASS_Init(0, 44100, 0, nullptr, nullptr) != FALSE;
    check(initialised);
    const std::string path = vorel::fuzz::ScratchFile(data, size);

    const HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
    if (h == 0) {
        const int code = BASS_ErrorGetCode();
        check(code == BASS_ERROR_FILEOPEN || code == BASS_ERROR_FILEFORM || code == BASS_ERROR_MEM);
        return 0;
    }
    BASS_CHANNELINFO info{};
    check(BASS_ChannelGetInfo(h, &info) != FALSE);
    check(info.chans >= 1 && info.freq >= VOREL_MIN_RATE && info.freq <= VOREL_MAX_RATE);
    const QWORD length = BASS_ChannelGetLength(h);
    check(length != static_cast<QWORD>(-1));
    // A little from the start and from the middle: enough to walk the decoder's
    // paths without decoding hours of a header's claims.
    std::vector<uint8_t> buf(1 << 16);
    const DWORD got = BASS_ChannelGetData(h, buf.data(), static_cast<DWORD>(buf.size()));
    check(got == static_cast<DWORD>(-1) || got <= buf.size());
    const DWORD frame = info.chans * ((info.flags & BASS_SAMPLE_8BITS) ? 1 : 2);
    if (BASS_ChannelSetPosition(h, length / 2 / frame * frame)) {
        const DWORD more = BASS_ChannelGetData(h, buf.data(), static_cast<DWORD>(buf.size()));
        check(more == static_cast<DWORD>(-1) || more <= buf.size());
    }
    check(BASS_StreamFree(h) != FALSE);
    return 0;
}
