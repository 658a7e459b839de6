// Reaching the PCM of a whole file: in place through a read-only mapping for
// plain PCM WAV, otherwise decoded into memory or, beyond MemoryDecodeLimit, into
// a temporary WAV file that is then read in place.
#include "samplelist.h"

#include <unistd.h>

#include <algorithm>

#include "platform/mappedfile.h"
#include "platform/tempfolder.h"
#include "wavlayout.h"

namespace vorel::segment {

namespace {

constexpr size_t WaveHeaderSize = 44; // as ExtractPcm writes it
// Mapped PCM is sampled a window at a time, and the pages behind are let go, so
// that an hour of audio does not stay resident.
constexpr size_t SampleWindowBytes = 4 << 20;

void sampleMapped(platform::MappedFile &map, size_t offset, size_t size, const audio::TChannelInfo &info,
                  TStrings &out) {
    out.clear();
    const auto layout = TWaveSampleList::BlockLayout(size, TWaveSampleList::SampleCountFor(info.duration));
    out.reserve(layout.blocks);
    const size_t window = std::max<size_t>(1, SampleWindowBytes / std::max<size_t>(layout.blockSize, 1));
    for (size_t first = 0; first < layout.blocks; first += window) {
        const size_t count = std::min(window, layout.blocks - first);
        TWaveSampleList::SampleBlocks(info.bitsPerSample, info.channels, map.data() + offset + first * layout.blockSize,
                                      layout.blockSize, count, out);
        map.ReleaseBefore(offset + (first + count) * layout.blockSize);
    }
}

bool isWaveType(DWORD ctype) {
    return ctype == BASS_CTYPE_STREAM_WAV || ctype == BASS_CTYPE_STREAM_WAV_PCM ||
           ctype == BASS_CTYPE_STREAM_WAV_FLOAT;
}

// Samples a mapped PCM WAV file in place, or returns false when the file's own
// layout does not allow it (then it must be decoded).
bool sampleInPlace(const std::string &path, const audio::TChannelInfo &info, TStrings &out) {
    platform::MappedFile map(path);
    const auto layout = FindPcmData(map.data(), map.size());
    // The decoder's view must agree with the header, or the blocks would cut
    // frames differently from what the stream reports.
    if (!layout || layout->channels != info.channels || layout->bitsPerSample != info.bitsPerSample)
        return false;
    size_t size = layout->dataBytes;
    if (info.byteLength >= 0 && static_cast<size_t>(info.byteLength) < size)
        size = static_cast<size_t>(info.byteLength);
    sampleMapped(map, layout->dataOffset, size, info, out);
    return true;
}

// Deletes the temporary file and closes its descriptor on every way out.
class TempWave {
public:
    TempWave() : fd_(platform::MakeTempFile(platform::PrivateTempFolder(), "WAV", path_)) {}
    ~TempWave() {
        closeFd();
        ::unlink(path_.c_str());
    }
    TempWave(const TempWave &) = delete;
    TempWave &operator=(const TempWave &) = delete;
    int fd() const { return fd_; }
    const std::string &path() const { return path_; }
    void closeFd() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    std::string path_;
    int fd_ = -1;
};

} // namespace

void TWaveSampleList::SampleFile(const std::string &path, bool initDevice) {
    lastPath_ = TSamplingPath::None;
    audio::TBassStream stream(path, initDevice);
    const audio::TChannelInfo &info = stream.info;
    TStrings result;

    if (isWaveType(info.libInfo.ctype) && sampleInPlace(path, info, result)) {
        Samples = std::move(result);
        lastPath_ = TSamplingPath::InPlace;
        return;
    }

    // The main window never cancels; a cancelled decoding leaves no envelope
    // rather than one stretched over a partial buffer.
    bool cancelled = false;
    stream.SetOnProgress([this, &cancelled](int32_t percent, bool &cancel) {
        if (progress_)
            progress_(percent, cancel);
        if (cancel && percent < 100)
            cancelled = true;
    });

    TSamplingPath route;
    if (info.byteLength <= MemoryDecodeLimit) {
        audio::TMemoryStream buffer;
        stream.ExtractPcm(buffer, 0, 0, false);
        if (!cancelled)
            SampleBuffer(info.bitsPerSample, info.channels, buffer.data(), static_cast<size_t>(buffer.size()),
                         SampleCountFor(info.duration), result);
        route = TSamplingPath::Memory;
    } else {
        TempWave temp;
        int32_t written;
        {
            audio::TFdStream target(temp.fd());
            written = stream.ExtractPcm(target, 0, 0, true);
        }
        temp.closeFd();
        if (!cancelled) {
            // We wrote this file ourselves: a 44-byte header, then the stream's
            // PCM in the stream's format, so it needs no second decoder to read.
            platform::MappedFile map(temp.path());
            const size_t held = map.size() > WaveHeaderSize ? map.size() - WaveHeaderSize : 0;
            const size_t size = std::min(held, static_cast<size_t>(std::max(written, 0)));
            sampleMapped(map, size ? WaveHeaderSize : 0, size, info, result);
        }
        route = TSamplingPath::TempFile;
    }
    Samples = std::move(result);
    lastPath_ = route;
}

} // namespace vorel::segment
