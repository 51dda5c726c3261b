// The window's job runner against the same engine calls made directly: a copy of about 1 GiB
// and a frame-exact cut of a 720x576 MPEG-4 file with B-frames. Prints the runner's overhead
// (target at most 2 %), the longest gap between ticks of a 10 ms timer on the window's thread
// while each job runs (target 0.1 s), and how long after a click on Cancel each job ends
// (target 0.3 s). Every run writes a new file: on ext4 closing a file that was truncated and
// written again waits for its pages to be written, about 0.15 s a GiB here.
#include "BenchUtil.h"
#include "avi_input/AVIRead.h"
#include "media/ExactCut.h"
#include "splitting/ZarvexCls.h"
#include "support/JobRunner.h"
#include "support/ProgressDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace zarvex;
using namespace zarvex::bench;
namespace fs = std::filesystem;

namespace {

constexpr int Runs = 3;
constexpr int First = 2600, Last = First + 7340; // about 1 GiB, inside a group of pictures
constexpr long long ScratchBytes = 2LL << 30;

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

using TEngineJob = std::function<void(TZarvex&)>;

void Copy(TZarvex& z) {
    z.CopySegment(First, Last);
}
void Exact(TZarvex& z) {
    media::CopySegmentExact(z, First, Last);
}

// As the command line runs it: the source opened, then the engine call.
double Direct(const std::string& src, const std::string& out, const TEngineJob& job) {
    const double start = Now();
    TAVIFileReader reader;
    reader.Open(src);
    TZarvex z(reader);
    z.FileName = out;
    z.OnProgress = [](TZarvex&, bool& cancel, double) { cancel = false; };
    job(z);
    return Now() - start;
}

// The frames a written file holds.
int64_t FramesOf(const std::string& path) {
    TAVIFileReader reader;
    reader.Open(path);
    return int64_t(reader.VideoStream()->EntryCount());
}

struct TRunnerRun {
    double Seconds = 0;
    double LongestGap = 0;   // seconds
    double CancelDelay = -1; // seconds from the click to the job's end, when cancelled
};

// cancelAt: percent at which Cancel is clicked; negative for a job that runs to its end.
TRunnerRun ThroughRunner(const std::string& src, const std::string& out, const TEngineJob& job,
                         double cancelAt) {
    TRunnerRun run;
    QWidget window;
    window.show();
    QElapsedTimer clock;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout,
                     [&] { run.LongestGap = std::max(run.LongestGap, clock.restart() / 1000.0); });
    TfrmProgress* dialog = nullptr;
    double clicked = -1;
    QTimer canceller;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        if (dialog && clicked < 0 && cancelAt >= 0 && dialog->Position() >= cancelAt) {
            clicked = Now();
            dialog->btnCancel->click();
        }
    });
    const double start = Now();
    clock.start();
    ticks.start(10);
    canceller.start(5);
    RunJob(&window, {"Saving...", "Please wait...", [&](TfrmProgress& p) { dialog = &p; }},
           [&](TJobControl& control) {
               TAVIFileReader reader;
               reader.Open(src);
               TZarvex z(reader);
               z.FileName = out;
               z.OnProgress = control.ProgressHandler<TZarvex>();
               job(z);
           });
    const double end = Now();
    run.Seconds = end - start;
    run.CancelDelay = clicked < 0 ? -1 : end - clicked;
    return run;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const fs::path dir = fs::temp_directory_path() / "zarvex-bench-jobs";
    fs::create_directories(dir);
    const fs::path src = dir / "src.avi";
    const std::string out = (dir / "out.avi").string();
    if (!fs::exists(src))
        MakeXvidRecording(dir, src, 420);
    WarmCache(src.string());
    std::vector<double> direct, runner, gaps;
    // Each run writes a new file: overwriting one whose pages are still being written back
    // costs the next run.
    for (int i = 0; i < Runs; ++i) {
        fs::remove(out);
        ReusePageCache(dir.string(), ScratchBytes);
        direct.push_back(Direct(src.string(), out, Copy));
        fs::remove(out);
        ReusePageCache(dir.string(), ScratchBytes);
        const TRunnerRun r = ThroughRunner(src.string(), out, Copy, -1);
        runner.push_back(r.Seconds);
        gaps.push_back(r.LongestGap);
    }
    std::printf("copy of %.2f GiB: direct %.2f s, through the runner %.2f s: %+.1f %% "
                "(target at most +2 %%)\n",
                double(fs::file_size(out)) / (1 << 30), Median(direct), Median(runner),
                (Median(runner) / Median(direct) - 1) * 100);
    std::printf("longest gap of the window's 10 ms timer during the copy: %.3f s (target 0.1 s)\n",
                *std::max_element(gaps.begin(), gaps.end()));
    fs::remove(out);
    const TRunnerRun exact = ThroughRunner(src.string(), out, Exact, -1);
    std::printf("frame-exact cut: %.2f s; longest gap of the timer: %.3f s (target 0.1 s)\n",
                exact.Seconds, exact.LongestGap);
    for (const double at : {0.5, 5.0, 50.0, 97.0}) {
        fs::remove(out);
        const TRunnerRun c = ThroughRunner(src.string(), out, Exact, at);
        std::printf("frame-exact cut cancelled at %4.1f %%: ends %.3f s after the click "
                    "(target 0.3 s), %lld of %d frames written\n",
                    at, c.CancelDelay, static_cast<long long>(FramesOf(out)), Last - First + 1);
    }
    fs::remove(out);
    const TRunnerRun c = ThroughRunner(src.string(), out, Copy, 30);
    std::printf("copy cancelled at 30 %%: ends %.3f s after the click (target 0.3 s), %lld of "
                "%d frames written\n",
                c.CancelDelay, static_cast<long long>(FramesOf(out)), Last - First + 1);
    fs::remove_all(dir);
    return 0;
}
