// The timeline's zoom, ruler and lanes on their own, with an overview that fills in from a
// thread of its own.
#include "viewing/TimelineView.h"

#include "viewing/FakeOverview.h"
#include "viewing/TimeRuler.h"
#include "viewing/TimelineLanes.h"
#include "viewing/TrackLine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLayout>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

using namespace zarvex;
using namespace std::chrono_literals;

namespace {

constexpr int64_t Second = 10000000;
constexpr int64_t FrameTime = 400000; // 25 frames per second
constexpr int64_t Duration = 60 * Second;

class TimelineTest : public ::testing::Test {
protected:
    TTimelineView View;
    TTrackLine& Line = *View.TrackLine();

    void SetUp() override {
        Line.MaxPos = Duration;
        Line.setEnabled(true);
        View.resize(610, View.sizeHint().height());
        View.layout()->activate(); // the parts take their widths without a show
        View.Reset(FrameTime);
        Line.SetCurPosSilent(20 * Second);
    }
    int64_t Span() const { return Line.ViewEnd() - Line.ViewStart(); }
    bool Wheel(int x, int delta, Qt::KeyboardModifiers keys) {
        const QPointF at(x, 10);
        QWheelEvent event(at, View.mapToGlobal(at), {}, {0, delta}, Qt::NoButton, keys,
                          Qt::NoScrollPhase, false);
        event.setAccepted(false);
        QApplication::sendEvent(&View, &event);
        return event.isAccepted();
    }
};

} // namespace

TEST_F(TimelineTest, ZoomKeepsThePositionsColumnDownToEightPixelsAFrame) {
    const int x = Line.PosToX(Line.CurPos());
    for (int i = 0; i < 3; ++i)
        View.ZoomIn();
    EXPECT_TRUE(Line.Zoomed());
    EXPECT_NEAR(double(Span()), Duration / 3.375, double(Second) / 1000);
    EXPECT_NEAR(Line.PosToX(Line.CurPos()), x, 1);
    EXPECT_TRUE(View.ScrollBar()->isEnabled());

    // Out of view, the position comes to the middle first.
    View.ZoomIn();
    Line.SetView(0, 10 * Second);
    View.ZoomIn();
    EXPECT_LE(Line.ViewStart(), Line.CurPos());
    EXPECT_GE(Line.ViewEnd(), Line.CurPos());
    EXPECT_NEAR(Line.PosToX(Line.CurPos()), Line.TrackRect().center().x(), 2);

    for (int i = 0; i < 40; ++i)
        View.ZoomIn();
    EXPECT_EQ(Line.PosToX(Line.CurPos() + FrameTime) - Line.PosToX(Line.CurPos()),
              TTimelineView::PixelsPerFrame);

    View.ZoomToFit();
    EXPECT_FALSE(Line.Zoomed());
    EXPECT_EQ(Line.XToPos(Line.TrackRect().x()), 0);
    EXPECT_FALSE(View.ScrollBar()->isEnabled());
}

TEST_F(TimelineTest, WheelZoomsAroundTheMouseScrollsWhenZoomedAndTheViewFollowsThePosition) {
    EXPECT_FALSE(Wheel(200, 120, {})) << "unzoomed, the window's own wheel steps";
    const int64_t under = Line.XToPos(200);
    EXPECT_TRUE(Wheel(200, 240, Qt::ControlModifier));
    EXPECT_NEAR(double(Span()), Duration / 2.25, double(Second) / 1000);
    EXPECT_NEAR(double(Line.XToPos(200)), double(under), double(Span()) / 600);

    const int64_t start = Line.ViewStart(), span = Span();
    EXPECT_TRUE(Wheel(200, -120, {}));
    EXPECT_EQ(Line.ViewStart(), start + span / 10);
    EXPECT_EQ(Span(), span);
    View.ScrollBar()->setValue(0);
    EXPECT_EQ(Line.ViewStart(), 0);

    // Playback leaving the view turns a page, keeping a little of the last one.
    Line.SetCurPosSilent(span + Second);
    EXPECT_EQ(Line.ViewStart(), span + Second - span / 10);
    Line.SetCurPosSilent(Second);
    EXPECT_EQ(Line.ViewStart(), 0) << "a page back, as far as the start";
}

TEST_F(TimelineTest, RulerLabelsFitTheZoom) {
    // 100 ms a column with labels of 40 pixels: 5.6 s wanted.
    EXPECT_EQ(TTimeRuler::LabelStep(1e6, 40, FrameTime), 10 * Second);
    EXPECT_EQ(TTimeRuler::LabelStep(1e8, 40, FrameTime), 600 * Second);
    // Eight pixels a frame: whole frames, ten of them.
    EXPECT_EQ(TTimeRuler::LabelStep(FrameTime / 8.0, 40, FrameTime), -10);
    EXPECT_EQ(TTimeRuler::LabelStep(FrameTime / 8.0, 40, 0), Second / 2) << "no frame known";
    EXPECT_EQ(TTimeRuler::Label(5025 * Second, 60 * Second, FrameTime), "1:23:45");
    EXPECT_EQ(TTimeRuler::Label(125 * Second / 10, Second / 2, FrameTime), "0:12.5");
    EXPECT_EQ(TTimeRuler::Label(1250 * FrameTime, -10, FrameTime), "1250");
}

