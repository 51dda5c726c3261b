// Black and silence detection of a 60-minute 720x576 MPEG-4 recording with MP3 sound, against
// ffmpeg running the same filters over the same file; comskip's time on it for comparison. The
// recording has a black, silent break every 20 seconds, whose found edges are checked too.
#include "BenchUtil.h"

#include "media/FFmpegLog.h"
#include "media/SpotDetect.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace zarvex;
using namespace zarvex::bench;
using namespace zarvex::media;
namespace fs = std::filesystem;

namespace {

constexpr int ClipFrames = 500;
constexpr int BlackFirst = 240, BlackLast = 244; // of every clip

// 20-second clips with a black, silent break, looped by stream copy; made once and kept.
std::string Recording(const fs::path& dir, int seconds) {
    const fs::path path = dir / "breaks-60.avi";
    if (fs::exists(path))
        return path.string();
    const std::string clip = (dir / "clip.avi").string();
    auto picture = [](const char* seconds) {
        return std::string("testsrc2=size=720x576:rate=25:duration=") + seconds +
               ",noise=alls=6:allf=t";
    };
    const std::string graph = picture("9.6") +
                              "[p1];color=black:size=720x576:rate=25:duration=0.2[p2];" +
                              picture("10.2") +
                              "[p3];[p1][p2][p3]concat=n=3:v=1:a=0[vc];[vc]setpts=N/(25*TB),"
                              "format=yuv420p[v]";
    Check(RunChild(Ffmpeg({"-filter_complex",
                           graph,
                           "-map",
                           "[v]",
                           "-frames:v",
                           std::to_string(ClipFrames),
                           "-c:v",
                           "mpeg4",
                           "-vtag",
                           "XVID",
                           "-q:v",
                           "4",
                           "-g",
                           "250",
                           "-bf",
                           "2",
                           "-flags",
                           "+cgop",
                           "-sc_threshold",
                           "1000000000",
                           clip})),
          "ffmpeg (clip)");
    const fs::path part = dir / "part-breaks-60.avi";
    // The sound of the whole hour at once, silent with every clip's black frames.
    const std::string sound = "aevalsrc=if(between(mod(t\\,20)\\,9.6\\,9.8)\\,0\\,"
                              "0.25*sin(2*PI*440*t)):s=44100:d=" +
                              std::to_string(seconds);
    Check(RunChild(Ffmpeg({"-stream_loop", "-1",   "-i",
                           clip,           "-f",   "lavfi",
                           "-i",           sound,  "-map",
                           "0:v",          "-map", "1:a",
                           "-c:v",         "copy", "-c:a",
                           "libmp3lame",   "-b:a", "128k",
                           "-ac",          "2",    "-avoid_negative_ts",
                           "disabled",     "-t",   std::to_string(seconds),
                           part.string()})),
          "ffmpeg (recording)");
    fs::rename(part, path);
    return path.string();
}

double Ours(const std::string& path, TDetection& d) {
    TDetectOptions options;
    options.Scenes = false;
    const auto start = std::chrono::steady_clock::now();
    d = DetectSpots(path, options);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Every break is a clip's black run, to a frame, and every clip has one.
void CheckBreaks(const TDetection& d) {
    const TAdBreaks found = FindAdBreaks(d);
    const int64_t clips = d.FrameCount / ClipFrames;
    int off = 0;
    for (const TSpot& b : found.Breaks) {
        const int64_t base = b.First / ClipFrames * ClipFrames;
        if (std::llabs(b.First - base - BlackFirst) > 1 ||
            std::llabs(b.Last - base - BlackLast) > 1)
            ++off;
    }
    std::printf("  breaks found %zu of %lld, %d more than a frame off\n", found.Breaks.size(),
                static_cast<long long>(clips), off);
    Require(off == 0 && int64_t(found.Breaks.size()) == clips, "the breaks' edges");
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dir = fs::path(SelfPath()).parent_path() / "zarvex-bench-detect";
    fs::create_directories(dir);
    SetFFmpegLogVerbose(false);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string path = Recording(dir, 3600);
    WarmCache(path);
    double ffmpeg = 1e9, ours = 1e9;
    TDetection d;
    // Rounds taking turns, so that a machine shared with others weighs on both alike.
    for (int i = 0; i < rounds; ++i) {
        const TChildRun f =
            RunChild(Ffmpeg({"-i", path, "-vf", "blackdetect=d=0.1:pic_th=0.98:pix_th=0.10", "-af",
                             "silencedetect=n=-60dB:d=0.1", "-f", "null", "-"}));
        Check(f, "ffmpeg (blackdetect, silencedetect)");
        ffmpeg = std::min(ffmpeg, f.Seconds);
        ours = std::min(ours, Ours(path, d));
    }
    std::printf("60 minutes, 720x576 MPEG-4, MP3: black and silence, fastest of %d\n", rounds);
    std::printf("  zarvex %.2f s  ffmpeg %.2f s  ratio %.2f (target <= 0.5)\n", ours, ffmpeg,
                ours / ffmpeg);
    CheckBreaks(d);
    if (std::system("command -v comskip >/dev/null 2>&1") == 0) {
        const fs::path out = dir / "comskip";
        fs::create_directories(out);
        const TChildRun c = RunChild({"comskip", "--quiet", "--output=" + out.string(), path});
        std::printf("  comskip %.2f s (exit %d), ratio to ours %.2f\n", c.Seconds, c.ExitCode,
                    c.Seconds / ours);
        fs::remove_all(out);
    } else {
        std::printf("  comskip is not installed\n");
    }
    return 0;
}
