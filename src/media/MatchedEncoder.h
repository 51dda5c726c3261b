// An encoder whose chunks the source's own decoder reads as if they were the source's: the same
// codec and FourCC, size, frame rate, pixel aspect, interlacing and colour range, one chunk per
// picture (no B-frames), at a quality above what AVI sources are made with.
#pragma once

#include "media/FFmpegPtr.h"
#include "media/PictureConverter.h"
#include "splitting/VideoPlan.h"

#include <deque>
#include <functional>
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
    // The run's chunks, in slot order, once every picture is out. With idrFromEnd (H.264, up to
    // MostHeld) that picture from the end (1: the last) is an IDR picture, so that a copy may go
    // on after the run from a picture that is not.
    std::vector<TRecodedChunk> Finish(int idrFromEnd = 0);

    // Pictures held back until later ones tell where the run ends.
    static constexpr size_t MostHeld = 16;

    // Called for every picture given to the codec and every chunk it returns, Finish's included,
    // so that a long job can report meanwhile; it must not raise.
    std::function<void()> OnPicture;

private:
    void Send(AVFrame& picture);
    void Drain();

    TCodecContextPtr Encoder;
    TFramePtr Picture; // in the encoder's format
    TPictureConverter Converter;
    TPacketPtr Packet = MakePacket();
    std::vector<bool> Slots; // true: a picture, false: an empty chunk
    std::vector<TRecodedChunk> Coded;
    int64_t Next = 0;
    std::deque<TFramePtr> Held;
};

} // namespace zarvex::media
