#include "pcmsource.h"

#include <cstring>

#include "audio/bassstream.h"

namespace vorel::exports {

namespace {

class TStreamSource : public IPcmSource {
public:
    explicit TStreamSource(const std::string &path) : stream_(path, false) {}

    TPcm Read(int32_t startMs, int32_t endMs) override {
        audio::TMemoryStream buffer;
        stream_.ExtractPcm(buffer, static_cast<uint32_t>(startMs), static_cast<uint32_t>(endMs), false);
        const audio::TChannelInfo &info = stream_.info;
        TPcm pcm;
        pcm.sampleRate = static_cast<int32_t>(info.sampleRate);
        pcm.channels = info.channels;
        const size_t bytes = static_cast<size_t>(buffer.size());
        if (info.bitsPerSample == 8) {
            pcm.samples.resize(bytes);
            for (size_t i = 0; i < bytes; ++i)
                pcm.samples[i] = static_cast<int16_t>((buffer.data()[i] - 128) * 256);
        } else {
            pcm.samples.resize(bytes / 2);
            std::memcpy(pcm.samples.data(), buffer.data(), pcm.samples.size() * 2);
        }
        return pcm;
    }

private:
    audio::TBassStream stream_;
};

} // namespace

std::unique_ptr<IPcmSource> OpenRecording(const std::string &path) { return std::make_unique<TStreamSource>(path); }

} // namespace vorel::exports
