// One stream of a media file and its decoder: the opening and packet feeding that the video and
// the audio decoder share.
#pragma once

#include "media/FFmpegPtr.h"
#include "media/PaletteTrack.h"

#include <functional>
#include <string>

namespace zarvex::media {

struct TStreamInput {
    TFormatPtr Format;
    TCodecContextPtr Codec;
    AVStream* Stream = nullptr;
    TPacketPtr Packet = MakePacket();
    bool FlushSent = false; // the decoder has been told the stream ended
    // Each packet's pts is set to its dts before decoding, so that every picture tells which
    // packet carried it (AVI stores no presentation stamps).
    bool StampWithDts = false;
    int64_t LastFedDts = AV_NOPTS_VALUE; // of the packet the decoder took last
    TPaletteTrack Palettes;              // empty unless learnt for a palettised stream
    int CodecFlags = 0;                  // added to the decoder's flags by Open
    // A packet the decoder is better off not seeing; it still counts as taken (LastFedDts).
    std::function<bool(const AVPacket&)> Withhold;

    // Opens the file and the decoder of the stream `pick` chooses; the other streams are not
    // read. Raises EZarvexError(notFound) when pick finds none, EMediaError for FFmpeg failures.
    void Open(const std::string& path, int (*pick)(const AVFormatContext&), const char* notFound,
              int threads);

    // Hands the decoder the stream's next packet, or the end of the stream; false once the end
    // has been signalled.
    bool Feed();
};

} // namespace zarvex::media
