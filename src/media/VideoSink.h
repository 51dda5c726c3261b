// Where the player hands its decoded pictures: the viewer's video window, or a test.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace zarvex::media {

// One decoded picture as packed 32-bit pixels, bytes B, G, R, 255 in memory (QImage's RGB32 on
// little-endian hosts), rows top-down. Shared read-only between the player and the sink.
struct TVideoFrame {
    int Width = 0;
    int Height = 0;
    int Stride = 0;          // bytes per row
    int64_t Position = 0;    // start of the picture's display interval, 100-ns units
    int64_t FrameNumber = 0; // in frames of the stream's nominal rate
    char PictureType = 0;    // 'I', 'P', 'B', 'S' ... as the decoder names it; 0 when it does not
    std::vector<uint8_t> Pixels;
};

using TVideoFramePtr = std::shared_ptr<const TVideoFrame>;

class TVideoSink {
public:
    virtual ~TVideoSink() = default;
    // Called on the player's video thread, one frame at a time; it should only keep the frame
    // and wake its owner, since the next picture waits for it.
    virtual void Deliver(TVideoFramePtr frame) = 0;
};

} // namespace zarvex::media
