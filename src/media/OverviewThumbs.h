// Small pictures of a video stream decoded from its chunks: a key frame on its own, or every
// frame of a run from the key frame before it.
#pragma once

#include "media/FFmpegPtr.h"
#include "media/OverviewSource.h"
#include "support/FrameClock.h"

#include <functional>

namespace zarvex {
class TAVIStream;
}

namespace zarvex::media {

inline constexpr int ThumbnailWidth = 160;

class TThumbnailDecoder {
public:
    explicit TThumbnailDecoder(const TAVIStream& video);
    bool IsOpen() const { return bool(Codec); }

    // The picture of key frame chunk Entry; null when it does not decode.
    TThumbnailPtr KeyFrame(int64_t entry);

    // Pictures of the slots First..Last, decoded from the key frame at or before First; Stop is
    // asked between pictures.
    void Run(int64_t first, int64_t last, const std::function<void(TThumbnailPtr)>& found,
             const std::function<bool()>& stop);

private:
    bool Readable(int64_t entry) const;
    bool Send(int64_t entry);
    bool LeadingB(int64_t entry);
    TThumbnailPtr Receive(int64_t slot);
    TThumbnailPtr Picture(const AVFrame& frame, int64_t slot);

    const TAVIStream& Video;
    TFrameClock Clock;
    TCodecContextPtr Codec;
    TFramePtr Frame = MakeFrame();
    TPacketPtr Packet = MakePacket();
    TSwsPtr Scaler;
    int ScaledHeight = 0;
};

} // namespace zarvex::media
