// One stream of a media file and its decoder: the opening and packet feeding that the video and
// the audio decoder share.
#pragma once

#include "media/FFmpegPtr.h"

#include <string>

namespace zarvex::media {

struct TStreamInput {
    TFormatPtr Format;
    TCodecContextPtr Codec;
    AVStream* Stream = nullptr;
    TPacketPtr Packet = MakePacket();
    bool FlushSent = false; // the decoder has been told the stream ended

    // Opens the file and the decoder of the stream `pick` chooses; the other streams are not
    // read. Raises EZarvexError(notFound) when pick finds none, EMediaError for FFmpeg failures.
    void Open(const std::string& path, int (*pick)(const AVFormatContext&), const char* notFound,
              int threads);

    // Hands the decoder the stream's next packet, or the end of the stream; false once the end
    // has been signalled.
    bool Feed();
};

} // namespace zarvex::media
