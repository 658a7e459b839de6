// What the player, the decoding stream and the analysis side share about an open
// audio file: the time grid, the channel information record, error texts and the
// time format. GUI thread only; library calls go through the entry-point slots.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "audiolib.h"

namespace vorel::audio {

// One amplitude value (one waveform column) per MsPerColumn ms of audio.
inline constexpr int ColumnsPerMinute = 1500;
inline constexpr int MsPerColumn = 60000 / ColumnsPerMinute;

// The program's general exception: carries one UTF-8 message, shown by the GUI.
class EAudioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A chapter mark of the container (an audiobook's or a video's chapters).
struct TChapter {
    int32_t startMs = 0;
    std::string title; // UTF-8, may be empty
    bool operator==(const TChapter &) const = default;
};

struct TChannelInfo {
    uint32_t fileSize = 0;
    // 64-bit: 16-bit stereo at 44.1 kHz passes 2^31 bytes after 3 h 22 m.
    int64_t byteLength = 0;
    int32_t duration = 0;   // ms
    int32_t pointCount = 0; // duration div MsPerColumn
    uint8_t channels = 0;
    uint16_t blockAlign = 0;
    uint8_t bitsPerSample = 0; // 8 or 16
    BASS_CHANNELINFO libInfo{};
    uint32_t avgBytesPerSec = 0;
    uint32_t sampleRate = 0;
    int32_t bitRate = 0; // kbit/s, even; 0 for a file of no length
    std::vector<TChapter> chapters; // in time order; empty for most files
};

// The chapters of a VOREL_TAG_CHAPTERS text (nullptr: none). A string without its
// tab or time is skipped; times past 2^31 - 1 ms are held there.
std::vector<TChapter> ParseChapters(const char *tags);

// BASS_StreamCreateFile on path, whole file, with flags; 0 on failure.
DWORD OpenFileStream(const std::string &path, DWORD flags);
void FillChannelInfo(DWORD handle, TChannelInfo &info);
// The byte offset of the frame that begins ms milliseconds into the audio described
// by info (frames rounded down). Integer arithmetic: the library's conversion takes
// float seconds, which past an hour no longer resolve single frames. Falls back to
// the library for a record without format (no file).
int64_t MsToBytes(DWORD handle, const TChannelInfo &info, int64_t ms);
std::string ErrorText(uint32_t code);
// Throws EAudioError: operation + path + "! \r\n" + "原因[" + code + "]：" + ErrorText(code),
// the code read with BASS_ErrorGetCode.
[[noreturn]] void RaiseAudioError(const std::string &operation, const std::string &path);
std::string FormatTime(int64_t ms);

} // namespace vorel::audio
