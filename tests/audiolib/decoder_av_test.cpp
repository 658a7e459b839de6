// FLAC, Ogg Vorbis, Opus and the audio of MP4/M4A/M4B, MOV, Matroska and WebM
// files, all made here from one source by the usual encoders.
#include "decoder.h"

#include "audiolib.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using vorel::audiolib::Decoder;
using namespace vorel::test;

namespace {

using Samples = std::vector<int16_t>;
constexpr int kRate = 44100;

// Two tones with a pause between; an odd frame count so that no codec's frame
// size divides it.
Samples sourceSignal() {
    auto s = tone(440, 1.3, kRate, 2);
    append(s, silence(0.5, kRate, 2));
    append(s, tone(1250, 1.1031, kRate, 2, 8000));
    return s;
}
const int64_t kSourceFrames = int64_t(sourceSignal().size() / 2);
const int64_t kOnsetFrame = int64_t(1.8 * kRate); // the second tone

struct AvCase {
    const char *format; // of mediaFormats()
    uint32_t ctype;
    int rate, channels;
    bool lossless;
    // The container says how much priming to drop (edit list, pre-skip); without
    // it the codec's delay stays in front, as in every other player.
    bool primingKnown;
    // Frames a seek may land off the target where stamps are milliseconds.
    int seekSlack;
    // A lossy codec restarted from its preroll comes back to the continuous
    // decoding's rounding (AAC, Vorbis: a step; AC-3 a few) or close to it (Opus,
    // AAC at 32 kbit/s mono); one frame off on these tones differs by over 1500.
    int seekTolerance = 1;
};
void PrintTo(const AvCase &c, std::ostream *os) { *os << c.format; }

const AvCase kCases[] = {
    {"flac", BASS_CTYPE_STREAM_FLAC, kRate, 2, true, true, 0, 0},
    {"ogg_vorbis", BASS_CTYPE_STREAM_OGG, kRate, 2, false, true, 0},
    {"opus", BASS_CTYPE_STREAM_OPUS, 48000, 2, false, true, 0, 150},
    {"m4a_aac", BASS_CTYPE_STREAM_MP4, kRate, 2, false, true, 0},
    {"m4b_aac_mono_22050", BASS_CTYPE_STREAM_MP4, 22050, 1, false, true, 0, 400},
    {"m4a_alac", BASS_CTYPE_STREAM_ALAC, kRate, 2, true, true, 0, 0},
    {"mp4_video_aac", BASS_CTYPE_STREAM_MP4, kRate, 2, false, true, 0},
    {"mov_aac", BASS_CTYPE_STREAM_MP4, kRate, 2, false, true, 0},
    {"mp4_mp3", BASS_CTYPE_STREAM_MP3, kRate, 2, false, true, 0},
    {"mkv_flac", BASS_CTYPE_STREAM_FLAC, kRate, 2, true, true, 0, 0},
    {"mkv_ac3_video", BASS_CTYPE_STREAM, kRate, 2, false, false, 0, 4},
    // Vorbis frames vary in size: a stamp in milliseconds places them to half of one.
    {"mkv_vorbis", BASS_CTYPE_STREAM_OGG, kRate, 2, false, true, 23},
    {"webm_opus", BASS_CTYPE_STREAM_OPUS, 48000, 2, false, true, 0, 150},
};

// Encodes the source into dir; returns the path of the file.
std::string encode(const TempDir &dir, const AvCase &c) {
    const MediaFormat &f = mediaFormat(c.format);
    writeWav16(dir.file("src.wav"), sourceSignal(), kRate, 2);
    encodeMedia(f, dir.file("src.wav"), dir.file(f.file));
    return dir.file(f.file);
}

std::unique_ptr<Decoder> open(const std::string &path, int *errorOut = nullptr) {
    int error = 0;
    auto d = Decoder::open(path, true, error);
    if (errorOut)
        *errorOut = error;
    return d;
}

// In an odd block size, so that reads end inside codec frames.
Samples decodeAll(Decoder &d) {
    const size_t ch = d.format().channels;
    Samples out, block(997 * ch);
    for (int64_t got; (got = d.readFrames(block.data(), 997)) > 0;)
        out.insert(out.end(), block.begin(), block.begin() + std::ptrdiff_t(got * int64_t(ch)));
    return out;
}

int maxDifference(const int16_t *a, const int16_t *b, size_t n) {
    int worst = 0;
    for (size_t i = 0; i < n; ++i)
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

// First frame at or after from whose level passes threshold, in either channel.
int64_t onset(const Samples &s, int channels, int64_t from, int threshold) {
    for (size_t i = size_t(from) * size_t(channels); i < s.size(); ++i)
        if (std::abs(int(s[i])) > threshold)
            return int64_t(i) / channels;
    return -1;
}

class AvFiles : public testing::TestWithParam<AvCase> {};

TEST_P(AvFiles, OpenWithTheSourcesLengthAndContent) {
    const AvCase &c = GetParam();
    TempDir dir;
    const std::string path = encode(dir, c);
    auto d = open(path);
    ASSERT_TRUE(d) << path;
    EXPECT_EQ(d->channelType(), c.ctype);
    EXPECT_EQ(d->format().rate, uint32_t(c.rate));
    EXPECT_EQ(d->format().channels, uint32_t(c.channels));
    EXPECT_EQ(d->format().bytesPerSample, 2u);

    const double scale = double(c.rate) / kRate;
    const double column = 0.040 * c.rate;
    const int64_t announced = d->lengthFrames();
    EXPECT_NEAR(double(announced), kSourceFrames * scale, column);
    const Samples got = decodeAll(*d);
    const int64_t frames = int64_t(got.size() / size_t(c.channels));
    EXPECT_EQ(frames, d->lengthFrames());
    EXPECT_NEAR(double(frames), kSourceFrames * scale, column);
    if (c.primingKnown && c.rate == kRate && c.ctype != BASS_CTYPE_STREAM_MP3) {
        // Priming and padding dropped: the source's length, to the precision of
        // the container (ffmpeg writes edit lists in milliseconds).
        EXPECT_NEAR(double(announced), double(kSourceFrames), 0.001 * kRate);
    }

    if (c.lossless) {
        const Samples src = sourceSignal();
        const size_t n = std::min(src.size(), got.size());
        EXPECT_LE(maxDifference(src.data(), got.data(), n), 1);
    } else {
        // Where the second tone begins: priming dropped means no shift at all
        // beyond the codec's smearing (2 ms); kept priming is one codec frame.
        const double slack = (c.primingKnown ? 0.002 : 0.035) * c.rate;
        const int64_t at = onset(got, c.channels, int64_t(1.6 * c.rate), 4000);
        EXPECT_NEAR(double(at), kOnsetFrame * scale, slack);
    }
}

TEST_P(AvFiles, SeekToAnyFrame) {
    const AvCase &c = GetParam();
    TempDir dir;
    auto d = open(encode(dir, c));
    ASSERT_TRUE(d);
    const Samples full = decodeAll(*d);
    const int64_t len = d->lengthFrames();
    const size_t ch = size_t(c.channels);
    ASSERT_EQ(int64_t(full.size() / ch), len);

    // Backwards and forwards, near and far, at codec frame edges and between.
    for (int64_t k : {len / 2, int64_t(0), int64_t(1023), int64_t(1025), len / 3 + 7, len - 2500, int64_t(12000),
                      int64_t(12001)}) {
        SCOPED_TRACE(k);
        ASSERT_TRUE(d->seekFrame(k));
        EXPECT_EQ(d->positionFrame(), k);
        Samples got(2000 * ch);
        const int64_t n = d->readFrames(got.data(), 2000);
        ASSERT_EQ(n, std::min<int64_t>(2000, len - k));
        EXPECT_EQ(d->positionFrame(), k + n);
        // The block read must be the decoded file's at k (or, where stamps are
        // coarse, within seekSlack frames of it), sample for sample up to the
        // codecs' rounding after a restart.
        int best = INT32_MAX;
        for (int shift = -c.seekSlack; shift <= c.seekSlack; ++shift) {
            const int64_t at = k + shift;
            if (at < 0 || at + n > len)
                continue;
            best = std::min(best, maxDifference(got.data(), full.data() + at * int64_t(ch), size_t(n) * ch));
        }
        EXPECT_LE(best, c.seekTolerance);
    }
    EXPECT_TRUE(d->seekFrame(len));
    Samples one(ch);
    EXPECT_EQ(d->readFrames(one.data(), 1), 0);
    EXPECT_FALSE(d->seekFrame(len + 1));
    ASSERT_TRUE(d->seekFrame(0));
    EXPECT_EQ(decodeAll(*d).size(), full.size());
}

INSTANTIATE_TEST_SUITE_P(Decoder, AvFiles, testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.format); });

