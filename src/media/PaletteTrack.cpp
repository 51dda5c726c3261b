#include "media/PaletteTrack.h"

#include "export/DSErrors.h"

#include <cstring>
#include <new>

namespace zarvex::media {

bool IsPalettised(const AVStream& stream) {
    const AVCodecParameters& p = *stream.codecpar;
    return p.codec_type == AVMEDIA_TYPE_VIDEO && p.bits_per_coded_sample > 0 &&
           p.bits_per_coded_sample <= 8;
}

void TPaletteTrack::Note(const AVPacket& packet) {
    size_t size = 0;
    const uint8_t* data = av_packet_get_side_data(&packet, AV_PKT_DATA_PALETTE, &size);
    if (!data || size < AVPALETTE_SIZE || packet.dts == AV_NOPTS_VALUE)
        return;
    TPalette& palette = Palettes[packet.dts];
    std::memcpy(palette.data(), data, palette.size());
}

void TPaletteTrack::Learn(AVFormatContext& format, const AVStream& stream, AVPacket& packet) {
    // The first packet still carries the format's palette: nothing has been sought yet.
    int ret = 0;
    while ((ret = av_read_frame(&format, &packet)) >= 0) {
        if (packet.stream_index == stream.index)
            Note(packet);
        av_packet_unref(&packet);
    }
    if (ret != AVERROR_EOF && ret != AVERROR(EIO))
        CheckDSResult(ret);
    const int64_t start = stream.start_time == AV_NOPTS_VALUE ? 0 : stream.start_time;
    ret = av_seek_frame(&format, stream.index, start, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    if (ret < 0)
        CheckDSResult(ret);
    Pending = true;
}

void TPaletteTrack::Prepare(AVPacket& packet) {
    if (Palettes.empty() || packet.dts == AV_NOPTS_VALUE)
        return;
    // A palette the reader attaches right after a seek may be one it read before the seek.
    size_t size = 0;
    uint8_t* data = av_packet_get_side_data(&packet, AV_PKT_DATA_PALETTE, &size);
    if (!data && !Pending)
        return;
    Pending = false;
    if (!data || size < AVPALETTE_SIZE)
        data = av_packet_new_side_data(&packet, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
    if (!data)
        throw std::bad_alloc();
    auto in = Palettes.upper_bound(packet.dts);
    if (in != Palettes.begin())
        --in;
    std::memcpy(data, in->second.data(), AVPALETTE_SIZE);
}

} // namespace zarvex::media
