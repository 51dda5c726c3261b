#include "viewing/TimelineView.h"

#include "support/PositionText.h"
#include "viewing/TimeRuler.h"
#include "viewing/TimelineLanes.h"
#include "viewing/TimelineTip.h"
#include "viewing/TrackLine.h"

#include <QMouseEvent>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace zarvex {

namespace {

constexpr int TrackLineHeight = 34;
constexpr int WheelNotch = 120;

} // namespace

TTimelineView::TTimelineView(QWidget* parent) : QWidget(parent) {
    FLine = new TTrackLine(this);
    FRuler = new TTimeRuler(*FLine, this);
    FLanes = new TTimelineLanes(*FLine, this);
    FScroll = new QScrollBar(Qt::Horizontal, this);
    FLine->setFixedHeight(TrackLineHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Every part spans the full width, so that a column means one time in all of them.
    for (QWidget* part : {static_cast<QWidget*>(FRuler), static_cast<QWidget*>(FLine),
                          static_cast<QWidget*>(FLanes), static_cast<QWidget*>(FScroll)})
        layout->addWidget(part);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    FLanes->hide();
    FScroll->setEnabled(false);
    connect(FScroll, &QScrollBar::valueChanged, this, [this](int value) { Scrolled(value); });
    FLine->OnPositionMoved = [this] { FollowPosition(); };
    FLine->OnDragPastEnd = [this](int direction) {
        FScroll->setValue(FScroll->value() + direction * FScroll->singleStep());
    };
    for (QWidget* part : {static_cast<QWidget*>(FLine), static_cast<QWidget*>(FLanes)}) {
        part->setMouseTracking(true);
        part->installEventFilter(this);
    }
}

TTimelineView::~TTimelineView() {
    FLine->OnPositionMoved = nullptr;
}

void TTimelineView::Reset(double frameTime) {
    FFrameTime = frameTime;
    FRuler->SetFrameTime(frameTime);
    ZoomToFit();
}

void TTimelineView::SetSource(media::TOverviewSource* source) {
    FSource = source;
    FLanes->SetSource(source);
    FLanes->setVisible(source != nullptr);
    ViewChanged();
}

int64_t TTimelineView::MinSpan() const {
    const int64_t total = FLine->MaxPos - FLine->MinPos;
    const int columns = FLine->TrackRect().width();
    if (FFrameTime <= 0 || columns < 2)
        return total;
    return std::min<int64_t>(
        total, std::max<int64_t>(1, std::llround(FFrameTime * (columns - 1) / PixelsPerFrame)));
}

void TTimelineView::SetSpan(int64_t start, int64_t span) {
    const int64_t total = FLine->MaxPos - FLine->MinPos;
    span = std::clamp(span, MinSpan(), std::max<int64_t>(total, 1));
    start = std::clamp(start, FLine->MinPos, std::max(FLine->MinPos, FLine->MaxPos - span));
    FLine->SetView(start, start + span);
    ViewChanged();
}

void TTimelineView::ZoomBy(double factor, int x) {
    ZoomAt(factor, FLine->XToPos(x));
}

void TTimelineView::ZoomAt(double factor, int64_t anchor) {
    const int64_t start = FLine->ViewStart(), span = FLine->ViewEnd() - start;
    if (span <= 0 || factor <= 0)
        return;
    anchor = std::clamp(anchor, start, start + span);
    const double share = double(anchor - start) / double(span);
    const int64_t total = FLine->MaxPos - FLine->MinPos;
    const int64_t wanted = std::clamp<int64_t>(std::llround(double(span) / factor), MinSpan(),
                                               std::max<int64_t>(total, 1));
    SetSpan(anchor - std::llround(share * double(wanted)), wanted);
}

void TTimelineView::ZoomIn() {
    ZoomAroundPosition(ZoomStep);
}

void TTimelineView::ZoomOut() {
    ZoomAroundPosition(1 / ZoomStep);
}

// The position keeps its column while it is in view; else it comes to the middle first.
void TTimelineView::ZoomAroundPosition(double factor) {
    const int64_t pos = FLine->CurPos(), start = FLine->ViewStart();
    const int64_t span = FLine->ViewEnd() - start;
    if (pos < start || pos > start + span)
        SetSpan(pos - span / 2, span);
    ZoomAt(factor, pos);
}

void TTimelineView::ZoomToFit() {
    FLine->SetView(FLine->MinPos, FLine->MaxPos);
    ViewChanged();
}

void TTimelineView::FollowPosition() {
    if (!FLine->Zoomed())
        return;
    const int64_t pos = FLine->CurPos(), start = FLine->ViewStart();
    const int64_t span = FLine->ViewEnd() - start;
    // A page on, with a little of the page before still in view.
    if (pos > FLine->ViewEnd())
        SetSpan(pos - span / 10, span);
    else if (pos < start)
        SetSpan(pos - span + span / 10, span);
}

void TTimelineView::ViewChanged() {
    const int64_t start = FLine->ViewStart(), end = FLine->ViewEnd();
    const int64_t perColumn = FLanes->TimePerColumn();
    if (FTip)
        FTip->hide(); // it named a time of the view before
    FScrolling = true;
    if (FLine->Zoomed()) {
        const int64_t total = FLine->MaxPos - FLine->MinPos;
        FScroll->setRange(0, int((total - (end - start)) / perColumn));
        FScroll->setPageStep(std::max(1, FLine->TrackRect().width()));
        FScroll->setSingleStep(std::max(1, FLine->TrackRect().width() / 10));
        FScroll->setValue(int((start - FLine->MinPos) / perColumn));
    } else {
        FScroll->setRange(0, 0);
    }
    FScroll->setEnabled(FLine->Zoomed());
    FScrolling = false;
    if (FSource && start < end)
        FSource->SetVisible(start, end, perColumn);
    FRuler->update();
    FLanes->update();
    FLine->update();
}

void TTimelineView::Scrolled(int value) {
    if (FScrolling || !FLine->Zoomed())
        return;
    const int64_t span = FLine->ViewEnd() - FLine->ViewStart();
    SetSpan(FLine->MinPos + int64_t(value) * FLanes->TimePerColumn(), span);
}

void TTimelineView::wheelEvent(QWheelEvent* event) {
    event->setAccepted(Wheel(*event, int(event->position().x())));
}

// True when the wheel zoomed or scrolled; else it is left to the window, which steps with it.
bool TTimelineView::Wheel(const QWheelEvent& event, int x) {
    const int delta = event.angleDelta().y() != 0 ? event.angleDelta().y() : event.angleDelta().x();
    if (delta == 0 || !FLine->isEnabled())
        return false;
    if (event.modifiers() & Qt::ControlModifier) {
        ZoomBy(std::pow(ZoomStep, double(delta) / WheelNotch), x);
        return true;
    }
    if (!FLine->Zoomed())
        return false;
    // A notch moves a tenth of the view, up and left going back.
    const int64_t span = FLine->ViewEnd() - FLine->ViewStart();
    SetSpan(FLine->ViewStart() - int64_t(double(span) / 10 * delta / WheelNotch), span);
    return true;
}

void TTimelineView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ViewChanged();
}

