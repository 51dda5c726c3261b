// Frame-exact random access on 720x576 MPEG-4 with a key frame every 250 frames, without and
// with two B-frames in a row: the same 20 random frames through FFMS2 (its index built
// beforehand and not timed), through the player as the viewer drives it and through the frame
// grabber that frame export uses. Each contender's time includes opening the file. Then a drag
// across the file: a seek every 20 ms, and the pictures a second the player shows meanwhile.
#include "BenchUtil.h"

#include "media/MediaDet.h"
#include "media/Player.h"
#include "media/VideoDecoder.h"
#include "media/VideoSink.h"

#include <ffms.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace zarvex::bench;
using namespace zarvex::media;
namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

constexpr int Frames = 20;
constexpr int Rounds = 3;
constexpr int Seconds = 60, Rate = 25;
constexpr auto DragStep = std::chrono::milliseconds(20);
// A quick drag over a long file: 1.5 s of video a step, back and forth for 10 s; the step is no
// divisor of the key frame interval, so the seeks land all over the groups.
constexpr int DragFramesPerStep = 37;
constexpr int DragSteps = 500;

double Since(TClock::time_point start) {
    return std::chrono::duration<double>(TClock::now() - start).count();
}

struct TFfmsError {
    char Text[1024] = {};
    FFMS_ErrorInfo Info{0, 0, sizeof Text, Text};
};

FFMS_Index* IndexOf(const std::string& src) {
    TFfmsError e;
    FFMS_Indexer* indexer = FFMS_CreateIndexer(src.c_str(), &e.Info);
    Require(indexer != nullptr, std::string("FFMS2 indexer: ") + e.Text);
    FFMS_Index* index = FFMS_DoIndexing2(indexer, FFMS_IEH_ABORT, &e.Info);
    Require(index != nullptr, std::string("FFMS2 indexing: ") + e.Text);
    return index;
}

double Ffms(const std::string& src, FFMS_Index* index, int threads,
            const std::vector<int64_t>& frames) {
    TFfmsError e;
    const auto start = TClock::now();
    const int track = FFMS_GetFirstTrackOfType(index, FFMS_TYPE_VIDEO, &e.Info);
    FFMS_VideoSource* video =
        FFMS_CreateVideoSource(src.c_str(), track, index, threads, FFMS_SEEK_NORMAL, &e.Info);
    Require(video != nullptr, std::string("FFMS2 source: ") + e.Text);
    for (int64_t k : frames)
        Require(FFMS_GetFrame(video, int(k), &e.Info) != nullptr, std::string("FFMS2: ") + e.Text);
    FFMS_DestroyVideoSource(video);
    return Since(start);
}

// Remembers every picture and lets the bench wait for a given one.
class TRecordingSink : public TVideoSink {
public:
    void Deliver(TVideoFramePtr frame) override {
        std::lock_guard lock(Mutex);
        Shown.push_back(frame->FrameNumber);
        Changed.notify_all();
    }
    void WaitFor(int64_t frame) {
        std::unique_lock lock(Mutex);
        Changed.wait(lock, [&] { return !Shown.empty() && Shown.back() == frame; });
    }
    std::mutex Mutex;
    std::condition_variable Changed;
    std::vector<int64_t> Shown;
};

void OpenPaused(TMediaPlayer& player, TRecordingSink& sink, const std::string& src) {
    player.SetVideoSink(&sink);
    Require(RenderSucceeded(player.RenderFile(src)), "render");
    player.Pause();
    sink.WaitFor(0);
}

double Player(const std::string& src, const std::vector<int64_t>& frames) {
    const auto start = TClock::now();
    TRecordingSink sink;
    TMediaPlayer player;
    OpenPaused(player, sink, src);
    for (int64_t k : frames) {
        player.SetPositions(player.FrameTime(k));
        sink.WaitFor(k);
    }
    return Since(start);
}

// The decoder alone with a given thread count, to see what the thread setting costs.
double Decoder(const std::string& src, int threads, const std::vector<int64_t>& frames) {
    const auto start = TClock::now();
    TVideoDecoder decoder(src, threads);
    TVideoPicture picture;
    for (int64_t k : frames)
        Require(decoder.DecodeAt(decoder.FrameTime(k), picture) && picture.FrameNumber == k,
                "decoding frame " + std::to_string(k));
    return Since(start);
}

double Grabber(const std::string& src, const std::vector<int64_t>& frames) {
    const auto start = TClock::now();
    TMediaDet det;
    Require(det.SetFilename(src) == 0 && det.SetCurrentStream(0) == 0, "opening the source");
    zarvex::TFrameClock clock(0, 0);
    Require(det.GetFrameClock(clock) == 0, "frame clock");
    std::vector<uint8_t> buffer;
    for (int64_t k : frames) {
        const double t = double(clock.FrameStart(k)) / 1e7;
        int64_t size = 0;
        Require(det.GetBitmapBits(t, size, nullptr, 720, 576) == 0, "size query");
        buffer.resize(size_t(size));
        Require(det.GetBitmapBits(t, size, buffer.data(), 720, 576) == 0, "grab");
    }
    return Since(start);
}