// The thumbnails and the peaks arrive from the source's own thread; the window's thread polls
// and repaints, never waiting on the work.
TEST_F(TimelineTest, LanesFillInWithoutStallingTheWindowsThread) {
    fixtures::TFakeOverview source(Duration, FrameTime, 25);
    View.SetSource(&source);
    View.show();
    for (int i = 0; i < 50 && !(View.windowHandle() && View.windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents();
    const auto visible = source.LastVisible();
    EXPECT_EQ(visible.From, 0);
    EXPECT_EQ(visible.To, Duration);
    EXPECT_EQ(visible.TimePerColumn, View.Lanes()->TimePerColumn());

    int paints = 0;
    struct TCounter : QObject {
        int& Count;
        explicit TCounter(int& count) : Count(count) {}
        bool eventFilter(QObject*, QEvent* event) override {
            Count += event->type() == QEvent::Paint;
            return false;
        }
    } counter(paints);
    View.Lanes()->installEventFilter(&counter);

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    ticks.start(10);
    source.Start(800ms);
    while (!source.Complete() && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 done = clock.elapsed();
    while (clock.elapsed() < done + 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_TRUE(source.Complete());
    EXPECT_LT(longest, 100) << "ms between two ticks of a 10 ms timer";
    EXPECT_GE(paints, 4) << "repainted as the pictures came";
    const int settled = paints;
    while (clock.elapsed() < done + 600)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(paints, settled) << "nothing new, no repaint";

    QImage image(View.Lanes()->size(), QImage::Format_RGB32);
    View.Lanes()->render(&image);
    const QColor empty = View.palette().color(QPalette::AlternateBase);
    int pictured = 0, waved = 0;
    const QRgb wave = View.palette().color(QPalette::Highlight).rgb();
    for (int x = Line.TrackRect().x(); x < Line.TrackRect().right(); ++x) {
        pictured += image.pixel(x, TTimelineLanes::PictureHeight / 2) != empty.rgb();
        for (int y = TTimelineLanes::PictureHeight; y < image.height(); ++y)
            if (image.pixel(x, y) == wave) {
                ++waved;
                break;
            }
    }
    EXPECT_GT(pictured, Line.TrackRect().width() * 9 / 10) << "the pictures cover the lane";
    EXPECT_GT(waved, Line.TrackRect().width() * 8 / 10) << "a line in nearly every column";
}

// A drag held past an end of a zoomed bar moves the view along: the position, and an edge of
// the chosen segment, follow to the new end of the bar.
TEST_F(TimelineTest, DragsHeldPastAnEndMoveTheView) {
    View.ZoomIn();
    View.ZoomIn();
    Line.SetActiveRange(21 * Second, 24 * Second);
    const auto send = [&](QEvent::Type type, int x, int y, Qt::MouseButtons buttons) {
        const QPointF at(x, y);
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, Line.mapToGlobal(at), button, buttons, {});
        QApplication::sendEvent(&Line, &event);
    };
    const auto holdPast = [&](int from, int to, int y) {
        send(QEvent::MouseButtonPress, from, y, Qt::LeftButton);
        send(QEvent::MouseMove, to, y, Qt::LeftButton);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 300)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        send(QEvent::MouseButtonRelease, to, y, {});
    };
    const QRect track = Line.TrackRect();
    const int64_t start = Line.ViewStart();
    holdPast(Line.PosToX(30 * Second), Line.width() + 40, track.center().y());
    EXPECT_GT(Line.ViewStart(), start);
    EXPECT_NEAR(double(Line.CurPos()), double(Line.ViewEnd()), double(Span()) / 100);

    int64_t edge = -1;
    Line.OnEdgeDragged = [&](TTrackLine&, bool end, int64_t pos) { edge = end ? -2 : pos; };
    View.ScrollBar()->setValue(0);
    for (int i = 0; i < 4; ++i)
        Wheel(200, -120, {}); // 21 s to 24 s in view, the view starting past 10 s
    const int64_t before = Line.ViewStart();
    ASSERT_GT(before, 10 * Second);
    holdPast(Line.PosToX(21 * Second), -40, track.bottom() + 3);
    EXPECT_LT(Line.ViewStart(), before);
    EXPECT_NEAR(double(edge), double(Line.ViewStart()), double(Span()) / 100);
}
