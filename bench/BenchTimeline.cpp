// How long the timeline takes to paint its bar, ruler and lanes for a two-hour recording with a
// picture every two seconds and peaks everywhere, the whole recording in view and zoomed in to
// eight pixels a frame; and the time as a share of the 0.1 s the window's thread may stall.
#include "viewing/FakeOverview.h"
#include "viewing/TimelineLanes.h"
#include "viewing/TimelineView.h"
#include "viewing/TrackLine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>

#include <chrono>
#include <cstdio>

using namespace zarvex;

namespace {

constexpr int64_t FrameTime = 400000; // 25 frames a second
constexpr int64_t Duration = 2LL * 3600 * 10000000;
constexpr int Paints = 50;

double MsPerPaint(TTimelineView& view) {
    QImage image(view.size(), QImage::Format_RGB32);
    view.render(&image); // the pictures' scaled copies are made once
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < Paints; ++i)
        view.render(&image);
    return double(clock.nsecsElapsed()) / 1e6 / Paints;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    fixtures::TFakeOverview source(Duration, FrameTime, 50);
    source.Start(std::chrono::milliseconds(0), 1);
    while (!source.Complete())
        QCoreApplication::processEvents();
    TTimelineView view;
    TTrackLine& line = *view.TrackLine();
    line.MaxPos = Duration;
    line.setEnabled(true);
    view.resize(1900, view.sizeHint().height());
    view.Reset(double(FrameTime));
    view.SetSource(&source);
    view.resize(1900, view.sizeHint().height());
    line.SetCurPosSilent(Duration / 2);
    const double whole = MsPerPaint(view);
    for (int i = 0; i < 60; ++i)
        view.ZoomIn();
    const double close = MsPerPaint(view);
    std::printf("timeline paint, 1900 px, 3600 pictures: whole %.2f ms, 8 px a frame %.2f ms\n",
                whole, close);
    std::printf("share of the 100 ms stall target: %.3f and %.3f\n", whole / 100, close / 100);
    return 0;
}
