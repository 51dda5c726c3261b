// The scale above the timeline's bar: ticks and time labels for the part of the recording in
// view, at a step that keeps the labels apart at any zoom.
#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

namespace zarvex {

class TTrackLine;

class TTimeRuler : public QWidget {
public:
    // Columns are the bar's: the ruler has the bar's width and reads its mapping.
    TTimeRuler(const TTrackLine& line, QWidget* parent = nullptr);

    // The length of one frame in 100-ns units; zero until a file is open.
    void SetFrameTime(double frameTime);

    // The step between labels for a column width of timePerColumn, with labels of labelWidth
    // pixels; steps under a second are whole frames as long as a frame is known.
    static int64_t LabelStep(double timePerColumn, int labelWidth, double frameTime);
    // "1:23:45", "12:05", "0:12.5" (steps under a second) or a frame number (frame steps).
    static QString Label(int64_t time, int64_t step, double frameTime);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const TTrackLine& Line;
    double FFrameTime = 0;
};

} // namespace zarvex
