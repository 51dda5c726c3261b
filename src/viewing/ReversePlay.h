// Backward playback for a player that only plays forward: the viewer steps back a few frames at
// a time on a timer, at about the video's own speed. Every step is a seek that returns at once
// (seeks faster than the decoding coalesce), so the window never waits for a picture.
#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>

namespace zarvex {

class TAVIViewer;

class TReversePlay : public QObject {
    Q_OBJECT
public:
    explicit TReversePlay(TAVIViewer& viewer, QObject* parent = nullptr);

    // Pauses forward playback and starts stepping back; at the first frame it stops. So does
    // any move of the position by someone else, and forward playback.
    void Start();
    void Stop();
    bool Active() const { return Timer.isActive(); }
    // Started or stopped.
    std::function<void()> OnStateChange;

private:
    void Step();

    TAVIViewer& Viewer;
    QTimer Timer;
    int64_t StepFrames = 1;
    int64_t Expected = -1; // where the last step went
};

} // namespace zarvex
