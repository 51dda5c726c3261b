// The two lanes under the timeline's bar: small pictures of the recording at their times, and
// the waveform of its first audio stream. Both come from an overview worked out in the
// background; a timer looks for news and repaints only when there is some.
#pragma once

#include "media/OverviewSource.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

class QTimer;

namespace zarvex {

class TTrackLine;

// What was found in the recording, as media times: black and silent stretches (start, end) and
// the first frames of new scenes, each in time order.
struct TLaneSpots {
    std::vector<std::pair<int64_t, int64_t>> Black, Silence;
    std::vector<int64_t> Scenes;
};

class TTimelineLanes : public QWidget {
public:
    static constexpr int PictureHeight = 48;
    static constexpr int WaveHeight = 32;

    TTimelineLanes(const TTrackLine& line, QWidget* parent = nullptr);

    // Not owned; null shows empty lanes. The lanes keep to the bar's columns.
    void SetSource(const media::TOverviewSource* source);
    // Black stretches and scene changes are marked in the pictures, silence under the waveform.
    void SetSpots(TLaneSpots spots);
    const TLaneSpots& Spots() const { return FSpots; }
    // Repaints when the source has news; the timer calls it.
    void Poll();
    // Time units per column of the bar as shown now (at least 1).
    int64_t TimePerColumn() const;
    // A copy of the picture's pixels.
    static QImage ToImage(const media::TThumbnail& thumbnail);
    // The picture as drawn, from a cache of the ones drawn lately.
    const QImage& Picture(const media::TThumbnailPtr& thumbnail);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintPictures(QPainter& painter, const QRect& lane);
    void PaintWave(QPainter& painter, const QRect& lane) const;
    void PaintSpots(QPainter& painter, const QRect& pictures, const QRect& wave) const;

    const TTrackLine& Line;
    const media::TOverviewSource* FSource = nullptr;
    uint64_t FGeneration = 0;
    QTimer* FTimer;
    TLaneSpots FSpots;
    // Keyed by the picture itself, which the entry keeps alive, so an address is never reused.
    std::map<const media::TThumbnail*, std::pair<media::TThumbnailPtr, QImage>> FPictures;
};

} // namespace zarvex
