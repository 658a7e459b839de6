#include "e2esupport.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace vorel::test {

namespace {

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string readAll(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TVorelRun::TVorelRun(const TXSession &xs, const TempDir &d, const std::string &args, bool unpaced,
                     const std::map<std::string, std::string> &extraEnv, const std::string &program)
    : x(xs), dir(d), traceFile(d.file("trace")), playedFile(d.file("played.raw")), errFile(d.file("stderr")) {
    std::map<std::string, std::string> env = x.env();
    env["TMPDIR"] = dir.path();
    env["XDG_RUNTIME_DIR"] = dir.path();
    env["XDG_DATA_HOME"] = dir.file("data"); // never the learner's own study records
    env["VORELPLAY_TRACE"] = traceFile;
    env["SDL_AUDIODRIVER"] = "disk";
    env["SDL_DISKAUDIOFILE"] = playedFile;
    if (unpaced)
        env["SDL_DISKAUDIODELAY"] = "0";
    for (const auto &[k, v] : extraEnv)
        env[k] = v;
    child = TChild(shellQuote(program) + " " + args + " 2>" + shellQuote(errFile), env);
}

unsigned long TVorelRun::window(int timeoutMs) {
    if (!window_) {
        const auto found = x.findWindows("TfMainFree", timeoutMs, "Vorel语言复读机(免费体验版)");
        if (!found.empty())
            window_ = found.front();
    }
    return window_;
}

std::pair<int, int> TVorelRun::origin() { return x.origin(window()); }

void TVorelRun::click(int cx, int cy, int button, const std::string &mods) {
    const auto [ox, oy] = origin();
    std::string cmd = "xdotool mousemove --sync " + std::to_string(ox + cx) + " " + std::to_string(oy + cy);
    if (!mods.empty())
        cmd += " keydown " + mods;
    cmd += " sleep 0.05 click " + std::to_string(button) + " sleep 0.05";
    if (!mods.empty())
        cmd += " keyup " + mods;
    x.run(cmd);
}

void TVorelRun::drag(int x1, int y1, int x2, int y2) {
    const auto [ox, oy] = origin();
    x.run("xdotool mousemove --sync " + std::to_string(ox + x1) + " " + std::to_string(oy + y1) +
          " mousedown 1 sleep 0.05 mousemove --sync " + std::to_string(ox + (x1 + x2) / 2) + " " +
          std::to_string(oy + y2) + " sleep 0.05 mousemove --sync " + std::to_string(ox + x2) + " " +
          std::to_string(oy + y2) + " sleep 0.05 mouseup 1");
}

bool TVorelRun::dragSpeedDown(int steps) {
    // Every change moves the focus away, so keys would change it by one step only.
    const std::string want = "播放速率调整：" + std::to_string(100 - steps) + "%";
    const auto [ox, oy] = origin();
    const int tx = ox + at::speedSlider.first, ty = oy + at::speedSlider.second;
    x.run("xdotool mousemove --sync " + std::to_string(tx) + " " + std::to_string(ty) + " mousedown 1");
    for (int dx = 1; dx < 60 && count("notice", want) == 0; ++dx)
        x.run("xdotool mousemove --sync " + std::to_string(tx - dx) + " " + std::to_string(ty) + " sleep 0.03");
    x.run("xdotool mouseup 1");
    return count("notice", want) == 1;
}

void TVorelRun::focus() { x.run("xdotool windowfocus --sync " + std::to_string(window())); }

void TVorelRun::key(const std::string &keys) { x.run("xdotool key --delay 30 " + keys); }

std::vector<TraceLine> TVorelRun::trace() const {
    std::vector<TraceLine> lines;
    std::istringstream in(readAll(traceFile));
    for (std::string line; std::getline(in, line);) {
        const size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1);
        if (t1 == std::string::npos || t2 == std::string::npos)
            continue;
        lines.push_back({std::atol(line.c_str()), line.substr(t1 + 1, t2 - t1 - 1), line.substr(t2 + 1)});
    }
    return lines;
}

size_t TVorelRun::count(const std::string &kind, const std::string &text) const {
    size_t n = 0;
    for (const TraceLine &l : trace())
        if (l.kind == kind && l.detail.find(text) != std::string::npos)
            ++n;
    return n;
}

bool TVorelRun::waitFor(const std::string &kind, const std::string &text, int timeoutMs, size_t skip) {
    for (int waited = 0; waited <= timeoutMs; waited += 20) {
        if (count(kind, text) > skip)
            return true;
        sleepMs(20);
    }
    return false;
}

std::string TVorelRun::stderrText() const { return readAll(errFile); }

std::string TVorelRun::dump() const {
    std::string out = stderrText();
    for (const TraceLine &l : trace())
        out += std::to_string(l.ms) + " " + l.kind + " " + l.detail + "\n";
    return out;
}

std::vector<int16_t> TVorelRun::played() const {
    const std::vector<uint8_t> bytes = readFile(playedFile);
    std::vector<int16_t> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return pcm;
}

bool dismissBox(const TXSession &x, const std::string &caption) {
    for (int i = 0; i < 100; ++i) {
        for (unsigned long id : x.findWindows("TfMainFree", 50))
            if (x.property(id, "_NET_WM_NAME") == "\"" + caption + "\"") {
                x.run("xdotool windowfocus --sync " + std::to_string(id) + " key Return");
                return true;
            }
    }
    return false;
}


} // namespace vorel::test
