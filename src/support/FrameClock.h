// Times and frame numbers of a video stream: the one set of rules that the viewer, the decoder,
// the frame export and the command line share, so that all of them name the same picture.
// Times are 100-nanosecond units; frame k starts at k x scale / rate seconds.
#pragma once

#include <cstdint>

namespace zarvex {

class TFrameClock {
public:
    // dwRate and dwScale of the stream header; a zero in either gives 25 frames per second.
    TFrameClock(int64_t rate, int64_t scale);

    double FramesPerSecond() const { return double(Rate) / double(Scale); }

    // Start of a frame's display interval, to the nearest unit (a half to the even one).
    int64_t FrameStart(int64_t frame) const;
    // The frame shown at a time: the last one starting at or before it (0 before the start).
    int64_t FrameAt(int64_t time) const;
    // Seconds x frame rate to the nearest frame, a half to the even one: how a position is
    // named in frames. On a frame's start it gives that frame.
    int64_t NearestFrame(int64_t time) const;
    // One frame time, to the nearest unit (a half to the even one).
    int64_t FrameStep() const;
    // The frame shown at a time a person typed in seconds: the one whose interval holds it,
    // except that a frame starting less than half a millisecond later is meant (1.001 at
    // 29.97 frames per second is frame 30, which starts at 1.001001).
    int64_t TypedFrame(double seconds) const;

private:
    int64_t Rate;
    int64_t Scale;
};

} // namespace zarvex
