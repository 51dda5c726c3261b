#include "viewing/ReversePlay.h"

#include "viewing/VideoView.h"

#include <algorithm>
#include <cmath>

namespace zarvex {

namespace {

constexpr double StepsPerSecond = 8; // few enough for the decoder to show most of them

} // namespace

TReversePlay::TReversePlay(TAVIViewer& viewer, QObject* parent) : QObject(parent), Viewer(viewer) {
    connect(&Timer, &QTimer::timeout, this, [this] { Step(); });
}

void TReversePlay::Start() {
    if (Active() || Viewer.FileName().empty() || Viewer.Position() <= 0)
        return;
    if (Viewer.Playing)
        Viewer.Pause();
    const double rate = Viewer.FrameRate > 0 ? Viewer.FrameRate : 25;
    StepFrames = std::max<int64_t>(1, std::llround(rate / StepsPerSecond));
    Timer.setInterval(int(std::lround(1000.0 * double(StepFrames) / rate)));
    Expected = Viewer.Position();
    Timer.start();
    Step();
    if (OnStateChange)
        OnStateChange();
}

void TReversePlay::Stop() {
    if (!Active())
        return;
    Timer.stop();
    if (OnStateChange)
        OnStateChange();
}

void TReversePlay::Step() {
    const int64_t position = Viewer.Position();
    if (Viewer.Playing || Viewer.FileName().empty() || position != Expected || position <= 0) {
        Stop();
        return;
    }
    const int64_t frame = std::max<int64_t>(Viewer.TimeToFrame(position) - StepFrames, 0);
    Viewer.SetPosition(Viewer.FrameToTime(frame));
    Expected = Viewer.Position();
    if (frame == 0)
        Stop();
}

} // namespace zarvex
