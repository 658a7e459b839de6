// A decoding stream over one audio file: its channel information and any time
// range of it as raw PCM or a complete WAV file. One thread at a time per stream;
// streams of their own may decode on several threads at once (the sampler's
// parts). The stream owns its decoding channel and frees it in its destructor.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "channelinfo.h"

namespace vorel::audio {

// Where ExtractPcm writes: an in-memory buffer or a file. Seekable byte sink.
class TByteStream {
public:
    virtual ~TByteStream() = default;
    virtual bool isMemory() const { return false; }
    // In-memory only: empty it and set its size (position 0).
    virtual void resetToSize(int64_t) {}
    virtual void write(const void *data, int64_t bytes) = 0;
    virtual void seek(int64_t pos) = 0;
    virtual int64_t size() const = 0;
};

class TMemoryStream : public TByteStream {
public:
    bool isMemory() const override { return true; }
    void resetToSize(int64_t n) override;
    void write(const void *data, int64_t bytes) override;
    void seek(int64_t pos) override { pos_ = pos; }
    int64_t size() const override { return static_cast<int64_t>(data_.size()); }
    const uint8_t *data() const { return data_.data(); }
    void clear() { data_.clear(); data_.shrink_to_fit(); pos_ = 0; }

private:
    std::vector<uint8_t> data_;
    int64_t pos_ = 0;
};

// Writes to a file descriptor it does not own. Throws EAudioError on write failure.
class TFdStream : public TByteStream {
public:
    explicit TFdStream(int fd) : fd_(fd) {}
    void write(const void *data, int64_t bytes) override;
    void seek(int64_t pos) override;
    int64_t size() const override;

private:
    int fd_;
};

// percent 0..100, cancel may be set by the handler.
using TProgressEvent = std::function<void(int32_t percent, bool &cancel)>;

class TBassStream {
public:
    static constexpr int32_t ReadBlockSize = 1024000;

    // Throws EAudioError ("不能打开文件" + path shape) when the file cannot be opened.
    TBassStream(const std::string &path, bool initDevice);
    ~TBassStream();
    TBassStream(const TBassStream &) = delete;
    TBassStream &operator=(const TBassStream &) = delete;

    void SetOnProgress(TProgressEvent handler) { OnProgress = std::move(handler); }
    // PCM bytes written (header not counted); endMs 0 = to the end of the file, and
    // an end past the file stops there. end <= start: 0, target untouched. A start
    // past the file with an end after it throws EAudioError with the library's error
    // text alone.
    int64_t ExtractPcm(TByteStream &target, uint32_t startMs, uint32_t endMs, bool withHeader);
    // ExtractPcm by bytes: count bytes from startByte (both whole frames), bounded
    // by the end of the file. finalReport false leaves out the closing report of
    // 100, for a caller that reports the progress of several parts as one.
    int64_t ExtractBytes(TByteStream &target, int64_t startByte, int64_t count, bool withHeader,
                         bool finalReport = true);

    DWORD handle = 0;
    bool initDevice = false;
    // The length in bytes as the decoder knows it now: less than info.byteLength
    // once a read has met the real end of a file that claimed more (cut,
    // damaged). -1 when not available.
    int64_t ByteLengthNow() const;

    TChannelInfo info;
    TProgressEvent OnProgress;
};

} // namespace vorel::audio