bool TTimelineView::eventFilter(QObject* watched, QEvent* event) {
    auto* over = static_cast<QWidget*>(watched);
    // Here rather than by propagation, which Qt does not do for wheel events it did not make.
    if (event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        return Wheel(*wheel, over->mapTo(this, wheel->position().toPoint()).x());
    }
    if (event->type() == QEvent::MouseMove)
        ShowTip(*over, static_cast<QMouseEvent*>(event)->position().toPoint());
    else if (event->type() == QEvent::Leave || event->type() == QEvent::Hide) {
        if (FTip)
            FTip->hide();
    }
    return false;
}

void TTimelineView::ShowTip(QWidget& over, QPoint at) {
    const QRect track = FLine->TrackRect();
    if (!FLine->isEnabled() || at.x() < track.x() || at.x() >= track.x() + track.width()) {
        if (FTip)
            FTip->hide();
        return;
    }
    const int64_t time = std::clamp(FLine->XToPos(at.x()), FLine->MinPos, FLine->MaxPos);
    QImage picture;
    if (FSource)
        if (const media::TThumbnailPtr shown = FSource->ThumbnailAt(time))
            picture = TTimelineLanes::ToImage(*shown);
    if (!FTip)
        FTip = new TTimelineTip(this);
    FTip->Show(QString::fromStdString(FormatExactTime(time)), picture,
               over.mapToGlobal(QPoint(at.x(), 0)));
}

} // namespace zarvex