// The fastest round: on a machine shared with other work the others only add noise.
double Fastest(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

// A mouse dragging the position to and fro across the file, a seek every 20 ms.
void Drag(const std::string& src, const char* name) {
    TRecordingSink sink;
    TMediaPlayer player;
    OpenPaused(player, sink, src);
    std::set<int64_t> asked;
    const size_t before = sink.Shown.size();
    const auto start = TClock::now();
    auto next = start;
    int64_t k = 0, step = DragFramesPerStep;
    for (int i = 0; i < DragSteps; ++i) {
        if (k + step < 0 || k + step >= Seconds * Rate)
            step = -step;
        k += step;
        asked.insert(k);
        player.SetPositions(player.FrameTime(k));
        next += DragStep;
        std::this_thread::sleep_until(next);
    }
    const double span = Since(start);
    std::lock_guard lock(sink.Mutex);
    const std::vector<int64_t> shown(sink.Shown.begin() + std::ptrdiff_t(before), sink.Shown.end());
    const long foreign =
        std::count_if(shown.begin(), shown.end(), [&](int64_t f) { return !asked.count(f); });
    std::printf("  drag %s: %zu pictures in %.2f s, %.1f a second (target >= 10), %ld not a "
                "position asked for\n",
                name, shown.size(), span, double(shown.size()) / span, foreign);
}

void Compare(const std::string& src, const char* name, const std::vector<int64_t>& frames) {
    FFMS_Index* index = IndexOf(src);
    const std::vector<int> threadCounts{1, 2, 4};
    std::vector<std::vector<double>> ffms(threadCounts.size());
    std::vector<std::vector<double>> decoder(threadCounts.size());
    std::vector<double> player, grabber;
    for (int r = 0; r < Rounds; ++r) {
        for (size_t i = 0; i < threadCounts.size(); ++i) {
            ffms[i].push_back(Ffms(src, index, threadCounts[i], frames));
            decoder[i].push_back(Decoder(src, threadCounts[i], frames));
        }
        player.push_back(Player(src, frames));
        grabber.push_back(Grabber(src, frames));
    }
    FFMS_DestroyIndex(index);
    const double one = Fastest(ffms[0]);
    double best = one;
    int bestThreads = 1;
    std::printf("%s, %d random frames, fastest of %d:\n", name, Frames, Rounds);
    for (size_t i = 0; i < threadCounts.size(); ++i) {
        const double t = Fastest(ffms[i]);
        std::printf("  FFMS2 %d thread%s  %.3f s\n", threadCounts[i],
                    threadCounts[i] > 1 ? "s" : "", t);
        if (t < best) {
            best = t;
            bestThreads = threadCounts[i];
        }
    }
    for (size_t i = 0; i < threadCounts.size(); ++i)
        std::printf("  zarvex decoder alone, %d thread%s  %.3f s\n", threadCounts[i],
                    threadCounts[i] > 1 ? "s" : "", Fastest(decoder[i]));
    const double p = Fastest(player), g = Fastest(grabber);
    std::printf("  zarvex player    %.3f s  ratio %.2f to FFMS2 1 thread, %.2f to its best (%d)\n",
                p, p / one, p / best, bestThreads);
    std::printf("  zarvex grabber   %.3f s  ratio %.2f to FFMS2 1 thread, %.2f to its best (%d)\n",
                g, g / one, g / best, bestThreads);
}

} // namespace

// An argument "access" or "drag" runs only that half.
int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    const fs::path dir = fs::path(SelfPath()).parent_path() / "zarvex-bench-seek";
    fs::create_directories(dir);
    const std::string plain = (dir / "seek-bf0.avi").string();
    const std::string bframes = (dir / "seek-bf2.avi").string();
    MakeXvidRecording(dir, plain, Seconds, 0);
    MakeXvidRecording(dir, bframes, Seconds, 2);
    CacheAsRead(plain);
    CacheAsRead(bframes);
    FFMS_Init(0, 0);
    FFMS_SetLogLevel(FFMS_LOG_QUIET);

    std::mt19937 random(20261209);
    std::vector<int64_t> frames(Frames);
    for (int64_t& k : frames)
        k = std::uniform_int_distribution<int64_t>(1, Seconds * Rate - 1)(random);
    if (only != "drag") {
        std::printf("720x576 MPEG-4, key frame every 250, %d s; the FFMS2 index is built "
                    "beforehand and not timed; every time includes opening the file\n",
                    Seconds);
        Compare(plain, "no B-frames (target: player and grabber <= FFMS2's best)", frames);
        Compare(bframes, "two B-frames (target: player and grabber <= 0.6 x FFMS2's best)", frames);
    }
    if (only != "access") {
        std::printf("dragging, a seek every %lld ms, to and fro across the file:\n",
                    static_cast<long long>(DragStep.count()));
        Drag(plain, "no B-frames");
        Drag(bframes, "two B-frames");
    }
    FFMS_Deinit();
    fs::remove_all(dir);
    return 0;
}
