#include "media/StreamInput.h"

#include "export/DSErrors.h"
#include "media/MediaInput.h"

#include <new>

namespace zarvex::media {

void TStreamInput::Open(const std::string& path, int (*pick)(const AVFormatContext&),
                        const char* notFound, int threads) {
    AVFormatContext* raw = nullptr;
    CheckDSResult(OpenMediaInput(&raw, path));
    Format.reset(raw);
    const int ret = avformat_find_stream_info(Format.get(), nullptr);
    if (ret < 0)
        CheckDSResult(ret);
    const int index = pick(*Format);
    if (index < 0)
        throw EZarvexError(notFound);
    Stream = Format->streams[index];
    for (unsigned i = 0; i < Format->nb_streams; ++i)
        if (static_cast<int>(i) != index)
            Format->streams[i]->discard = AVDISCARD_ALL;
    const AVCodec* decoder = avcodec_find_decoder(Stream->codecpar->codec_id);
    if (!decoder)
        CheckDSResult(AVERROR_DECODER_NOT_FOUND);
    Codec.reset(avcodec_alloc_context3(decoder));
    if (!Codec)
        throw std::bad_alloc();
    CheckDSResult(avcodec_parameters_to_context(Codec.get(), Stream->codecpar));
    Codec->thread_count = threads;
    Codec->flags |= CodecFlags;
    Codec->pkt_timebase = Stream->time_base;
    CheckDSResult(avcodec_open2(Codec.get(), decoder, nullptr));
}

bool TStreamInput::Feed() {
    if (FlushSent)
        return false;
    for (;;) {
        const int ret = av_read_frame(Format.get(), Packet.get());
        if (ret < 0) {
            if (ret != AVERROR_EOF && ret != AVERROR(EIO))
                CheckDSResult(ret);
            avcodec_send_packet(Codec.get(), nullptr);
            FlushSent = true;
            return true;
        }
        // Empty chunks hold no data, and an empty packet would tell the decoder the stream ended.
        if (Packet->stream_index == Stream->index && Packet->size > 0) {
            if (StampWithDts)
                Packet->pts = Packet->dts;
            const int64_t dts = Packet->dts;
            if (Withhold && Withhold(*Packet)) {
                av_packet_unref(Packet.get());
                LastFedDts = dts;
                return true;
            }
            Palettes.Prepare(*Packet);
            const int sent = avcodec_send_packet(Codec.get(), Packet.get());
            av_packet_unref(Packet.get());
            // A damaged packet costs its own picture or samples, not the whole stream.
            if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN))
                CheckDSResult(sent);
            if (sent >= 0)
                LastFedDts = dts;
            return true;
        }
        av_packet_unref(Packet.get());
    }
}

} // namespace zarvex::media