// ---- iTunes' gapless tag -------------------------------------------------------

using Bytes = std::vector<uint8_t>;

Bytes box(const char *type, const Bytes &payload) {
    const uint32_t size = uint32_t(8 + payload.size());
    Bytes b{uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)};
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}
Bytes text(const char *prefix, size_t n, const std::string &s) {
    Bytes b(prefix, prefix + n);
    b.insert(b.end(), s.begin(), s.end());
    return b;
}
Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes &p : parts)
        b.insert(b.end(), p.begin(), p.end());
    return b;
}

// An M4A without an edit list whose length and priming only the iTunSMPB tag
// tells, as older iTunes files are: the tag goes into the index at the file's end.
TEST(AvGapless, ItunesTagGivesTheSourceLength) {
    TempDir dir;
    const std::string path = dir.file("tagged.m4a");
    writeWav16(dir.file("src.wav"), sourceSignal(), kRate, 2);
    ASSERT_TRUE(mustRun("ffmpeg -nostdin -v error -y -i " + shellQuote(dir.file("src.wav")) +
                        " -c:a aac -use_editlist 0 -f ipod " + shellQuote(path)));
    char value[128];
    std::snprintf(value, sizeof value, " 00000000 00000400 000003C5 %016llX 00000000 00000000",
                  static_cast<unsigned long long>(kSourceFrames));
    const char zero4[4] = {}, dataHead[8] = {0, 0, 0, 1, 0, 0, 0, 0};
    const Bytes tag = box("----", concat({box("mean", text(zero4, 4, "com.apple.iTunes")),
                                          box("name", text(zero4, 4, "iTunSMPB")), box("data", text(dataHead, 8, value))}));
    const Bytes hdlr = box("hdlr", text(zero4, 4, std::string(4, '\0') + "mdirappl" + std::string(9, '\0')));
    const Bytes udta = box("udta", box("meta", concat({Bytes(4, 0), hdlr, box("ilst", tag)})));

    Bytes file = readFile(path);
    size_t at = 0, moov = SIZE_MAX;
    while (at + 8 <= file.size()) {
        const size_t size = size_t(file[at]) << 24 | size_t(file[at + 1]) << 16 | size_t(file[at + 2]) << 8 | file[at + 3];
        if (std::memcmp(&file[at + 4], "moov", 4) == 0)
            moov = at;
        if (size < 8)
            break;
        at += size;
    }
    ASSERT_NE(moov, SIZE_MAX);
    ASSERT_EQ(at, file.size()) << "the index must be the last box";
    const Bytes grown = box("moov", concat({Bytes(file.begin() + std::ptrdiff_t(moov) + 8, file.end()), udta}));
    file.resize(moov);
    file.insert(file.end(), grown.begin(), grown.end());
    writeFile(path, file);

    auto d = open(path);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->lengthFrames(), kSourceFrames);
    const Samples got = decodeAll(*d);
    EXPECT_EQ(int64_t(got.size() / 2), kSourceFrames);
    EXPECT_NEAR(double(onset(got, 2, int64_t(1.6 * kRate), 4000)), double(kOnsetFrame), 0.002 * kRate);
}

