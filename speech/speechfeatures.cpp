#include "speechfeatures.h"

#include <aubio/aubio.h>

#include <cmath>
#include <stdexcept>

namespace vorel::speech {

void NormalizeFeatures(TFeatureMatrix &m) {
    const int64_t n = m.Frames();
    for (size_t d = 0; d < m.Dims; ++d) {
        double sum = 0, sq = 0;
        for (int64_t f = 0; f < n; ++f) {
            const double v = m.Row(f)[d];
            sum += v;
            sq += v * v;
        }
        const double mean = n ? sum / static_cast<double>(n) : 0;
        const double var = n > 1 ? sq / static_cast<double>(n) - mean * mean : 0;
        const double scale = var > 1e-12 ? 1 / std::sqrt(var) : 0;
        for (int64_t f = 0; f < n; ++f)
            m.Row(f)[d] = static_cast<float>((m.Row(f)[d] - mean) * scale);
    }
}

float FrameDistance(const float *a, const float *b, size_t dims) {
    float s = 0;
    for (size_t d = 0; d < dims; ++d) {
        const float x = a[d] - b[d];
        s += x * x;
    }
    return std::sqrt(s);
}

// --- MFCC ---

struct TMfcc::TAubio {
    aubio_pvoc_t *pvoc = nullptr;
    aubio_mfcc_t *mfcc = nullptr;
    fvec_t *in = nullptr;
    cvec_t *spectrum = nullptr;
    fvec_t *out = nullptr;
    ~TAubio() {
        if (pvoc)
            del_aubio_pvoc(pvoc);
        if (mfcc)
            del_aubio_mfcc(mfcc);
        if (in)
            del_fvec(in);
        if (spectrum)
            del_cvec(spectrum);
        if (out)
            del_fvec(out);
    }
};

TMfcc::TMfcc(const TMfccSettings &settings) : settings_(settings), a_(std::make_unique<TAubio>()) {
    if (settings.Hop == 0 || settings.Window < settings.Hop || settings.Coefficients == 0 || settings.SampleRate == 0)
        throw std::invalid_argument("MFCC settings");
    a_->pvoc = new_aubio_pvoc(settings.Window, settings.Hop);
    a_->mfcc = new_aubio_mfcc(settings.Window, settings.Filters, settings.Coefficients, settings.SampleRate);
    a_->in = new_fvec(settings.Hop);
    a_->spectrum = new_cvec(settings.Window);
    a_->out = new_fvec(settings.Coefficients);
    if (!a_->pvoc || !a_->mfcc || !a_->in || !a_->spectrum || !a_->out)
        throw std::invalid_argument("MFCC settings");
    pending_.reserve(settings.Hop);
}

TMfcc::~TMfcc() = default;

void TMfcc::Push(const float *samples, size_t count, TFeatureMatrix &out) {
    out.Dims = settings_.Coefficients;
    const size_t hop = settings_.Hop;
    auto frame = [&](const float *block) {
        // A dither at -100 dB keeps the logarithms of digital silence finite.
        for (size_t i = 0; i < hop; ++i) {
            dither_ = dither_ * 1664525u + 1013904223u;
            a_->in->data[i] = block[i] + (static_cast<float>(dither_ >> 8) / 16777216.0f - 0.5f) * 2e-5f;
        }
        aubio_pvoc_do(a_->pvoc, a_->in, a_->spectrum);
        aubio_mfcc_do(a_->mfcc, a_->spectrum, a_->out);
        out.Data.insert(out.Data.end(), a_->out->data, a_->out->data + settings_.Coefficients);
    };
    size_t i = 0;
    if (!pending_.empty()) {
        const size_t take = std::min(count, hop - pending_.size());
        pending_.insert(pending_.end(), samples, samples + take);
        i = take;
        if (pending_.size() < hop)
            return;
        frame(pending_.data());
        pending_.clear();
    }
    for (; i + hop <= count; i += hop)
        frame(samples + i);
    pending_.insert(pending_.end(), samples + i, samples + count);
}

// --- resampling ---

namespace {
constexpr int Taps = 16;     // each side of the point
constexpr int Phases = 256;  // steps of the fractional position
} // namespace

TResampler::TResampler(uint32_t inRate, uint32_t outRate) {
    if (inRate == 0 || outRate == 0)
        throw std::invalid_argument("sample rate 0");
    step_ = static_cast<double>(inRate) / outRate;
    cutoff_ = 0.9 * std::min(1.0, 1 / step_);
    table_.resize(static_cast<size_t>(Phases + 1) * 2 * Taps);
    for (int p = 0; p <= Phases; ++p) {
        const double frac = static_cast<double>(p) / Phases;
        double sum = 0;
        for (int k = 0; k < 2 * Taps; ++k) {
            const double t = (k - Taps + 1) - frac;
            const double x = M_PI * cutoff_ * t;
            const double sinc = std::abs(t) < 1e-9 ? 1 : std::sin(x) / x;
            const double w = 0.5 + 0.5 * std::cos(M_PI * t / Taps); // Hann
            table_[static_cast<size_t>(p) * 2 * Taps + k] = static_cast<float>(sinc * w);
            sum += sinc * w;
        }
        for (int k = 0; k < 2 * Taps; ++k)
            table_[static_cast<size_t>(p) * 2 * Taps + k] /= static_cast<float>(sum); // unit gain at 0 Hz
    }
    history_.assign(Taps, 0.0f);
    historyStart_ = -Taps;
}

void TResampler::Push(const float *in, size_t count, std::vector<float> &out) {
    history_.insert(history_.end(), in, in + count);
    const int64_t available = historyStart_ + static_cast<int64_t>(history_.size());
    for (;;) {
        const double x = static_cast<double>(next_) * step_;
        const auto base = static_cast<int64_t>(std::floor(x));
        if (base + Taps >= available)
            break;
        const auto phase = static_cast<size_t>(std::lround((x - static_cast<double>(base)) * Phases));
        const float *h = table_.data() + phase * 2 * Taps;
        const float *s = history_.data() + (base - Taps + 1 - historyStart_);
        float acc = 0;
        for (int k = 0; k < 2 * Taps; ++k)
            acc += h[k] * s[k];
        out.push_back(acc);
        ++next_;
    }
    // Keep what the next output still needs.
    const auto keepFrom = static_cast<int64_t>(std::floor(static_cast<double>(next_) * step_)) - Taps + 1;
    if (keepFrom > historyStart_ + 4096) {
        history_.erase(history_.begin(), history_.begin() + (keepFrom - historyStart_));
        historyStart_ = keepFrom;
    }
}

void TResampler::Finish(std::vector<float> &out) {
    const int64_t end = historyStart_ + static_cast<int64_t>(history_.size());
    const std::vector<float> silence(Taps + 1, 0.0f);
    Push(silence.data(), silence.size(), out);
    // Drop outputs that stand past the end of the real input.
    while (next_ > 0 && static_cast<double>(next_ - 1) * step_ >= static_cast<double>(end) && !out.empty()) {
        out.pop_back();
        --next_;
    }
}

} // namespace vorel::speech
