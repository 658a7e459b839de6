// Test files made inside the tests: synthetic signals, WAV writing, external
// converters (sox, lame, espeak-ng) run through the shell.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorel::test {

// A fresh private folder, removed with everything in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Points TMPDIR (and so the program's private temp folder) at dir for the object's
// lifetime, then restores it.
class TmpdirScope {
public:
    explicit TmpdirScope(const std::string &dir);
    ~TmpdirScope();
    TmpdirScope(const TmpdirScope &) = delete;
    TmpdirScope &operator=(const TmpdirScope &) = delete;

private:
    bool had_ = false;
    std::string old_;
};

std::string shellQuote(const std::string &s);
// Runs a shell command; returns its exit status (-1 when it could not run).
int runCommand(const std::string &command);
// Fails the current test (ADD_FAILURE) when the command does not exit 0.
bool mustRun(const std::string &command);

// Interleaved 16-bit samples of a sine tone in every channel.
std::vector<int16_t> tone(double hz, double seconds, int rate, int channels, double amplitude = 12000);
std::vector<int16_t> silence(double seconds, int rate, int channels);
void append(std::vector<int16_t> &to, const std::vector<int16_t> &more);

// Canonical 44-byte-header PCM WAV files.
void writeWav16(const std::string &path, const std::vector<int16_t> &interleaved, int rate, int channels);
void writeWav8(const std::string &path, const std::vector<uint8_t> &interleaved, int rate, int channels);

std::vector<uint8_t> readFile(const std::string &path);
void writeFile(const std::string &path, const std::vector<uint8_t> &bytes);
void writeText(const std::string &path, const std::string &text);

// The encoders of the formats beyond WAV and MP3, each from a WAV source.
struct MediaFormat {
    const char *name;
    const char *file;    // a name with the extension the encoder wants
    const char *command; // $IN and $OUT stand for the source and the result
};
// flac, ogg_vorbis, opus, m4a_aac, m4b_aac_mono_22050, m4a_alac, mp4_video_aac,
// mov_aac, mp4_mp3, mkv_flac, mkv_ac3_video, mkv_vorbis, webm_opus.
const MediaFormat &mediaFormat(const std::string &name);
const std::vector<MediaFormat> &mediaFormats();
// Encodes source into out; fails the test (ADD_FAILURE) when the encoder does.
bool encodeMedia(const MediaFormat &format, const std::string &source, const std::string &out);

// Zero crossings per second of one channel of interleaved s16: a tone's pitch estimate
// (twice its frequency).
double crossingsPerSecond(const int16_t *interleaved, size_t frames, int channels, int channel, int rate);

} // namespace vorel::test
