// Owners for FFmpeg's objects, so that every path out of a function frees them.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace zarvex::media {

struct TFormatCloser {
    void operator()(AVFormatContext* p) const; // also frees a reading state of our own
};
struct TCodecContextFreer {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct TFrameFreer {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct TPacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct TSwsFreer {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};
struct TSwrFreer {
    void operator()(SwrContext* p) const { swr_free(&p); }
};

using TFormatPtr = std::unique_ptr<AVFormatContext, TFormatCloser>;
using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextFreer>;
using TFramePtr = std::unique_ptr<AVFrame, TFrameFreer>;
using TPacketPtr = std::unique_ptr<AVPacket, TPacketFreer>;
using TSwsPtr = std::unique_ptr<SwsContext, TSwsFreer>;
using TSwrPtr = std::unique_ptr<SwrContext, TSwrFreer>;

// Allocating constructors that raise std::bad_alloc instead of returning null.
TFramePtr MakeFrame();
TPacketPtr MakePacket();

} // namespace zarvex::media
