#include "media/OverviewThumbs.h"

#include "avi_input/AVIStream.h"
#include "media/Mpeg4Headers.h"
#include "media/OverviewCodec.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace zarvex::media {

TThumbnailDecoder::TThumbnailDecoder(const TAVIStream& video)
    : Video(video), Clock(video.Header.dwRate, video.Header.dwScale),
      Codec(OpenThumbnailDecoder(video, ThumbnailWidth)) {}

// A chunk with data that lies within the file and is of a size worth reading.
bool TThumbnailDecoder::Readable(int64_t entry) const {
    const uint32_t size = Video.EntrySize(entry);
    return size > 0 && size <= (64u << 20) && Video.ChunkSpan(entry) >= 0;
}

bool TThumbnailDecoder::Send(int64_t entry) {
    const uint32_t size = Video.EntrySize(entry);
    if (!Readable(entry))
        return false;
    if (av_new_packet(Packet.get(), int(size)) < 0)
        return false;
    if (!Video.ReadChunk(entry, Packet->data)) {
        av_packet_unref(Packet.get());
        return false;
    }
    if (Video.IsKeyFrame(entry))
        Packet->flags |= AV_PKT_FLAG_KEY;
    const int ret = avcodec_send_packet(Codec.get(), Packet.get());
    av_packet_unref(Packet.get());
    return ret >= 0;
}

// A lone B-frame in the chunk (not a packed pair of pictures).
bool TThumbnailDecoder::LeadingB(int64_t entry) {
    if (!Readable(entry))
        return false;
    const uint32_t size = Video.EntrySize(entry);
    std::vector<uint8_t> bytes(size);
    return Video.ReadChunk(entry, bytes.data()) && VopType(bytes.data(), int(size)) == 2 &&
           !SeveralVops(bytes.data(), int(size));
}

TThumbnailPtr TThumbnailDecoder::KeyFrame(int64_t entry) {
    if (!Codec)
        return nullptr;
    const bool sent = Send(entry);
    TThumbnailPtr picture;
    if (sent) {
        // A key frame decodes alone; draining brings out what a reordering decoder holds back.
        avcodec_send_packet(Codec.get(), nullptr);
        picture = Receive(entry);
    }
    avcodec_flush_buffers(Codec.get());
    return picture;
}

void TThumbnailDecoder::Run(int64_t first, int64_t last,
                            const std::function<void(TThumbnailPtr)>& found,
                            const std::function<bool()>& stop) {
    if (!Codec)
        return;
    const int64_t count = Video.EntryCount();
    // Pictures come out in display order, one per chunk with data, from the key frame's slot on.
    std::deque<int64_t> slots;
    bool done = false;
    // MPEG-4 B-frames right after a later key frame show before it and refer to a picture before
    // it: they are not decoded, and the slots they show in stay empty. A frame among them is
    // decoded from the key frame before.
    int64_t start = std::max<int64_t>(Video.CopyStart(first), 0);
    int64_t leading = 0;
    while (start > 0 && Codec->codec_id == AV_CODEC_ID_MPEG4) {
        leading = 0;
        while (start + leading + 1 < count && LeadingB(start + leading + 1))
            ++leading;
        if (first >= start + leading)
            break;
        start = std::max<int64_t>(Video.CopyStart(start - 1), 0);
        leading = 0;
    }
    int64_t unshown = 0;
    auto take = [&] {
        for (; unshown > 0 && !slots.empty(); --unshown)
            slots.pop_front();
        while (!slots.empty() && !done && unshown == 0) {
            TThumbnailPtr p = Receive(slots.front());
            if (!p)
                return;
            slots.pop_front();
            done = p->FrameNumber >= last;
            if (p->FrameNumber >= first)
                found(std::move(p));
        }
    };
    for (int64_t entry = start; entry < count && !done && !stop(); ++entry) {
        if (Video.EntrySize(entry) == 0)
            continue;
        if (entry > start && entry <= start + leading) {
            slots.push_back(entry);
            ++unshown;
            continue;
        }
        if (Send(entry))
            slots.push_back(entry);
        take();
    }
    if (!done && !stop()) {
        avcodec_send_packet(Codec.get(), nullptr);
        take();
    }
    avcodec_flush_buffers(Codec.get());
}

TThumbnailPtr TThumbnailDecoder::Receive(int64_t slot) {
    if (avcodec_receive_frame(Codec.get(), Frame.get()) < 0)
        return nullptr;
    TThumbnailPtr p = Picture(*Frame, slot);
    av_frame_unref(Frame.get());
    return p;
}

TThumbnailPtr TThumbnailDecoder::Picture(const AVFrame& frame, int64_t slot) {
    if (frame.width <= 0 || frame.height <= 0)
        return nullptr;
    double aspect = double(frame.height) / frame.width;
    if (frame.sample_aspect_ratio.num > 0 && frame.sample_aspect_ratio.den > 0)
        aspect /= av_q2d(frame.sample_aspect_ratio);
    const int height = std::clamp(int(std::lround(ThumbnailWidth * aspect / 2)) * 2, 2, 640);
    // JPEG's full-range formats are the plain ones with the range told apart.
    AVPixelFormat format = AVPixelFormat(frame.format);
    bool full = frame.color_range == AVCOL_RANGE_JPEG;
    const std::pair<AVPixelFormat, AVPixelFormat> jpegFormats[] = {
        {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV420P},
        {AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV422P},
        {AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUV444P},
        {AV_PIX_FMT_YUVJ440P, AV_PIX_FMT_YUV440P}};
    for (const auto& [j, plain] : jpegFormats)
        if (format == j) {
            format = plain;
            full = true;
        }
    Scaler.reset(sws_getCachedContext(Scaler.release(), frame.width, frame.height, format,
                                      ThumbnailWidth, height, AV_PIX_FMT_RGB32, SWS_BILINEAR,
                                      nullptr, nullptr, nullptr));
    if (!Scaler)
        return nullptr;
    const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
    sws_setColorspaceDetails(Scaler.get(), coefficients, full ? 1 : 0, coefficients, 1, 0, 1 << 16,
                             1 << 16);
    auto picture = std::make_shared<TThumbnail>();
    picture->Width = ThumbnailWidth;
    picture->Height = height;
    picture->FrameNumber = slot;
    picture->Time = Clock.FrameStart(slot);
    picture->Pixels.resize(size_t(ThumbnailWidth) * height);
    uint8_t* dst[4] = {reinterpret_cast<uint8_t*>(picture->Pixels.data()), nullptr, nullptr,
                       nullptr};
    int stride[4] = {ThumbnailWidth * 4, 0, 0, 0};
    if (sws_scale(Scaler.get(), frame.data, frame.linesize, 0, frame.height, dst, stride) <= 0)
        return nullptr;
    return picture;
}

} // namespace zarvex::media
