// The timeline as a whole: the ruler, the bar, the lanes of pictures and sound and a scroll bar,
// with a zoom from the whole recording down to a few pixels a frame. Hovering shows the time
// and the picture under the mouse.
#pragma once

#include "media/OverviewSource.h"

#include <QWidget>

#include <cstdint>
#include <functional>

class QScrollBar;

namespace zarvex {

class TTimeRuler;
class TTimelineLanes;
class TTimelineTip;
class TTrackLine;

class TTimelineView : public QWidget {
public:
    static constexpr double ZoomStep = 1.5;
    static constexpr int PixelsPerFrame = 8; // the closest zoom

    explicit TTimelineView(QWidget* parent = nullptr);
    ~TTimelineView() override;

    TTrackLine* TrackLine() const { return FLine; }
    TTimelineLanes* Lanes() const { return FLanes; }
    TTimeRuler* Ruler() const { return FRuler; }
    QScrollBar* ScrollBar() const { return FScroll; }

    // A new recording (or none): the whole of it in view. frameTime in 100-ns units.
    void Reset(double frameTime);
    // Not owned; null hides the lanes.
    void SetSource(media::TOverviewSource* source);

    void ZoomIn();
    void ZoomOut();
    void ZoomToFit();
    // Narrows (factor > 1) or widens the view so that column x keeps its time.
    void ZoomBy(double factor, int x);
    // The same around a time, which keeps its column.
    void ZoomAt(double factor, int64_t anchor);
    // The view is moved to show the position when it has left it.
    void FollowPosition();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ZoomAroundPosition(double factor);
    bool Wheel(const QWheelEvent& event, int x);
    void SetSpan(int64_t start, int64_t span);
    void ViewChanged();
    void Scrolled(int value);
    int64_t MinSpan() const;
    void ShowTip(QWidget& over, QPoint at);

    TTimeRuler* FRuler;
    TTrackLine* FLine;
    TTimelineLanes* FLanes;
    QScrollBar* FScroll;
    TTimelineTip* FTip = nullptr;
    media::TOverviewSource* FSource = nullptr;
    double FFrameTime = 0;
    bool FScrolling = false; // the scroll bar is being set from the view
};

} // namespace zarvex
