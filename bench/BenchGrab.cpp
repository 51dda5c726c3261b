// Grabbing 20 exact frames at random times from a 720x576 MPEG-4 file with a key frame every
// 250 frames, through the media detector, against ffmpeg's accurate seek to the same times.
#include "BenchUtil.h"

#include "media/MediaDet.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace zarvex::bench;
using namespace zarvex::media;
namespace fs = std::filesystem;

namespace {

constexpr int Frames = 20;
constexpr int Rounds = 3;
constexpr double Length = 60; // seconds

std::string Num(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.3f", v);
    return b;
}

double Ours(const std::string& src, const std::vector<double>& times) {
    const auto start = std::chrono::steady_clock::now();
    TMediaDet det;
    Require(det.SetFilename(src) == 0 && det.SetCurrentStream(0) == 0, "opening the source");
    std::vector<uint8_t> buffer;
    for (double t : times) {
        int64_t size = 0;
        Require(det.GetBitmapBits(t, size, nullptr, 720, 576) == 0, "size query");
        buffer.resize(size_t(size));
        Require(det.GetBitmapBits(t, size, buffer.data(), 720, 576) == 0, "grab");
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Ffmpeg(const std::string& src, const std::vector<double>& times) {
    double total = 0;
    for (double t : times) {
        const TChildRun run = RunChild({"ffmpeg", "-nostdin", "-v", "error", "-ss", Num(t), "-i",
                                        src, "-frames:v", "1", "-f", "null", "-"});
        Require(run.ExitCode == 0, "ffmpeg");
        total += run.Seconds;
    }
    return total;
}

} // namespace

int main() {
    const fs::path dir = fs::path(SelfPath()).parent_path() / "zarvex-bench-grab";
    fs::create_directories(dir);
    const std::string src = (dir / "grab.avi").string();
    Require(RunChild({"ffmpeg", "-nostdin",  "-y",
                      "-v",     "error",     "-f",
                      "lavfi",  "-i",        "testsrc2=size=720x576:rate=25",
                      "-t",     Num(Length), "-c:v",
                      "mpeg4",  "-q:v",      "4",
                      "-g",     "250",       "-bf",
                      "0",      src})
                    .ExitCode == 0,
            "making the source");
    WarmCache(src);
    std::mt19937 random(20261208);
    std::uniform_real_distribution<double> pick(0, Length - 0.1);
    std::vector<double> times(Frames);
    for (double& t : times)
        t = pick(random);

    std::vector<double> ours, theirs;
    for (int i = 0; i < Rounds; ++i) {
        ours.push_back(Ours(src, times));
        theirs.push_back(Ffmpeg(src, times));
    }
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    const double a = ours[Rounds / 2], b = theirs[Rounds / 2];
    std::printf("grab %d exact frames of 720x576 mpeg4 (key frame every 250), median of %d:\n",
                Frames, Rounds);
    std::printf("  zarvex TMediaDet   %.3f s\n", a);
    std::printf("  ffmpeg -ss T -i    %.3f s\n", b);
    std::printf("  ratio %.2f (target <= 0.5)\n", a / b);
    fs::remove_all(dir);
    return 0;
}
