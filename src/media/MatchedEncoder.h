// An encoder whose chunks the source's own decoder reads as if they were the source's: the same
// codec and FourCC, size, frame rate, pixel aspect, interlacing and colour range, one chunk per
// picture (no B-frames), at a quality above what AVI sources are made with.
#pragma once

#include "media/FFmpegPtr.h"
#include "media/PictureConverter.h"
#include "splitting/VideoPlan.h"

#include <string>
#include <vector>

namespace zarvex {
class TAVIStream;
}

namespace zarvex::media {

// The FFmpeg encoder matching a video stream's codec; nullptr when there is none.
const AVCodec* MatchingEncoder(const TAVIStream& video);

class TMatchedEncoder {
public:
    // For pictures like `sample`, decoded by `decoder` from `video`. Raises EMediaError.
    TMatchedEncoder(const TAVIStream& video, const AVCodecContext& decoder, const AVFrame& sample);

    // The next picture of the run (the first becomes a key frame), or an empty chunk: a slot
    // that repeats the picture before it, as the source's empty chunks do.
    void Add(const AVFrame& picture);
    void AddEmpty();
    // The run's chunks, in slot order, once every picture is out.
    std::vector<TRecodedChunk> Finish();

private:
    void Drain();

    TCodecContextPtr Encoder;
    TFramePtr Picture; // in the encoder's format
    TPictureConverter Converter;
    TPacketPtr Packet = MakePacket();
    std::vector<bool> Slots; // true: a picture, false: an empty chunk
    std::vector<TRecodedChunk> Coded;
    int64_t Next = 0;
};

} // namespace zarvex::media
