#include "viewing/TrackLine.h"

#include <QColor>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace zarvex {

namespace {

constexpr int KeyTickHeight = 4;
constexpr int EdgeGrip = 3;   // how near an edge of the active range a press takes it
constexpr int PastEndMs = 50; // how often a drag held past an end moves the view

QColor Mixed(const QColor& a, const QColor& b, double share) {
    return QColor::fromRgbF(float(a.redF() * share + b.redF() * (1 - share)),
                            float(a.greenF() * share + b.greenF() * (1 - share)),
                            float(a.blueF() * share + b.blueF() * (1 - share)));
}

// Nearest integer, ties to even (the default rounding mode), kept inside T so that a far-off
// mark cannot overflow the conversion.
template <typename T> T RoundEven(double value) {
    constexpr T lo = std::numeric_limits<T>::min();
    const double r = std::nearbyint(value);
    if (!(r > double(lo)))
        return lo;
    if (r >= -double(lo)) // 2^(bits-1), exact in a double
        return std::numeric_limits<T>::max();
    return T(r);
}

// Rectangles of negative size draw nothing, as on the original canvas.
void Fill(QPainter& painter, const QRect& rect, const QColor& color) {
    if (!rect.isEmpty())
        painter.fillRect(rect, color);
}

int Column(const QMouseEvent& event) {
    return int(std::floor(event.position().x()));
}
int Row(const QMouseEvent& event) {
    return int(std::floor(event.position().y()));
}

TShiftState ShiftOf(const QMouseEvent& event) {
    return {event.modifiers(), event.buttons()};
}

} // namespace

TTrackLine::TTrackLine(QWidget* parent) : QWidget(parent), FPastEndTimer(new QTimer(this)) {
    // Moves without a button must reach the control too: they end a drag whose release was lost.
    setMouseTracking(true);
    FPastEndTimer->setInterval(PastEndMs);
    connect(FPastEndTimer, &QTimer::timeout, this, [this] { DragOnPastEnd(); });
}

QRect TTrackLine::TrackRect() const {
    return QRect(LeftMargin, TopMargin, width() - RightMargin - LeftMargin,
                 height() - BottomMargin - TopMargin);
}

QRect TTrackLine::HitRect() const {
    return QRect(LeftMargin, 0, width() - RightMargin - LeftMargin, height());
}

int64_t TTrackLine::XToPos(int x) const {
    const QRect track = TrackRect();
    const int L = track.x();
    const int R = track.x() + track.width();
    if (R <= L)
        return 0;
    const int64_t from = ViewStart(), to = ViewEnd();
    // A single column has no span to divide by; it stands for the start of the range.
    if (R == L + 1)
        return from;
    const double offset = double(x - L) * (double(to) - double(from)) / double(R - L - 1);
    return RoundEven<int64_t>(offset) + from;
}

int TTrackLine::PosToX(int64_t pos) const {
    const int64_t from = ViewStart(), to = ViewEnd();
    if (from >= to)
        return 0;
    const QRect track = TrackRect();
    const int L = track.x();
    const int R = track.x() + track.width();
    return RoundEven<int>(
        (double(pos) - double(from)) * double(R - L - 1) / (double(to) - double(from)) + L);
}

// Zoomed in, marks far outside the view would make rectangles wider than int can hold.
int TTrackLine::DrawX(int64_t pos) const {
    const int x = PosToX(pos);
    if (!FZoomed)
        return x;
    const QRect track = TrackRect();
    return std::clamp(x, track.x() - 4, track.x() + track.width() + 4);
}

void TTrackLine::SetView(int64_t start, int64_t end) {
    start = std::max(start, MinPos);
    end = std::min(end, MaxPos);
    const bool zoomed = start < end && (start > MinPos || end < MaxPos);
    if (zoomed == FZoomed && (!zoomed || (start == FViewStart && end == FViewEnd)))
        return;
    FZoomed = zoomed;
    FViewStart = zoomed ? start : 0;
    FViewEnd = zoomed ? end : 0;
    update();
}

void TTrackLine::SetActiveRange(int64_t start, int64_t end) {
    if (std::pair(start, end) == FActive)
        return;
    FActive = {start, end};
    if (start >= end)
        FEdge = TEdge::None;
    update();
}

bool TTrackLine::ChangeCurPos(int64_t value) {
    if (value == FCurPos || value < MinPos || value > MaxPos)
        return false;
    FCurPos = value;
    if (OnPositionMoved)
        OnPositionMoved();
    // At once, so the mark has moved before the owner's seek runs.
    repaint();
    return true;
}

void TTrackLine::SetCurPos(int64_t value) {
    if (ChangeCurPos(value) && OnChange)
        OnChange(*this);
}

