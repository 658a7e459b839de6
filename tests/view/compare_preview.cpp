// Shows the comparison view for a sentence and a take (headerless mono s16 at
// 16 kHz), for looking at it under a display. The take is trimmed as a recorded
// one is; the path is a straight line until the alignment exists. Not a test.
//   compare_preview sentence.raw take.raw [takes]
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "pitchtrack.h"
#include "takerecorder.h"
#include "view/compareview.h"

using namespace vorel;

static std::vector<int16_t> readRaw(const char *path) {
    std::ifstream f(path, std::ios::binary);
    std::vector<char> b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<int16_t> s(b.size() / 2);
    std::copy(b.begin(), b.begin() + long(s.size() * 2), reinterpret_cast<char *>(s.data()));
    return s;
}

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: compare_preview sentence.raw take.raw [takes]\n");
        return 2;
    }
    view::TCompareData d;
    d.sentence = readRaw(argv[1]);
    const std::vector<int16_t> take = readRaw(argv[2]);
    audio::TTakeRecorder r(16000);
    r.Start(0, int64_t(take.size()));
    r.Feed(take.data(), take.size(), 0);
    d.take = r.Trimmed();
    d.sentencePitch = audio::PitchTrack(d.sentence.data(), d.sentence.size(), 16000);
    d.takePitch = audio::PitchTrack(d.take.data(), d.take.size(), 16000);
    const int32_t n = int32_t(std::max<size_t>(d.sentencePitch.size(), 1));
    const int32_t m = int32_t(std::max<size_t>(d.takePitch.size(), 1));
    d.path = view::StraightPath(n, m);
    d.takeCount = argc > 3 ? std::atoi(argv[3]) : 1;
    view::TCompareView w;
    w.setWindowTitle(QStringLiteral("compare_preview"));
    w.resize(900, 360);
    w.SetData(std::move(d));
    w.show();
    return app.exec();
}
