#include "media/OverviewCodec.h"

#include "avi_input/AVIStream.h"
#include "support/Endian.h"

#include <cstring>
#include <vector>

namespace zarvex::media {

namespace {

constexpr size_t BitmapHeaderBytes = 40;
constexpr size_t WaveHeaderBytes = 18;

AVCodecID VideoCodecId(const TAVIStream& video) {
    const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
    const uint32_t compression = GetU32(video.Format.data() + 16);
    // Uncompressed bitmaps are tagged 0 in the table too.
    AVCodecID id = av_codec_get_id(tables, compression);
    if (id == AV_CODEC_ID_NONE)
        id = av_codec_get_id(tables, video.Header.fccHandler);
    return id;
}

void SetExtradata(AVCodecContext& codec, const uint8_t* data, size_t size) {
    if (size == 0 || size > (1 << 20))
        return;
    codec.extradata = static_cast<uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!codec.extradata)
        return;
    std::memcpy(codec.extradata, data, size);
    codec.extradata_size = int(size);
}

// MPEG-4 video (Xvid, DivX) may carry its headers in the first key frame only; a decoder that
// starts in the middle of the file needs them beforehand.
void AddMpeg4Headers(AVCodecContext& codec, const TAVIStream& video) {
    if (codec.extradata || codec.codec_id != AV_CODEC_ID_MPEG4)
        return;
    for (int64_t i = 0; i < std::min<int64_t>(video.EntryCount(), 16); ++i) {
        const std::vector<uint8_t> chunk = video.ChunkBytes(i);
        for (size_t p = 0; p + 4 <= chunk.size(); ++p)
            if (chunk[p] == 0 && chunk[p + 1] == 0 && chunk[p + 2] == 1 && chunk[p + 3] == 0xB6) {
                SetExtradata(codec, chunk.data(), p);
                return;
            }
    }
}

TCodecContextPtr Open(TCodecContextPtr codec, const AVCodec* decoder) {
    codec->thread_count = 1;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0)
        return nullptr;
    return codec;
}

} // namespace

TCodecContextPtr OpenThumbnailDecoder(const TAVIStream& video, int minWidth) {
    if (video.Format.size() < BitmapHeaderBytes)
        return nullptr;
    const AVCodec* decoder = avcodec_find_decoder(VideoCodecId(video));
    if (!decoder)
        return nullptr;
    TCodecContextPtr codec(avcodec_alloc_context3(decoder));
    if (!codec)
        return nullptr;
    const uint8_t* f = video.Format.data();
    codec->width = GetI32(f + 4);
    codec->height = std::abs(GetI32(f + 8));
    codec->bits_per_coded_sample = GetU16(f + 14);
    codec->codec_tag = GetU32(f + 16);
    SetExtradata(*codec, f + BitmapHeaderBytes, video.Format.size() - BitmapHeaderBytes);
    AddMpeg4Headers(*codec, video);
    int lowres = 0;
    while (lowres < decoder->max_lowres && (codec->width >> (lowres + 1)) >= minWidth)
        ++lowres;
    codec->lowres = lowres;
    codec->skip_loop_filter = AVDISCARD_ALL;
    codec->flags2 |= AV_CODEC_FLAG2_FAST;
    return Open(std::move(codec), decoder);
}

TCodecContextPtr OpenPeakDecoder(const TAVIStream& audio) {
    if (audio.Format.size() < WaveHeaderBytes - 2)
        return nullptr;
    const uint8_t* f = audio.Format.data();
    const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    const AVCodecID id = av_codec_get_id(tables, GetU16(f));
    const AVCodec* decoder = avcodec_find_decoder(id);
    if (!decoder)
        return nullptr;
    TCodecContextPtr codec(avcodec_alloc_context3(decoder));
    if (!codec)
        return nullptr;
    av_channel_layout_default(&codec->ch_layout, std::max<int>(1, GetU16(f + 2)));
    codec->sample_rate = int(GetU32(f + 4));
    codec->bit_rate = int64_t(GetU32(f + 8)) * 8;
    codec->block_align = GetU16(f + 12);
    codec->bits_per_coded_sample = GetU16(f + 14);
    if (audio.Format.size() > WaveHeaderBytes) {
        const size_t extra =
            std::min<size_t>(GetU16(f + 16), audio.Format.size() - WaveHeaderBytes);
        SetExtradata(*codec, f + WaveHeaderBytes, extra);
    }
    return Open(std::move(codec), decoder);
}

} // namespace zarvex::media
