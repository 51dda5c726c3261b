#include "viewing/TrackLine.h"

#include <QColor>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zarvex {

namespace {

const QColor BarColor(0xFF, 0xFF, 0xFF);
const QColor DisabledBarColor(0xC0, 0xC0, 0xC0);
const QColor OutlineColor(0x80, 0x80, 0x80);
const QColor SelectionColor(0x00, 0x00, 0xFF);
const QColor PositionColor(0x00, 0x00, 0x00);

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

TTrackLine::TTrackLine(QWidget* parent) : QWidget(parent) {
    // Moves without a button must reach the control too: they end a drag whose release was lost.
    setMouseTracking(true);
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
    // A single column has no span to divide by; it stands for the start of the range.
    if (R == L + 1)
        return MinPos;
    const double offset = double(x - L) * (double(MaxPos) - double(MinPos)) / double(R - L - 1);
    return RoundEven<int64_t>(offset) + MinPos;
}

int TTrackLine::PosToX(int64_t pos) const {
    if (MinPos >= MaxPos)
        return 0;
    const QRect track = TrackRect();
    const int L = track.x();
    const int R = track.x() + track.width();
    return RoundEven<int>(
        (double(pos) - double(MinPos)) * double(R - L - 1) / (double(MaxPos) - double(MinPos)) + L);
}

bool TTrackLine::ChangeCurPos(int64_t value) {
    if (value == FCurPos || value < MinPos || value > MaxPos)
        return false;
    FCurPos = value;
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

int64_t TTrackLine::DoValidPos(TShiftState shift, int64_t pos) {
    if (OnValidPos)
        OnValidPos(*this, shift, pos);
    return pos;
}

// Only the bar and the marks are painted; the margins show the parent through.
void TTrackLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect track = TrackRect();
    // A one-pixel outline around the fill, both inside the rectangle.
    Fill(painter, track, OutlineColor);
    Fill(painter, track.adjusted(1, 1, -1, -1), isEnabled() ? BarColor : DisabledBarColor);
    if (!isEnabled())
        return;

    const int B = track.y() + track.height();
    const int y1 = B + 4;
    const int y2 = B + 8;
    // Each set mark is a line from y1 - 1 to y2 + 1, end excluded; the band fills y1 .. y2 - 1.
    const int xs = PosToX(FSelStart);
    const int xe = PosToX(FSelEnd);
    if (FSelStart >= 0)
        Fill(painter, QRect(xs, y1 - 1, 1, y2 - y1 + 2), SelectionColor);
    if (FSelEnd >= 0)
        Fill(painter, QRect(xe, y1 - 1, 1, y2 - y1 + 2), SelectionColor);
    if (FSelStart >= 0 && FSelEnd >= 0)
        Fill(painter, QRect(xs, y1, xe - xs, y2 - y1), SelectionColor);

    // Three columns centred on the position, over the bar's full height.
    const int x = PosToX(FCurPos);
    Fill(painter, QRect(x - 1, track.y(), 3, track.height()), PositionColor);
}

// QWidget's own mouse handlers only ignore the event, which would hand it on to the parent;
// event filters on the control still see every event before these run.
void TTrackLine::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    const QRect hit = HitRect();
    const int x = Column(*event);
    const int y = Row(*event);
    // Not QRect::contains, which would turn a rectangle of negative width around.
    if (x >= hit.x() && x < hit.x() + hit.width() && y >= hit.y() && y < hit.y() + hit.height())
        SetCurPos(DoValidPos(ShiftOf(*event), XToPos(x)));
    // A press in a side margin starts a drag without moving the position.
    FDragging = true;
}

void TTrackLine::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (!(event->buttons() & Qt::LeftButton)) {
        FDragging = false;
        return;
    }
    if (!FDragging)
        return;
    const QRect hit = HitRect();
    const int x = std::max(hit.x(), std::min(Column(*event), hit.x() + hit.width() - 1));
    SetCurPos(DoValidPos(ShiftOf(*event), XToPos(x)));
}

void TTrackLine::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton)
        FDragging = false;
}

// A disabled control gets no mouse events, so its release would be lost: end the drag here.
void TTrackLine::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        FDragging = false;
    QWidget::changeEvent(event);
}

} // namespace zarvex