// ---- Damaged files and files without audio ----------------------------------

struct BrokenCase {
    const char *name;
    // Makes the file at path (the player's test covers a cut-off index and a
    // picture-only MP4 with their messages).
    std::function<void(const TempDir &, const std::string &)> make;
    int error; // 0: it opens and decodes what it holds
};
void PrintTo(const BrokenCase &c, std::ostream *os) { *os << c.name; }

std::vector<uint8_t> noise(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> b(n);
    for (auto &x : b)
        x = uint8_t(gen());
    return b;
}

void ffmpeg(const TempDir &dir, const std::string &args, const std::string &out) {
    writeWav16(dir.file("src.wav"), sourceSignal(), kRate, 2);
    mustRun("ffmpeg -nostdin -v error -y -i " + shellQuote(dir.file("src.wav")) + " " + args + " " + shellQuote(out));
}

void overwrite(const std::string &path, size_t at, const std::vector<uint8_t> &bytes) {
    auto b = readFile(path);
    ASSERT_LE(at + bytes.size(), b.size());
    std::copy(bytes.begin(), bytes.end(), b.begin() + std::ptrdiff_t(at));
    writeFile(path, b);
}

const BrokenCase kBroken[] = {
    {"m4a_index_first_cut_in_the_data",
     [](const TempDir &d, const std::string &p) {
         ffmpeg(d, "-c:a aac -movflags +faststart -f ipod", p);
         auto b = readFile(p);
         b.resize(b.size() * 2 / 3);
         writeFile(p, b);
     },
     0},
    {"m4a_noise_in_the_data",
     [](const TempDir &d, const std::string &p) {
         ffmpeg(d, "-c:a aac -movflags +faststart -f ipod", p);
         overwrite(p, readFile(p).size() / 2, noise(3000, 1));
     },
     0},
    {"ftyp_then_noise",
     [](const TempDir &, const std::string &p) {
         std::vector<uint8_t> b{0, 0, 0, 0x18, 'f', 't', 'y', 'p', 'M', '4', 'A', ' ', 0, 0, 2, 0,
                                'M', '4', 'A', ' ', 'i', 's', 'o', 'm'};
         const auto n = noise(100000, 3);
         b.insert(b.end(), n.begin(), n.end());
         writeFile(p, b);
     },
     BASS_ERROR_FILEFORM},
    {"ogg_page_then_noise",
     [](const TempDir &d, const std::string &p) {
         ffmpeg(d, "-c:a libopus -f ogg", p);
         auto b = readFile(p);
         b.resize(200);
         const auto n = noise(50000, 4);
         b.insert(b.end(), n.begin(), n.end());
         writeFile(p, b);
     },
     BASS_ERROR_FILEFORM},
    {"ogg_without_its_first_page", // a stream that never opens: no link to hang pages on
     [](const TempDir &d, const std::string &p) {
         ffmpeg(d, "-c:a libopus -f ogg", p);
         auto b = readFile(p);
         const std::string oggs = "OggS";
         const auto second = std::search(b.begin() + 4, b.end(), oggs.begin(), oggs.end());
         b.erase(b.begin(), second);
         writeFile(p, b);
     },
     BASS_ERROR_FILEFORM},
    {"mkv_subtitles_and_picture",
     [](const TempDir &d, const std::string &p) {
         writeText(d.file("s.srt"), "1\n00:00:00,000 --> 00:00:01,000\nhello\n");
         mustRun("ffmpeg -nostdin -v error -y -f lavfi -i color=c=blue:s=64x48:r=5:d=2 -i " +
                 shellQuote(d.file("s.srt")) + " -c:v mpeg4 -c:s srt -f matroska " + shellQuote(p));
     },
     BASS_ERROR_NOTAUDIO},
};

