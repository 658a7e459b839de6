#include "alignjob.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "bassstream.h"
#include "textfile.h"

namespace vorel::align {

namespace {

// Decoded PCM (interleaved, 8-bit unsigned or 16-bit signed) to mono for the analysis.
class TMonoSink : public audio::TByteStream {
public:
    TMonoSink(TRecordingAnalysis &a, const audio::TChannelInfo &info)
        : a_(a), channels_(std::max<int>(1, info.channels)), bytes_(info.bitsPerSample == 8 ? 1 : 2) {}
    void write(const void *data, int64_t bytes) override {
        const auto *p = static_cast<const uint8_t *>(data);
        pending_.insert(pending_.end(), p, p + bytes);
        const size_t frame = static_cast<size_t>(channels_ * bytes_), frames = pending_.size() / frame;
        mono_.resize(frames);
        for (size_t f = 0; f < frames; ++f) {
            float sum = 0;
            for (int c = 0; c < channels_; ++c) {
                const uint8_t *s = pending_.data() + f * frame + static_cast<size_t>(c * bytes_);
                if (bytes_ == 1) {
                    sum += (s[0] - 128) / 128.0f;
                } else {
                    int16_t v;
                    std::memcpy(&v, s, 2);
                    sum += v / 32768.0f;
                }
            }
            mono_[f] = sum / static_cast<float>(channels_);
        }
        a_.Push(mono_.data(), frames);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(frames * frame));
        size_ += bytes;
    }
    void seek(int64_t) override {}
    int64_t size() const override { return size_; }

private:
    TRecordingAnalysis &a_;
    int channels_, bytes_;
    std::vector<uint8_t> pending_;
    std::vector<float> mono_;
    int64_t size_ = 0;
};

// Decoding is about a third of the work for compressed files.
constexpr int32_t DecodeShare = 30;

} // namespace

TAlignJob::TAlignJob(std::string audioPath, std::string textPath, std::string voice)
    : path_(std::move(audioPath)), textPath_(std::move(textPath)), voice_(std::move(voice)) {
    worker_ = std::thread([this] { run(); });
}

std::shared_ptr<TAlignJob> TAlignJob::ForAudio(const std::string &audioPath) {
    const std::string text = TextFileFor(audioPath);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(text, ec))
        return nullptr;
    return std::make_shared<TAlignJob>(audioPath, text);
}

TAlignJob::~TAlignJob() {
    cancel_ = true;
    if (worker_.joinable())
        worker_.join();
}

const TAlignment &TAlignJob::Result() const {
    if (error_)
        std::rethrow_exception(error_);
    return result_;
}

std::string TAlignJob::Notice() const {
    if (!Finished())
        return "";
    try {
        return AlignmentNotice(Result());
    } catch (const std::exception &e) {
        return std::string("文本对齐失败：") + e.what();
    }
}

bool TAlignJob::Take(std::vector<segment::TCue> &cues, std::string &notice) const {
    if (!Finished())
        return false;
    cues = error_ ? std::vector<segment::TCue>{} : CuesOf(result_);
    notice = Notice();
    return true;
}

void TAlignJob::run() {
    const auto t0 = std::chrono::steady_clock::now();
    try {
        const std::string text = ReadTextFile(textPath_);
        if (voice_.empty())
            voice_ = DetectLanguage(text);
        sentences_ = SplitSentences(text, voice_);
        audio::TBassStream stream(path_, false);
        TRecordingAnalysis analysis(stream.info.sampleRate);
        stream.SetOnProgress([this](int32_t percent, bool &cancel) {
            percent_ = percent * DecodeShare / 100;
            cancel = cancel_.load();
        });
        TMonoSink sink(analysis, stream.info);
        stream.ExtractBytes(sink, 0, stream.info.byteLength, false);
        analysis.Finish();
        if (!cancel_)
            result_ = AlignSentences(sentences_, voice_, analysis, [this](double done) {
                percent_ = DecodeShare + static_cast<int32_t>(done * (99 - DecodeShare));
                return !cancel_.load();
            });
    } catch (...) {
        error_ = std::current_exception();
    }
    elapsedMs_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    percent_ = 100;
    finished_ = true;
}

} // namespace vorel::align
