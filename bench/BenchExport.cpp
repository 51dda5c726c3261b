// Exporting 20 s of a 720x576 mpeg4 file with audio through mpeg4 and MP3, against the
// equivalent ffmpeg command, run alternately so both see the same machine load.
#include "BenchUtil.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace zarvex::bench;
namespace fs = std::filesystem;

#ifndef ZARVEX_CLI_PATH
#define ZARVEX_CLI_PATH "zarvex-cli"
#endif

namespace {

constexpr int Runs = 3;
constexpr const char* From = "10";
constexpr const char* Span = "20";

double Best(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    return t.front();
}

} // namespace

int main() {
    const fs::path dir =
        fs::temp_directory_path() / ("zarvex-bench-export-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string src = (dir / "src.avi").string();
    const std::string ours = (dir / "ours.avi").string();
    const std::string theirs = (dir / "ffmpeg.avi").string();
    Check(RunChild({"ffmpeg", "-v",    "error", "-y",
                    "-f",     "lavfi", "-i",    "testsrc2=size=720x576:rate=25",
                    "-f",     "lavfi", "-i",    "sine=frequency=440:sample_rate=44100",
                    "-t",     "32",    "-c:v",  "mpeg4",
                    "-q:v",   "4",     "-g",    "250",
                    "-bf",    "0",     "-c:a",  "pcm_s16le",
                    "-ac",    "2",     src}),
          "making the source");
    WarmCache(src);
    // The same quality settings on both sides: fixed quantiser 4, key frame every 250, 128 kb/s.
    const std::string cli = CliPath(ZARVEX_CLI_PATH);
    const std::vector<std::string> zarvex = {
        cli,   "export",   src,          "--from",     From,         "--to",  "30",
        "-o",  ours,       "--vcodec",   "mpeg4",      "--vquality", "4",     "--keyint",
        "250", "--acodec", "libmp3lame", "--abitrate", "128000",     "--yes", "--quiet"};
    const std::vector<std::string> ffmpeg = {
        "ffmpeg", "-v",         "error", "-y",   "-ss", From,    "-i",  src,   "-t",
        Span,     "-c:v",       "mpeg4", "-q:v", "4",   "-g",    "250", "-bf", "0",
        "-c:a",   "libmp3lame", "-b:a",  "128k", "-ar", "44100", "-ac", "2",   theirs};
    std::vector<double> a, b;
    for (int i = 0; i < Runs; ++i) {
        TChildRun r = RunChild(zarvex);
        Check(r, "zarvex-cli export");
        a.push_back(r.Seconds);
        r = RunChild(ffmpeg);
        Check(r, "ffmpeg");
        b.push_back(r.Seconds);
    }
    const double ta = Best(a), tb = Best(b);
    std::printf("export 20 s of 720x576 mpeg4+mp3: zarvex-cli %.2f s, ffmpeg %.2f s, "
                "ratio %.2f (target at most 1.2)\n",
                ta, tb, ta / tb);
    fs::remove_all(dir);
    return 0;
}
