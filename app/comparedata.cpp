#include "comparedata.h"

#include "pitchtrack.h"
#include "takecompare.h"

namespace vorel::app {

std::vector<int16_t> MonoOf(const std::vector<int16_t> &interleaved, int channels) {
    if (channels <= 1)
        return interleaved;
    std::vector<int16_t> mono(interleaved.size() / size_t(channels));
    for (size_t f = 0; f < mono.size(); ++f) {
        int32_t sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += interleaved[f * size_t(channels) + size_t(c)];
        mono[f] = int16_t(sum / channels);
    }
    return mono;
}

view::TCompareData BuildCompareData(std::vector<int16_t> sentence, uint32_t sentenceRate, std::vector<int16_t> take,
                                    uint32_t takeRate, int takeCount) {
    view::TCompareData d;
    d.hopSeconds = 0.01;
    d.sentencePitch = audio::PitchTrack(sentence.data(), sentence.size(), sentenceRate);
    d.takePitch = audio::PitchTrack(take.data(), take.size(), takeRate);
    // Frames of both analyses are the pitch track's (rate / 100 samples), so the
    // path indexes the contours directly.
    const speech::TTakeComparison c =
        speech::CompareTake(sentence.data(), sentence.size(), sentenceRate, take.data(), take.size(), takeRate, d.hopSeconds);
    d.path = c.Path.empty() ? view::StraightPath(int32_t(d.sentencePitch.size()), int32_t(d.takePitch.size())) : c.Path;
    d.similarity = c.Similarity;
    d.sentence = std::move(sentence);
    d.take = std::move(take);
    d.sentenceRate = sentenceRate;
    d.takeRate = takeRate;
    d.takeCount = takeCount;
    return d;
}

} // namespace vorel::app