class BrokenAv : public testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenAv, FailWithTheirCodeOrDecodeWhatIsThere) {
    const BrokenCase &c = GetParam();
    TempDir dir;
    const std::string path = dir.file("in.m4a");
    c.make(dir, path);
    int error = 0;
    auto d = open(path, &error);
    if (c.error) {
        EXPECT_FALSE(d);
        EXPECT_EQ(error, c.error);
        return;
    }
    ASSERT_TRUE(d) << error;
    const int64_t announced = d->lengthFrames();
    const Samples got = decodeAll(*d);
    const int64_t frames = int64_t(got.size() / d->format().channels);
    EXPECT_GT(frames, 0);
    EXPECT_LE(frames, announced);
    EXPECT_EQ(d->lengthFrames(), frames);
    // Still seekable after the damage.
    EXPECT_TRUE(d->seekFrame(frames / 3));
}

INSTANTIATE_TEST_SUITE_P(Decoder, BrokenAv, testing::ValuesIn(kBroken),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- Lengths the container does not give or gives wrong -------------------------

// The Ogg page checksum (CRC-32, polynomial 0x04C11DB7, not reflected).
uint32_t oggCrc(const uint8_t *p, size_t n) {
    uint32_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= uint32_t(p[i]) << 24;
        for (int b = 0; b < 8; ++b)
            crc = crc & 0x80000000u ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

// The last page's granule position replaced, its checksum made right again.
void setLastGranule(const std::string &path, int64_t granule) {
    Bytes b = readFile(path);
    size_t at = b.size() - 4;
    while (at > 0 && std::memcmp(b.data() + at, "OggS", 4) != 0)
        --at;
    std::memcpy(b.data() + at + 6, &granule, 8);
    std::memset(b.data() + at + 22, 0, 4);
    size_t end = at + 27 + b[at + 26];
    for (int i = 0; i < b[at + 26]; ++i)
        end += b[at + 27 + i];
    const uint32_t crc = oggCrc(b.data() + at, end - at);
    std::memcpy(b.data() + at + 22, &crc, 4);
    writeFile(path, b);
}

// STREAMINFO's total sample count (36 bits from byte 21's low nibble).
void setFlacTotal(const std::string &path, uint64_t total) {
    Bytes b = readFile(path);
    b[21] = uint8_t((b[21] & 0xF0) | ((total >> 32) & 0x0F));
    for (int i = 0; i < 4; ++i)
        b[22 + i] = uint8_t(total >> (24 - 8 * i));
    writeFile(path, b);
}

// Frames FFmpeg decodes from the file (its channels mixed to one).
int64_t ffmpegFrames(const TempDir &dir, const std::string &path) {
    const std::string raw = dir.file("ffmpeg.raw");
    mustRun("ffmpeg -nostdin -v quiet -y -i " + shellQuote(path) + " -ac 1 -f s16le " + shellQuote(raw));
    return int64_t(readFile(raw).size() / 2);
}

struct LengthCase {
    const char *name;
    const char *format; // of mediaFormats(), encoded from the source
    // Turns the encoded file a into the file under test b.
    std::string make;
    // FFmpeg keeps the encoder delay of every link after the first (6.5 ms for
    // opusenc, 3 ms for oggenc); we drop it as at the file's start.
    double perLinkMs;
    int links;
};
void PrintTo(const LengthCase &c, std::ostream *os) { *os << c.name; }

const LengthCase kLengths[] = {
    // A streaming writer's FLAC: STREAMINFO total 0.
    {"flac_streamed", "flac", "ffmpeg -nostdin -v error -i $A -f flac pipe: > $B", 0, 1},
    {"flac_claims_more", "flac", "cp $A $B && claim 2", 0, 1},
    // A header that claims fewer than its frames hold: all of them are read.
    {"flac_claims_fewer", "flac", "cp $A $B && claim 0.4", 0, 1},
    {"opus_chained", "opus", "cat $A $A $A > $B", 6.6, 3},
    {"vorbis_chained", "ogg_vorbis", "cat $A $A > $B", 3.1, 2},
    {"opus_granule_huge", "opus", "cp $A $B && granule", 0, 1},
    {"opus_chained_granule_huge", "opus", "cat $A $A > $B && granule", 6.6, 2},
};

class Lengths : public testing::TestWithParam<LengthCase> {};

TEST_P(Lengths, AreThoseFfmpegDecodes) {
    const LengthCase &c = GetParam();
    TempDir dir;
    const AvCase plain{c.format, 0, 0, 0, false, false, 0};
    const std::string a = encode(dir, plain), b = dir.file("b");
    std::string cmd = c.make;
    for (const auto &[from, to] : {std::pair{"$A", a}, std::pair{"$B", b}})
        for (size_t at; (at = cmd.find(from)) != std::string::npos;)
            cmd.replace(at, 2, shellQuote(to));
    const size_t claim = cmd.find("&& claim "), granule = cmd.find("&& granule");
    ASSERT_TRUE(mustRun(cmd.substr(0, std::min(claim, granule))));
    if (claim != std::string::npos)
        setFlacTotal(b, uint64_t(std::stod(cmd.substr(claim + 9)) * double(kSourceFrames)));
    if (granule != std::string::npos)
        setLastGranule(b, int64_t(1) << 60);

    auto d = open(b);
    ASSERT_TRUE(d);
    const int64_t expected = ffmpegFrames(dir, b);
    const double tolerance = c.perLinkMs / 1000 * d->format().rate * (c.links - 1);
    EXPECT_NEAR(double(d->lengthFrames()), double(expected), tolerance);
    const Samples all = decodeAll(*d);
    const size_t ch = d->format().channels;
    EXPECT_EQ(int64_t(all.size() / ch), d->lengthFrames());
    // The last link's second tone, reached by a seek.
    const int64_t linkFrames = d->lengthFrames() / c.links;
    const int64_t at = d->lengthFrames() - linkFrames + linkFrames * 2 / 3;
    ASSERT_TRUE(d->seekFrame(at));
    Samples got(1000 * ch);
    ASSERT_EQ(d->readFrames(got.data(), 1000), 1000);
    EXPECT_LE(maxDifference(got.data(), all.data() + at * int64_t(ch), got.size()), c.perLinkMs > 0 ? 200 : 1);
}

INSTANTIATE_TEST_SUITE_P(Decoder, Lengths, testing::ValuesIn(kLengths),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace

// ---- Chapters ----------------------------------------------------------------

// An audiobook's and a video's chapter marks, as ffmpeg writes them from its
// metadata file; files without marks have none.
TEST(AvChapters, MarksInTimeOrderWithTheirTitles) {
    TempDir dir;
    writeText(dir.file("marks.txt"), ";FFMETADATA1\n"
                                     "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1800\ntitle=One\n"
                                     "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1800\nEND=2903\ntitle=第二章 Two\n");
    const std::string expected = std::string("0\tOne") + '\0' + "1800\t第二章 Two" + '\0' + '\0';
    const struct {
        const char *file, *args;
        bool marked;
    } cases[] = {
        {"book.m4b", "-map 0 -map_chapters 1 -c:a aac -f ipod", true},
        {"film.mkv", "-map 0 -map_chapters 1 -c:a flac", true},
        {"plain.m4a", "-c:a aac -f ipod", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = dir.file(c.file);
        ffmpeg(dir, c.marked ? "-i " + shellQuote(dir.file("marks.txt")) + " " + c.args : c.args, path);
        auto d = open(path);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->chapters(), c.marked ? expected : "");
    }
}
