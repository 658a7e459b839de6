#include "channelinfo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "slots.h"

namespace vorel::audio {

DWORD OpenFileStream(const std::string &path, DWORD flags) {
    return core.BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, flags);
}

void FillChannelInfo(DWORD handle, TChannelInfo &info) {
    info.fileSize = core.BASS_StreamGetFilePosition(handle, BASS_FILEPOS_END);
    // The library's "not available" (QWORD)-1 becomes -1.
    info.byteLength = static_cast<int64_t>(core.BASS_ChannelGetLength(handle));
    const QWORD lengthBytes = static_cast<QWORD>(info.byteLength);
    // nearbyint in the default rounding mode rounds halves to even. Times are
    // 32-bit milliseconds (24.8 days): a longer claim is held at the limit, never
    // wrapped to a negative length.
    const double ms = std::nearbyint(double(core.BASS_ChannelBytes2Seconds(handle, lengthBytes)) * 1000.0);
    info.duration = ms >= double(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                    : ms > 0                                          ? static_cast<int32_t>(ms)
                                                                      : 0;
    info.pointCount = info.duration / MsPerColumn;

    info.libInfo = BASS_CHANNELINFO{};
    core.BASS_ChannelGetInfo(handle, &info.libInfo);
    info.channels = static_cast<uint8_t>(info.libInfo.chans);
    info.bitsPerSample = (info.libInfo.flags & BASS_SAMPLE_8BITS) ? 8 : 16;
    info.blockAlign = static_cast<uint16_t>(info.channels * info.bitsPerSample / 8);

    DWORD freq = 0, volume = 0;
    int pan = 0;
    core.BASS_ChannelGetAttributes(handle, &freq, &volume, &pan);
    info.sampleRate = freq;
    info.avgBytesPerSec = info.sampleRate * info.blockAlign;

    // A file of no length (or a failed conversion) has no bit rate; the plain
    // formula would divide by zero.
    const double seconds = core.BASS_ChannelBytes2Seconds(handle, lengthBytes);
    info.bitRate = 0;
    if (seconds > 0) {
        const double kbps = std::trunc(info.fileSize / (seconds * 125.0) + 0.5);
        int32_t rate = kbps >= std::numeric_limits<int32_t>::max()
                           ? std::numeric_limits<int32_t>::max()
                           : static_cast<int32_t>(kbps);
        if (rate % 2 != 0)
            rate -= 1;
        info.bitRate = rate;
    }
    // Optional: a core without the tag (a test's fake) has no chapters.
    info.chapters =
        ParseChapters(core.BASS_ChannelGetTags ? core.BASS_ChannelGetTags(handle, VOREL_TAG_CHAPTERS) : nullptr);
}

std::vector<TChapter> ParseChapters(const char *tags) {
    std::vector<TChapter> out;
    for (const char *p = tags; p && *p; p += std::strlen(p) + 1) {
        const char *tab = std::strchr(p, '\t');
        char *end = nullptr;
        const long long ms = std::strtoll(p, &end, 10);
        if (!tab || end != tab || end == p || ms < 0)
            continue;
        out.push_back({static_cast<int32_t>(std::min<long long>(ms, std::numeric_limits<int32_t>::max())), tab + 1});
    }
    return out;
}

int64_t MsToBytes(DWORD handle, const TChannelInfo &info, int64_t ms) {
    if (ms <= 0)
        return 0;
    if (info.sampleRate == 0 || info.blockAlign == 0)
        return static_cast<int64_t>(core.BASS_ChannelSeconds2Bytes(handle, static_cast<float>(ms / 1000.0)));
    return ms * info.sampleRate / 1000 * info.blockAlign;
}

std::string ErrorText(uint32_t code) {
    switch (code) {
    case 1: return "内存错误";
    case 2: return "不能打开文件";
    case 3: return "找不到空闲的声卡";
    case 4: return "the sample buffer was lost - please report this!";
    case 5: return "无效句柄";
    case 6: return "不支持该格式";
    case 7: return "回放位置不正确";
    case 8: return "BASS_Init has not been successfully called";
    case 9: return "BASS_Start has not been successfully called";
    case 14: return "already initialized/paused/whatever";
    case 16: return "not paused";
    case 17: return "文件中没有音轨";
    case 18: return "can't get a free channel";
    case 19: return "an illegal type was specified";
    case 20: return "an illegal parameter was specified";
    case 21: return "no 3D support";
    case 22: return "no EAX support";
    case 23: return "illegal device number";
    case 24: return "not playing";
    case 25: return "illegal sample rate";
    case 27: return "the stream is not a file stream";
    case 29: return "no hardware voices available";
    case 31: return "the MOD music has no sequence data";
    case 32: return "no internet connection could be opened";
    case 33: return "不能创建该文件";
    case 34: return "effects are not enabled";
    case 35: return "the channel is playing";
    case 37: return "requested data is not available";
    case 38: return "the channel is a \"decoding channel\" ";
    case 39: return "a sufficient DirectX version is not installed";
    case 40: return "connection timedout";
    case 41: return "不支持该文件格式";
    case 42: return "unavailable speaker";
    case 43: return "invalid BASS version (used by add-ons)";
    case 44: return "codec is not available/supported";
    case 100:
        return "The chan is not a decoding channel. Make sure the chan was created using "
               "BASS_STREAM_DECODE / BASS_MUSIC_DECODE flag";
    case 0xFFFFFFFFu: return "some other mystery error";
    default: return "不明确错误！";
    }
}

void RaiseAudioError(const std::string &operation, const std::string &path) {
    const DWORD code = core.BASS_ErrorGetCode();
    // The library's codes are signed in its own documentation: -1, not 4294967295.
    throw EAudioError(operation + path + "! \r\n" + "原因[" +
                      std::to_string(static_cast<int32_t>(code)) + "]：" + ErrorText(code));
}

std::string FormatTime(int64_t ms) {
    if (ms < 0)
        ms = 0;
    const long long hours = ms / 3600000;
    const int minutes = static_cast<int>(ms / 60000 % 60);
    const int seconds = static_cast<int>(ms / 1000 % 60);
    const int millis = static_cast<int>(ms % 1000);
    char text[32];
    if (ms >= 3600000)
        std::snprintf(text, sizeof text, "%02lld:%02d:%02d", hours, minutes, seconds);
    else if (ms >= 60000)
        std::snprintf(text, sizeof text, "%02d:%02d", minutes, seconds);
    else if (ms >= 1000)
        std::snprintf(text, sizeof text, "%d.%02d", seconds, millis / 10);
    else
        std::snprintf(text, sizeof text, "%02d", millis / 10);
    return text;
}

} // namespace vorel::audio
