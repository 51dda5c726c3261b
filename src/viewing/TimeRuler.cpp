#include "viewing/TimeRuler.h"

#include "viewing/TrackLine.h"

#include <QPainter>

#include <cmath>

namespace zarvex {

namespace {

constexpr int64_t Second = 10000000;
constexpr int LabelGap = 16;

// Frame steps are chosen below these, time steps from them on.
constexpr int64_t TimeSteps[] = {Second / 2,    Second,        5 * Second,    10 * Second,
                                 30 * Second,   60 * Second,   300 * Second,  600 * Second,
                                 1800 * Second, 3600 * Second, 7200 * Second, 21600 * Second};

} // namespace

TTimeRuler::TTimeRuler(const TTrackLine& line, QWidget* parent) : QWidget(parent), Line(line) {
    setFixedHeight(fontMetrics().height() + 4);
}

void TTimeRuler::SetFrameTime(double frameTime) {
    FFrameTime = frameTime;
    update();
}

int64_t TTimeRuler::LabelStep(double timePerColumn, int labelWidth, double frameTime) {
    const double needed = timePerColumn * (labelWidth + LabelGap);
    if (frameTime > 0)
        for (int frames : {1, 5, 10, 25, 50})
            if (frames * frameTime >= needed && frames * frameTime < double(Second) / 2)
                return -frames; // a frame step, told apart by its sign
    for (const int64_t step : TimeSteps)
        if (double(step) >= needed)
            return step;
    // Beyond six hours, whole days of them.
    return int64_t(std::ceil(needed / double(86400 * Second))) * 86400 * Second;
}

QString TTimeRuler::Label(int64_t time, int64_t step, double frameTime) {
    if (step < 0)
        return QString::number(std::llround(double(time) / frameTime));
    const int64_t tenths = (time + Second / 20) / (Second / 10);
    const int64_t s = tenths / 10;
    QString text = s >= 3600
                       ? QString::asprintf("%lld:%02lld:%02lld", (long long)(s / 3600),
                                           (long long)(s / 60 % 60), (long long)(s % 60))
                       : QString::asprintf("%lld:%02lld", (long long)(s / 60), (long long)(s % 60));
    if (step < Second)
        text += QString(".%1").arg(tenths % 10);
    return text;
}

void TTimeRuler::paintEvent(QPaintEvent*) {
    const QRect track = Line.TrackRect();
    const int64_t from = Line.ViewStart(), to = Line.ViewEnd();
    if (!Line.isEnabled() || track.width() < 2 || from >= to)
        return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setClipRect(QRect(track.x(), 0, track.width(), height()));
    const double perColumn = double(to - from) / double(track.width() - 1);
    const int labelWidth = fontMetrics().horizontalAdvance(
        Label(to, FFrameTime > 0 && perColumn < FFrameTime ? -1 : Second / 2, FFrameTime));
    const int64_t step = LabelStep(perColumn, labelWidth, FFrameTime);
    const double spacing = step < 0 ? double(-step) * FFrameTime : double(step);
    const int bottom = height() - 1;
    // From the last label left of the view, so one cut in half at the left edge still shows.
    for (auto k = int64_t(std::floor(double(from) / spacing)); k * spacing <= double(to); ++k) {
        const auto time = int64_t(std::llround(double(k) * spacing));
        const int x = Line.PosToX(time);
        painter.drawLine(x, bottom - 4, x, bottom);
        painter.drawText(QRect(x + 2, 0, labelWidth + LabelGap, bottom - 1),
                         Qt::AlignLeft | Qt::AlignVCenter, Label(time, step, FFrameTime));
        // Four short ticks between labels where they do not crowd.
        const double minor = spacing / 5;
        if (minor / perColumn >= 4)
            for (int i = 1; i < 5; ++i) {
                const int xm = Line.PosToX(int64_t(std::llround(double(time) + i * minor)));
                painter.drawLine(xm, bottom - 2, xm, bottom);
            }
    }
}

} // namespace zarvex
