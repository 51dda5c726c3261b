#include "media/FFmpegPtr.h"

#include "media/MediaInput.h"

#include <new>

namespace zarvex::media {

void TFormatCloser::operator()(AVFormatContext* p) const {
    AVIOContext* custom = p && (p->flags & AVFMT_FLAG_CUSTOM_IO) ? p->pb : nullptr;
    avformat_close_input(&p);
    if (custom)
        ReleaseCustomInput(custom);
}

TFramePtr MakeFrame() {
    TFramePtr frame(av_frame_alloc());
    if (!frame)
        throw std::bad_alloc();
    return frame;
}

TPacketPtr MakePacket() {
    TPacketPtr packet(av_packet_alloc());
    if (!packet)
        throw std::bad_alloc();
    return packet;
}

} // namespace zarvex::media
