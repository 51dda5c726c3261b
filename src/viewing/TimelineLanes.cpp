#include "viewing/TimelineLanes.h"

#include "viewing/TrackLine.h"

#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace zarvex {

namespace {

constexpr int PollInterval = 100; // ms
constexpr size_t CachedPictures = 600;
constexpr int SpotBar = 5; // pixels

// The columns from start to end, at least one wide.
void FillColumns(QPainter& painter, const TTrackLine& line, int64_t start, int64_t end, int y,
                 int height, const QColor& color) {
    const int left = line.PosToX(start);
    const int right = std::max(left + 1, line.PosToX(end));
    painter.fillRect(QRect(left, y, right - left, height), color);
}

} // namespace

TTimelineLanes::TTimelineLanes(const TTrackLine& line, QWidget* parent)
    : QWidget(parent), Line(line), FTimer(new QTimer(this)) {
    setFixedHeight(PictureHeight + WaveHeight);
    FTimer->setInterval(PollInterval);
    connect(FTimer, &QTimer::timeout, this, &TTimelineLanes::Poll);
}

void TTimelineLanes::SetSource(const media::TOverviewSource* source) {
    FSource = source;
    FPictures.clear();
    FGeneration = source ? source->Generation() : 0;
    if (source)
        FTimer->start();
    else
        FTimer->stop();
    update();
}

void TTimelineLanes::SetSpots(TLaneSpots spots) {
    FSpots = std::move(spots);
    update();
}

void TTimelineLanes::Poll() {
    if (!FSource)
        return;
    const uint64_t generation = FSource->Generation();
    if (generation == FGeneration)
        return;
    FGeneration = generation;
    update();
}

int64_t TTimelineLanes::TimePerColumn() const {
    const int columns = Line.TrackRect().width();
    if (columns < 2)
        return 1;
    return std::max<int64_t>(1, (Line.ViewEnd() - Line.ViewStart()) / (columns - 1));
}

QImage TTimelineLanes::ToImage(const media::TThumbnail& thumbnail) {
    if (thumbnail.Width <= 0 || thumbnail.Height <= 0 ||
        thumbnail.Pixels.size() < size_t(thumbnail.Width) * size_t(thumbnail.Height))
        return {};
    return QImage(reinterpret_cast<const uchar*>(thumbnail.Pixels.data()), thumbnail.Width,
                  thumbnail.Height, thumbnail.Width * 4, QImage::Format_RGB32)
        .copy();
}

const QImage& TTimelineLanes::Picture(const media::TThumbnailPtr& thumbnail) {
    auto found = FPictures.find(thumbnail.get());
    if (found != FPictures.end())
        return found->second.second;
    if (FPictures.size() >= CachedPictures)
        FPictures.clear();
    const QImage frame = ToImage(*thumbnail);
    QImage scaled =
        frame.isNull() ? frame : frame.scaledToHeight(PictureHeight - 2, Qt::SmoothTransformation);
    return FPictures.emplace(thumbnail.get(), std::pair(thumbnail, std::move(scaled)))
        .first->second.second;
}

void TTimelineLanes::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect track = Line.TrackRect();
    const QRect pictures(track.x(), 0, track.width(), PictureHeight);
    const QRect wave(track.x(), PictureHeight, track.width(), WaveHeight);
    painter.fillRect(pictures, palette().color(QPalette::AlternateBase));
    painter.fillRect(wave, palette().color(QPalette::Base));
    if (!Line.isEnabled() || track.width() < 2 || Line.ViewStart() >= Line.ViewEnd())
        return;
    if (FSource) {
        painter.setClipRect(pictures);
        PaintPictures(painter, pictures);
        painter.setClipRect(wave);
        PaintWave(painter, wave);
    }
    painter.setClipRect(pictures.united(wave));
    PaintSpots(painter, pictures, wave);
}

// Only what lies in view: a file can have thousands of scene changes.
void TTimelineLanes::PaintSpots(QPainter& painter, const QRect& pictures, const QRect& wave) const {
    const int64_t from = Line.ViewStart(), to = Line.ViewEnd();
    const auto paintStretches = [&](const std::vector<std::pair<int64_t, int64_t>>& stretches,
                                    int y, const QColor& color) {
        auto s = std::lower_bound(stretches.begin(), stretches.end(), from,
                                  [](const auto& spot, int64_t t) { return spot.second < t; });
        for (; s != stretches.end() && s->first <= to; ++s)
            FillColumns(painter, Line, std::max(s->first, from), std::min(s->second, to), y,
                        SpotBar, color);
    };
    paintStretches(FSpots.Black, pictures.bottom() - SpotBar + 1,
                   palette().color(QPalette::WindowText));
    paintStretches(FSpots.Silence, wave.bottom() - SpotBar + 1, palette().color(QPalette::Link));
    painter.setPen(palette().color(QPalette::Highlight));
    for (auto s = std::lower_bound(FSpots.Scenes.begin(), FSpots.Scenes.end(), from);
         s != FSpots.Scenes.end() && *s <= to; ++s) {
        const int x = Line.PosToX(*s);
        painter.drawLine(x, pictures.top(), x, pictures.top() + SpotBar * 2);
    }
}

// One picture a slot, the one shown at the slot's left column, so that the cost follows the
// lane's width and not the number of pictures known (a file can have tens of thousands).
void TTimelineLanes::PaintPictures(QPainter& painter, const QRect& lane) {
    const int right = lane.x() + lane.width();
    // A slot without a picture yet keeps a 4:3 picture's room.
    const int emptySlot = (PictureHeight - 2) * 4 / 3;
    for (int x = lane.x(); x < right;) {
        const media::TThumbnailPtr shown = FSource->ThumbnailAt(Line.XToPos(x));
        const QImage& picture = shown ? Picture(shown) : QImage();
        if (picture.isNull()) {
            x += emptySlot + 1;
            continue;
        }
        const int width = std::min(picture.width(), right - x);
        painter.drawImage(QRect(x, lane.y() + 1, width, picture.height()), picture,
                          QRect(0, 0, width, picture.height()));
        x += picture.width() + 1;
    }
}

// One vertical line per column from the lowest to the highest sample; columns not worked out
// yet stay blank.
void TTimelineLanes::PaintWave(QPainter& painter, const QRect& lane) const {
    if (!FSource->HasAudio())
        return;
    const int64_t perColumn = TimePerColumn();
    const int columns = lane.width();
    // Each column's stretch centred on the column's time.
    const std::vector<media::TPeak> peaks =
        FSource->Peaks(Line.ViewStart() - perColumn / 2, perColumn, columns);
    const int middle = lane.y() + lane.height() / 2;
    const double scale = double(lane.height() / 2 - 1) / 127.0;
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(lane.x(), middle, lane.x() + columns - 1, middle);
    painter.setPen(palette().color(QPalette::Highlight));
    for (int c = 0; c < columns && c < int(peaks.size()); ++c) {
        if (!peaks[size_t(c)].Known)
            continue;
        const int top = middle - int(std::lround(peaks[size_t(c)].High * scale));
        const int bottom = middle - int(std::lround(peaks[size_t(c)].Low * scale));
        painter.drawLine(lane.x() + c, top, lane.x() + c, bottom);
    }
}

} // namespace zarvex
