// The player's pipeline against ffmpeg on a 720x576 MPEG-4 file: decoding every frame to 32-bit
// pixels as fast as it goes, and exact seeks to random frames. Then playback at the file's own
// rate with sound, timed picture by picture against the wall clock.
#include "BenchUtil.h"

#include "media/NullAudioSink.h"
#include "media/Player.h"
#include "media/VideoSink.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace zarvex::bench;
using namespace zarvex::media;
namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

constexpr int Rounds = 3;
constexpr int Seeks = 50;
constexpr int Seconds = 20, Rate = 25;

// Counts pictures and lets the bench wait for a given one.
class TCountingSink : public TVideoSink {
public:
    void Deliver(TVideoFramePtr frame) override {
        std::lock_guard lock(Mutex);
        ++Count;
        Newest = frame->FrameNumber;
        Changed.notify_all();
    }
    void WaitFor(int64_t frame) {
        std::unique_lock lock(Mutex);
        Changed.wait(lock, [&] { return Newest == frame; });
    }
    std::mutex Mutex;
    std::condition_variable Changed;
    long Count = 0;
    int64_t Newest = -1;
};

// When each picture arrived, to see how far playback strays from the file's own pace.
class TTimingSink : public TVideoSink {
public:
    void Deliver(TVideoFramePtr frame) override {
        std::lock_guard lock(Mutex);
        Arrivals.emplace_back(frame->FrameNumber, TClock::now());
    }
    std::mutex Mutex;
    std::vector<std::pair<int64_t, TClock::time_point>> Arrivals;
};

double Since(TClock::time_point start) {
    return std::chrono::duration<double>(TClock::now() - start).count();
}

// Renders the file, plays it to its end and closes it.
void PlayToEnd(TMediaPlayer& player, const std::string& src) {
    Require(RenderSucceeded(player.RenderFile(src)), "render");
    player.Run();
    int32_t code = 0;
    intptr_t p1, p2;
    Require(player.GetEvent(code, p1, p2, 600000) == ResultOk && code == EventComplete, "play");
    player.Close();
}

double OurDecode(const std::string& src, long& frames) {
    const auto start = TClock::now();
    TCountingSink sink;
    TMediaPlayer player;
    player.SetVideoSink(&sink);
    player.SetRunFreely(true);
    PlayToEnd(player, src);
    frames = sink.Count;
    return Since(start);
}

double OurSeeks(const std::string& src, const std::vector<int64_t>& frames) {
    TCountingSink sink;
    TMediaPlayer player;
    player.SetVideoSink(&sink);
    Require(RenderSucceeded(player.RenderFile(src)), "render");
    player.Pause();
    sink.WaitFor(0);
    const auto start = TClock::now();
    for (int64_t k : frames) {
        player.SetPositions(player.FrameTime(k));
        sink.WaitFor(k);
    }
    return Since(start);
}

double FfmpegSeeks(const std::string& src, const std::vector<int64_t>& frames) {
    double total = 0;
    for (int64_t k : frames) {
        char t[32];
        std::snprintf(t, sizeof t, "%.3f", double(k) / Rate);
        const TChildRun r = RunChild({"ffmpeg", "-nostdin", "-v", "error", "-ss", t, "-i", src,
                                      "-frames:v", "1", "-f", "null", "-"});
        Require(r.ExitCode == 0, "ffmpeg seek");
        total += r.Seconds;
    }
    return total;
}

// Plays the whole file in real time with sound through a device-less sink paced like a sound
// card; every picture's lateness is measured from where the first one landed.
void RealTimePlayback(const std::string& src) {
    TTimingSink sink;
    TMediaPlayer player{TNullAudioSink::Factory()};
    player.SetVideoSink(&sink);
    PlayToEnd(player, src);
    const auto& a = sink.Arrivals;
    Require(!a.empty(), "playback showed nothing");
    double worst = 0, sum = 0;
    for (const auto& [frame, when] : a) {
        const double due = double(frame - a.front().first) / Rate;
        const double late = std::chrono::duration<double>(when - a.front().second).count() - due;
        worst = std::max(worst, std::abs(late));
        sum += std::abs(late);
    }
    const double span = std::chrono::duration<double>(a.back().second - a.front().second).count();
    std::printf("real-time playback with sound: %zu of %d pictures shown in %.2f s (file %.2f s), "
                "mean deviation %.1f ms, worst %.1f ms (target: all shown, worst < 40 ms)\n",
                a.size(), Seconds * Rate, span, double(Seconds * Rate - 1) / Rate,
                1000 * sum / double(a.size()), 1000 * worst);
}

std::string MakeSource(const fs::path& dir, int gop) {
    const std::string path = (dir / ("pal-g" + std::to_string(gop) + ".avi")).string();
    const std::string make = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=720x576:rate=" +
                             std::to_string(Rate) + " -f lavfi -i sine=sample_rate=48000 -t " +
                             std::to_string(Seconds) + " -c:v mpeg4 -q:v 3 -g " +
                             std::to_string(gop) + " -bf 0 -c:a pcm_s16le -ac 2 " + path;
    Require(std::system(make.c_str()) == 0, "making the source");
    WarmCache(path);
    return path;
}

} // namespace

int main() {
    const fs::path dir =
        fs::temp_directory_path() / ("zarvex-bench-player-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string src = MakeSource(dir, 250);

    double ours = 1e9, theirs = 1e9;
    long frames = 0;
    for (int i = 0; i < Rounds; ++i) {
        ours = std::min(ours, OurDecode(src, frames));
        const TChildRun r = RunChild({"ffmpeg", "-nostdin", "-v", "error", "-i", src, "-f",
                                      "rawvideo", "-pix_fmt", "bgra", "-y", "/dev/null"});
        Require(r.ExitCode == 0, "ffmpeg decode");
        theirs = std::min(theirs, r.Seconds);
    }
    std::printf("decode %ld frames 720x576 to 32-bit pixels: player %.3f s, ffmpeg %.3f s, "
                "speed ratio %.2f (target >= 0.9)\n",
                frames, ours, theirs, theirs / ours);

    std::mt19937 random(11);
    std::vector<int64_t> targets;
    for (int i = 0; i < Seeks; ++i)
        targets.push_back(std::uniform_int_distribution<int64_t>(1, Seconds * Rate - 1)(random));
    // Sparse key frames cost both sides the most decoding; ffmpeg's default interval is 12.
    for (int gop : {250, 12}) {
        const std::string file = gop == 250 ? src : MakeSource(dir, gop);
        const double seekOurs = OurSeeks(file, targets);
        const double seekTheirs = FfmpegSeeks(file, targets);
        std::printf("%d exact seeks (key frame every %d): player %.3f s, ffmpeg -ss %.3f s, "
                    "time ratio %.2f (target <= 0.33)\n",
                    Seeks, gop, seekOurs, seekTheirs, seekOurs / seekTheirs);
    }
    RealTimePlayback(src);
    fs::remove_all(dir);
    return 0;
}
