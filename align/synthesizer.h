// Text to speech in memory with eSpeak NG, for comparing a text with its
// recording; nothing reaches the sound card. The same text may come out a few
// samples longer or shorter after other texts: the engine keeps some state from
// one text to the next. eSpeak NG keeps one global state, so
// every call is serialised: any thread may call, one synthesis runs at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorel::align {

struct TSpeech {
    std::vector<int16_t> Samples; // mono
    uint32_t SampleRate = 0;
};

// The text (UTF-8) spoken by the voice ("en", "cmn", ...; an unknown voice falls
// back to "en"). Throws std::runtime_error when eSpeak NG cannot start (no voice
// data installed).
TSpeech Synthesize(const std::string &text, const std::string &voice);

} // namespace vorel::align