void TTrackLine::SetCurPosSilent(int64_t value) {
    ChangeCurPos(value);
}

void TTrackLine::SetSelStart(int64_t value) {
    if (value == FSelStart)
        return;
    FSelStart = value;
    if (FSelEnd != -1 && value != -1 && value >= FSelEnd)
        FSelEnd = -1;
    repaint();
}

void TTrackLine::SetSelEnd(int64_t value) {
    if (value == FSelEnd)
        return;
    FSelEnd = value;
    if (FSelStart != -1 && value != -1 && FSelStart >= value)
        FSelStart = -1;
    repaint();
}

void TTrackLine::SetKeyFrames(std::vector<int64_t> times) {
    FKeyFrames = std::move(times);
    update();
}

void TTrackLine::SetKeptRanges(std::vector<std::pair<int64_t, int64_t>> ranges) {
    FKeptRanges = std::move(ranges);
    update();
}

int64_t TTrackLine::CopyStart() const {
    if (FSelStart < 0)
        return -1;
    const auto after = std::upper_bound(FKeyFrames.begin(), FKeyFrames.end(), FSelStart);
    return after == FKeyFrames.begin() ? -1 : *(after - 1);
}

int64_t TTrackLine::DoValidPos(TShiftState shift, int64_t pos) {
    if (OnValidPos)
        OnValidPos(*this, shift, pos);
    return pos;
}

// Only the bar and the marks are painted; the margins show the parent through.
void TTrackLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect track = TrackRect();
    const QPalette& colours = palette();
    // A one-pixel outline around the fill, both inside the rectangle.
    Fill(painter, track, colours.color(QPalette::Mid));
    Fill(painter, track.adjusted(1, 1, -1, -1),
         colours.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Base));
    if (!isEnabled())
        return;
    // Zoomed in, what lies outside the view must not spill into the margins.
    if (FZoomed)
        painter.setClipRect(QRect(track.x() - 1, 0, track.width() + 2, height()));
    PaintKeyFrames(painter, track);
    PaintBands(painter, track);
    // Three columns centred on the position, over the bar's full height.
    const int x = DrawX(FCurPos);
    Fill(painter, QRect(x - 1, track.y(), 3, track.height()), colours.color(QPalette::Text));
}

void TTrackLine::PaintBands(QPainter& painter, const QRect& track) const {
    const QPalette& colours = palette();
    const QColor selection = colours.color(QPalette::Highlight);
    const QColor kept = Mixed(selection, colours.color(QPalette::Base), 0.3);
    const QColor copyColour = colours.color(QPalette::LinkVisited);
    const int B = track.y() + track.height();
    const int y1 = B + 4;
    const int y2 = B + 8;
    const auto band = [&](int64_t start, int64_t end, int top, int bottom, const QColor& c) {
        Fill(painter, QRect(DrawX(start), top, DrawX(end) - DrawX(start), bottom - top), c);
    };
    for (const auto& [start, end] : FKeptRanges)
        band(start, end, y1, y2, kept);
    if (FActive.first < FActive.second) {
        // The selected segment stands out, with grips at its edges; a dragged edge follows.
        const int64_t start = FEdge == TEdge::Start ? FEdgePos : FActive.first;
        const int64_t end = FEdge == TEdge::End ? FEdgePos : FActive.second;
        const QColor active = Mixed(selection, colours.color(QPalette::Base), 0.6);
        band(start, end, y1, y2, active);
        // Taller than the bands, so they show beside a selection drawn over the segment.
        for (const int64_t edge : {start, end})
            Fill(painter, QRect(DrawX(edge) - 1, B + 1, 2, y2 - B + 3),
                 colours.color(QPalette::Text));
    }
    // Each set mark is a line from y1 - 1 to y2 + 1, end excluded; the band fills y1 .. y2 - 1.
    const int xs = DrawX(FSelStart);
    const int xe = DrawX(FSelEnd);
    // The copy's start: a mark of its own and a thin line on to the selection, under both.
    const int64_t copyStart = CopyStart();
    if (copyStart >= 0) {
        const int xc = DrawX(copyStart);
        Fill(painter, QRect(xc, y1 - 1, 1, y2 - y1 + 2), copyColour);
        Fill(painter, QRect(xc, y1 + 1, xs - xc, 2), copyColour);
    }
    if (FSelStart >= 0)
        Fill(painter, QRect(xs, y1 - 1, 1, y2 - y1 + 2), selection);
    if (FSelEnd >= 0)
        Fill(painter, QRect(xe, y1 - 1, 1, y2 - y1 + 2), selection);
    if (FSelStart >= 0 && FSelEnd >= 0)
        Fill(painter, QRect(xs, y1, xe - xs, y2 - y1), selection);
}

