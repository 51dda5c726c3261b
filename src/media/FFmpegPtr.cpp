#include "media/FFmpegPtr.h"

#include <new>

namespace zarvex::media {

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
