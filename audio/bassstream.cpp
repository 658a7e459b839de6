#include "bassstream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include "tempfolder.h"
#include "slots.h"

namespace vorel::audio {

void TMemoryStream::resetToSize(int64_t n) {
    data_.assign(static_cast<size_t>(std::max<int64_t>(n, 0)), 0);
    pos_ = 0;
}

void TMemoryStream::write(const void *data, int64_t bytes) {
    if (bytes <= 0)
        return;
    const size_t end = static_cast<size_t>(pos_ + bytes);
    if (end > data_.size())
        data_.resize(end);
    std::memcpy(data_.data() + pos_, data, static_cast<size_t>(bytes));
    pos_ += bytes;
}

namespace {
[[noreturn]] void raiseIo(const char *what) {
    throw EAudioError(std::string("不能写入文件（") + what + "）：" + platform::SystemErrorText(errno));
}
} // namespace

void TFdStream::write(const void *data, int64_t bytes) {
    auto *p = static_cast<const uint8_t *>(data);
    while (bytes > 0) {
        const ssize_t n = ::write(fd_, p, static_cast<size_t>(bytes));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            raiseIo("write");
        }
        p += n;
        bytes -= n;
    }
}

void TFdStream::seek(int64_t pos) {
    if (::lseek(fd_, pos, SEEK_SET) < 0)
        raiseIo("lseek");
}

int64_t TFdStream::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        raiseIo("fstat");
    return st.st_size;
}

TBassStream::TBassStream(const std::string &path, bool initDevice_) : initDevice(initDevice_) {
    if (!core.BASS_StreamCreateFile)
        throw EAudioError("音频库未加载");
    if (initDevice)
        core.BASS_Init(0, 44100, 0, nullptr, nullptr);
    handle = OpenFileStream(path, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN | BASS_SAMPLE_LOOP);
    if (handle == 0) {
        // No destructor runs for a stream that was never made: undo the init here.
        // The error code is read first, BASS_Free would replace it.
        try {
            RaiseAudioError("不能打开文件", path);
        } catch (...) {
            if (initDevice)
                core.BASS_Free();
            throw;
        }
    }
    FillChannelInfo(handle, info);
}

int64_t TBassStream::ByteLengthNow() const {
    const QWORD n = core.BASS_ChannelGetLength(handle);
    return n == QWORD(-1) ? -1 : static_cast<int64_t>(n);
}

TBassStream::~TBassStream() {
    core.BASS_StreamFree(handle);
    if (initDevice)
        core.BASS_Free();
}

namespace {

void put16(uint8_t *p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void writeWavHeader(TByteStream &target, const TChannelInfo &info) {
    uint8_t h[44];
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, 0);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, info.channels == 1 ? 1 : 2);
    put32(h + 24, info.sampleRate);
    put32(h + 28, info.avgBytesPerSec);
    put16(h + 32, info.blockAlign);
    put16(h + 34, info.bitsPerSample);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, 0);
    target.write(h, sizeof h);
}

void patch32(TByteStream &target, int64_t offset, uint32_t value) {
    uint8_t b[4];
    put32(b, value);
    target.seek(offset);
    target.write(b, 4);
}

} // namespace

int64_t TBassStream::ExtractPcm(TByteStream &target, uint32_t startMs, uint32_t endMs,
                                bool withHeader) {
    const int64_t startByte = MsToBytes(handle, info, startMs);
    const int64_t count = endMs != 0 ? MsToBytes(handle, info, endMs) - startByte : info.byteLength - startByte;
    return ExtractBytes(target, startByte, count, withHeader);
}

int64_t TBassStream::ExtractBytes(TByteStream &target, int64_t startByte, int64_t count, bool withHeader,
                                  bool finalReport) {
    // The channel loops (so that reading on never stalls): an end past the file
    // would bring the file's beginning back as if it followed. A start past the
    // file is left to fail in the positioning below.
    if (startByte <= info.byteLength)
        count = std::min<int64_t>(count, info.byteLength - startByte);
    if (count <= 0)
        return 0;

    if (!core.BASS_ChannelSetPosition(handle, static_cast<QWORD>(startByte)))
        throw EAudioError(ErrorText(core.BASS_ErrorGetCode()));

    if (target.isMemory())
        target.resetToSize(count);
    if (withHeader)
        writeWavHeader(target, info);

    auto buffer = std::make_unique_for_overwrite<uint8_t[]>(ReadBlockSize);
    int64_t total = 0;
    bool cancel = false;
    while (core.BASS_ChannelIsActive(handle) != BASS_ACTIVE_STOPPED && total < count) {
        const DWORD got = core.BASS_ChannelGetData(handle, buffer.get(), ReadBlockSize);
        // (DWORD)-1 is a read error; 0 from a channel that says it is active would
        // otherwise spin here for ever. Either way the extraction ends.
        if (got == static_cast<DWORD>(-1) || got == 0)
            break;
        const int64_t n = std::min<int64_t>(got, count - total);
        target.write(buffer.get(), n);
        total += n;
        if (OnProgress) {
            OnProgress(static_cast<int32_t>(std::trunc(double(total) / double(count) * 100.0)),
                       cancel);
            if (cancel)
                break;
        }
    }
    buffer.reset();
    core.BASS_ChannelStop(handle);

    if (withHeader) {
        const int64_t size = target.size();
        // RIFF sizes are 32-bit: a larger file says "as large as it gets".
        const auto riff = [](int64_t v) { return static_cast<uint32_t>(std::min<int64_t>(v, 0xFFFFFFFF)); };
        patch32(target, 4, riff(size - 8));
        patch32(target, 40, riff(size - 44));
    }
    target.seek(0);
    if (OnProgress && finalReport) {
        bool ignored = false;
        OnProgress(100, ignored);
    }
    return total;
}

} // namespace vorel::audio
