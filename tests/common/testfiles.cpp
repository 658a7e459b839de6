#include "testfiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace vorel::test {

TempDir::TempDir() {
    const char *base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/voreltest-XXXXXX";
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string shellQuote(const std::string &s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

int runCommand(const std::string &command) {
    int rc = std::system(command.c_str());
    if (rc == -1 || !WIFEXITED(rc))
        return -1;
    return WEXITSTATUS(rc);
}

bool mustRun(const std::string &command) {
    int rc = runCommand(command);
    if (rc != 0)
        ADD_FAILURE() << "command failed (" << rc << "): " << command;
    return rc == 0;
}

const std::vector<MediaFormat> &mediaFormats() {
    // A picture track beside the sound, as in a video lesson.
#define VOREL_PICTURE "-f lavfi -i color=c=blue:s=64x48:r=5:d=3600 -shortest -c:v mpeg4 "
#define VOREL_FFMPEG "ffmpeg -nostdin -v error -y -i $IN "
    static const std::vector<MediaFormat> formats = {
        {"flac", "a.flac", VOREL_FFMPEG "$OUT"},
        {"ogg_vorbis", "a.ogg", "oggenc -Q -q 3 $IN -o $OUT"},
        {"opus", "a.opus", "opusenc --quiet --bitrate 64 $IN $OUT"},
        {"m4a_aac", "a.m4a", VOREL_FFMPEG "-c:a aac -b:a 96k $OUT"},
        {"m4b_aac_mono_22050", "a.m4b", VOREL_FFMPEG "-ac 1 -ar 22050 -c:a aac -b:a 32k -f ipod $OUT"},
        {"m4a_alac", "a.m4a", VOREL_FFMPEG "-c:a alac $OUT"},
        {"mp4_video_aac", "a.mp4", VOREL_FFMPEG VOREL_PICTURE "-c:a aac $OUT"},
        {"mov_aac", "a.mov", VOREL_FFMPEG "-c:a aac -f mov $OUT"},
        {"mp4_mp3", "a.mp4", VOREL_FFMPEG "-c:a libmp3lame -b:a 128k $OUT"},
        {"mkv_flac", "a.mkv", VOREL_FFMPEG "-c:a flac $OUT"},
        {"mkv_ac3_video", "a.mkv", VOREL_FFMPEG VOREL_PICTURE "-c:a ac3 $OUT"},
        {"mkv_vorbis", "a.mkv", VOREL_FFMPEG "-c:a libvorbis $OUT"},
        {"webm_opus", "a.webm", VOREL_FFMPEG "-c:a libopus -b:a 64k $OUT"},
    };
#undef VOREL_FFMPEG
#undef VOREL_PICTURE
    return formats;
}

const MediaFormat &mediaFormat(const std::string &name) {
    for (const MediaFormat &f : mediaFormats())
        if (name == f.name)
            return f;
    throw std::invalid_argument("no media format " + name);
}

bool encodeMedia(const MediaFormat &format, const std::string &source, const std::string &out) {
    std::string cmd = format.command;
    for (const auto &[from, to] : {std::pair<std::string, std::string>{"$IN", shellQuote(source)}, {"$OUT", shellQuote(out)}})
        for (size_t at = cmd.find(from); at != std::string::npos; at = cmd.find(from, at + to.size()))
            cmd.replace(at, from.size(), to);
    return mustRun(cmd);
}

std::vector<int16_t> tone(double hz, double seconds, int rate, int channels, double amplitude) {
    const size_t frames = static_cast<size_t>(std::llround(seconds * rate));
    std::vector<int16_t> out(frames * channels);
    for (size_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * hz * i / rate)));
        for (int c = 0; c < channels; ++c)
            out[i * channels + c] = v;
    }
    return out;
}

std::vector<int16_t> silence(double seconds, int rate, int channels) {
    return std::vector<int16_t>(static_cast<size_t>(std::llround(seconds * rate)) * channels, 0);
}

void append(std::vector<int16_t> &to, const std::vector<int16_t> &more) {
    to.insert(to.end(), more.begin(), more.end());
}

namespace {
void put32(std::vector<uint8_t> &b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put16(std::vector<uint8_t> &b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
std::vector<uint8_t> header(uint32_t dataBytes, int rate, int channels, int bits) {
    std::vector<uint8_t> h;
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    put32(h, 36 + dataBytes);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(h, 16);
    put16(h, 1);
    put16(h, static_cast<uint16_t>(channels));
    put32(h, static_cast<uint32_t>(rate));
    put32(h, static_cast<uint32_t>(rate) * align);
    put16(h, align);
    put16(h, static_cast<uint16_t>(bits));
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    put32(h, dataBytes);
    return h;
}
} // namespace

void writeWav16(const std::string &path, const std::vector<int16_t> &interleaved, int rate, int channels) {
    auto bytes = header(static_cast<uint32_t>(interleaved.size() * 2), rate, channels, 16);
    for (int16_t s : interleaved)
        put16(bytes, static_cast<uint16_t>(s));
    writeFile(path, bytes);
}

void writeWav8(const std::string &path, const std::vector<uint8_t> &interleaved, int rate, int channels) {
    auto bytes = header(static_cast<uint32_t>(interleaved.size()), rate, channels, 8);
    bytes.insert(bytes.end(), interleaved.begin(), interleaved.end());
    writeFile(path, bytes);
}

std::vector<uint8_t> readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void writeText(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

double crossingsPerSecond(const int16_t *interleaved, size_t frames, int channels, int channel, int rate) {
    if (frames < 2)
        return 0;
    size_t crossings = 0;
    for (size_t i = 1; i < frames; ++i) {
        const int a = interleaved[(i - 1) * channels + channel];
        const int b = interleaved[i * channels + channel];
        if ((a < 0 && b >= 0) || (a >= 0 && b < 0))
            ++crossings;
    }
    return crossings * static_cast<double>(rate) / static_cast<double>(frames);
}

TmpdirScope::TmpdirScope(const std::string &dir) {
    const char *old = std::getenv("TMPDIR");
    had_ = old != nullptr;
    if (had_)
        old_ = old;
    setenv("TMPDIR", dir.c_str(), 1);
}

TmpdirScope::~TmpdirScope() {
    if (had_)
        setenv("TMPDIR", old_.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

} // namespace vorel::test