// One tick above the bar per column that holds a key frame: each tick jumps past the rest of
// its column, so the cost follows the bar's width and not the number of key frames.
void TTrackLine::PaintKeyFrames(QPainter& painter, const QRect& track) const {
    if (track.width() < 2 || ViewStart() >= ViewEnd())
        return; // no columns to tell times apart
    const int top = std::max(0, track.y() - KeyTickHeight);
    const int right = track.x() + track.width();
    const QColor tick = palette().color(QPalette::Mid);
    auto it = std::lower_bound(FKeyFrames.begin(), FKeyFrames.end(), ViewStart());
    const auto end = std::upper_bound(it, FKeyFrames.end(), ViewEnd());
    while (it != end) {
        const int x = PosToX(*it);
        if (x >= track.x() && x < right)
            Fill(painter, QRect(x, top, 1, track.y() - top), tick);
        it = std::partition_point(it, end, [&](int64_t t) { return PosToX(t) <= x; });
    }
}

// QWidget's own mouse handlers only ignore the event, which would hand it on to the parent;
// event filters on the control still see every event before these run.
// The edge of the active range under a press in the strip below the bar, the nearer one when
// both are in reach.
TTrackLine::TEdge TTrackLine::EdgeAt(int x, int y) const {
    const QRect track = TrackRect();
    if (FActive.first >= FActive.second || y < track.y() + track.height())
        return TEdge::None;
    const int ds = std::abs(x - PosToX(FActive.first));
    const int de = std::abs(x - PosToX(FActive.second));
    if (std::min(ds, de) > EdgeGrip)
        return TEdge::None;
    return de < ds || (de == ds && x > PosToX(FActive.second)) ? TEdge::End : TEdge::Start;
}

void TTrackLine::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    const QRect hit = HitRect();
    const int x = Column(*event);
    const int y = Row(*event);
    FEdge = EdgeAt(x, y);
    if (FEdge != TEdge::None) {
        FEdgePos = FEdge == TEdge::Start ? FActive.first : FActive.second;
        return;
    }
    // Not QRect::contains, which would turn a rectangle of negative width around.
    if (x >= hit.x() && x < hit.x() + hit.width() && y >= hit.y() && y < hit.y() + hit.height())
        SetCurPos(DoValidPos(ShiftOf(*event), XToPos(x)));
    // A press in a side margin starts a drag without moving the position.
    FDragging = true;
}

void TTrackLine::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (!(event->buttons() & Qt::LeftButton)) {
        StopDrag();
        const bool grip = EdgeAt(Column(*event), Row(*event)) != TEdge::None;
        setCursor(grip ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    if (FEdge == TEdge::None && !FDragging)
        return;
    const QRect hit = HitRect();
    const int column = Column(*event);
    const int x = std::max(hit.x(), std::min(column, hit.x() + hit.width() - 1));
    FDragShift = ShiftOf(*event);
    FPastEnd = !Zoomed() || !OnDragPastEnd ? 0 : column < hit.x() ? -1 : column > x ? 1 : 0;
    if (FPastEnd == 0)
        FPastEndTimer->stop();
    else if (!FPastEndTimer->isActive())
        FPastEndTimer->start();
    DragTo(x, FDragShift);
}

void TTrackLine::DragTo(int x, TShiftState shift) {
    if (FEdge != TEdge::None) {
        // An edge stays on its side of the other one.
        const int64_t pos = std::clamp(XToPos(x), MinPos, MaxPos);
        FEdgePos = FEdge == TEdge::Start ? std::min(pos, FActive.second - 1)
                                         : std::max(pos, FActive.first + 1);
        update();
    } else if (FDragging) {
        SetCurPos(DoValidPos(shift, XToPos(x)));
    }
}

void TTrackLine::DragOnPastEnd() {
    if (FPastEnd == 0 || !OnDragPastEnd || (FEdge == TEdge::None && !FDragging)) {
        FPastEndTimer->stop();
        return;
    }
    OnDragPastEnd(FPastEnd);
    const QRect hit = HitRect();
    DragTo(FPastEnd < 0 ? hit.x() : hit.x() + hit.width() - 1, FDragShift);
}

void TTrackLine::StopDrag() {
    FDragging = false;
    FEdge = TEdge::None;
    FPastEnd = 0;
    FPastEndTimer->stop();
}

void TTrackLine::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    const TEdge edge = FEdge;
    StopDrag();
    update();
    if (edge != TEdge::None && OnEdgeDragged)
        OnEdgeDragged(*this, edge == TEdge::End, FEdgePos);
}

// A disabled control gets no mouse events, so its release would be lost: end the drag here.
void TTrackLine::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        StopDrag();
    QWidget::changeEvent(event);
}

} // namespace zarvex
