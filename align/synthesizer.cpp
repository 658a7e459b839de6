#include "synthesizer.h"

#include <espeak-ng/speak_lib.h>

#include <mutex>
#include <stdexcept>

namespace vorel::align {

namespace {

std::mutex &engineLock() {
    static std::mutex m;
    return m;
}

int collect(short *wav, int count, espeak_EVENT *events) {
    auto *out = static_cast<std::vector<int16_t> *>(events ? events->user_data : nullptr);
    if (out && wav && count > 0)
        out->insert(out->end(), wav, wav + count);
    return 0; // go on
}

// Started once per process, synchronous: the callback receives all the sound.
int sampleRate() {
    static const int rate = [] {
        const int r = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (r > 0)
            espeak_SetSynthCallback(collect);
        return r;
    }();
    return rate;
}

} // namespace

TSpeech Synthesize(const std::string &text, const std::string &voice) {
    const std::lock_guard<std::mutex> lock(engineLock());
    const int rate = sampleRate();
    if (rate <= 0)
        throw std::runtime_error("语音合成（eSpeak NG）无法启动");
    // Set for every text: another caller may have used another voice.
    if (espeak_SetVoiceByName(voice.c_str()) != EE_OK)
        espeak_SetVoiceByName("en");
    TSpeech speech;
    speech.SampleRate = static_cast<uint32_t>(rate);
    espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, &speech.Samples);
    return speech;
}

} // namespace vorel::align
