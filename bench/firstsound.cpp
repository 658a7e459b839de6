// vorel-firstsound: where sound starts in headerless interleaved stereo s16 at
// 44.1 kHz (what SDL's disk driver writes). Prints the ms from byte offset FROM to
// the first frame whose magnitude exceeds 64 in either channel, or -1.
// Usage: vorel-firstsound FILE FROM
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vorel-firstsound FILE FROM\n");
        return 2;
    }
    std::FILE *f = std::fopen(argv[1], "rb");
    if (!f)
        return 1;
    const long from = std::atol(argv[2]) / 4 * 4;
    std::fseek(f, from, SEEK_SET);
    std::vector<int16_t> buf(8192);
    long frames = 0;
    size_t n;
    while ((n = std::fread(buf.data(), 2, buf.size(), f)) >= 2) {
        for (size_t i = 0; i + 1 < n; i += 2, ++frames)
            if (std::abs(buf[i]) > 64 || std::abs(buf[i + 1]) > 64) {
                std::printf("%.1f\n", frames * 1000.0 / 44100);
                return 0;
            }
    }
    std::printf("-1\n");
    return 0;
}
