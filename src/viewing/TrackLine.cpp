#include "viewing/TrackLine.h"

#include <QColor>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace zarvex {

namespace {

const QColor BarColor(0xFF, 0xFF, 0xFF);
const QColor DisabledBarColor(0xC0, 0xC0, 0xC0);
const QColor OutlineColor(0x80, 0x80, 0x80);
const QColor SelectionColor(0x00, 0x00, 0xFF);
const QColor PositionColor(0x00, 0x00, 0x00);
const QColor KeyFrameColor(0x80, 0x80, 0x80);
const QColor CopyStartColor(0xE0, 0x70, 0x00);
const QColor KeptColor(0xB0, 0xD0, 0xFF);
constexpr int KeyTickHeight = 4;

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
    // A one-pixel outline around the fill, both inside the rectangle.
    Fill(painter, track, OutlineColor);
    Fill(painter, track.adjusted(1, 1, -1, -1), isEnabled() ? BarColor : DisabledBarColor);
    if (!isEnabled())
        return;

    const int B = track.y() + track.height();
    const int y1 = B + 4;
    const int y2 = B + 8;
    PaintKeyFrames(painter, track);
    for (const auto& [start, end] : FKeptRanges)
        Fill(painter, QRect(PosToX(start), y1, PosToX(end) - PosToX(start), y2 - y1), KeptColor);
    // Each set mark is a line from y1 - 1 to y2 + 1, end excluded; the band fills y1 .. y2 - 1.
    const int xs = PosToX(FSelStart);
    const int xe = PosToX(FSelEnd);
    // The copy's start: a mark of its own and a thin line on to the selection, under both.
    const int64_t copyStart = CopyStart();
    if (copyStart >= 0) {
        const int xc = PosToX(copyStart);
        Fill(painter, QRect(xc, y1 - 1, 1, y2 - y1 + 2), CopyStartColor);
        Fill(painter, QRect(xc, y1 + 1, xs - xc, 2), CopyStartColor);
    }
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

// One tick above the bar per column that holds a key frame: each tick jumps past the rest of
// its column, so the cost follows the bar's width and not the number of key frames.
void TTrackLine::PaintKeyFrames(QPainter& painter, const QRect& track) const {
    if (track.width() < 2 || MinPos >= MaxPos)
        return; // no columns to tell times apart
    const int top = std::max(0, track.y() - KeyTickHeight);
    const int right = track.x() + track.width();
    auto it = std::lower_bound(FKeyFrames.begin(), FKeyFrames.end(), MinPos);
    const auto end = std::upper_bound(it, FKeyFrames.end(), MaxPos);
    while (it != end) {
        const int x = PosToX(*it);
        if (x >= track.x() && x < right)
            Fill(painter, QRect(x, top, 1, track.y() - top), KeyFrameColor);
        it = std::partition_point(it, end, [&](int64_t t) { return PosToX(t) <= x; });
    }
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
