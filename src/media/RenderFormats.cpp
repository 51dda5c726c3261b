#include "media/RenderFormats.h"

#include "avi_input/FourCC.h"
#include "media/EncoderSetup.h"
#include "support/Endian.h"

#include <algorithm>

namespace zarvex::media {

namespace {

constexpr uint16_t WaveFormatPcm = 1;
constexpr uint16_t WaveFormatMp3 = 0x55;

std::vector<uint8_t> BitmapInfo(int width, int height, uint32_t compression, uint16_t bits,
                                uint32_t imageSize, const uint8_t* extra, int extraSize) {
    std::vector<uint8_t> f(40 + size_t(std::max(extraSize, 0)));
    PutU32(&f[0], uint32_t(f.size()));
    PutU32(&f[4], uint32_t(width));
    PutU32(&f[8], uint32_t(height));
    PutU16(&f[12], 1);
    PutU16(&f[14], bits);
    PutU32(&f[16], compression);
    PutU32(&f[20], imageSize);
    if (extraSize > 0)
        std::copy_n(extra, extraSize, f.begin() + 40);
    return f;
}

std::vector<uint8_t> WaveFormat(uint16_t tag, int channels, int rate, uint32_t bytesPerSec,
                                uint16_t blockAlign, uint16_t bits,
                                const std::vector<uint8_t>& extra) {
    std::vector<uint8_t> f(18 + extra.size());
    PutU16(&f[0], tag);
    PutU16(&f[2], uint16_t(channels));
    PutU32(&f[4], uint32_t(rate));
    PutU32(&f[8], bytesPerSec);
    PutU16(&f[12], blockAlign);
    PutU16(&f[14], bits);
    PutU16(&f[16], uint16_t(extra.size()));
    std::copy(extra.begin(), extra.end(), f.begin() + 18);
    return f;
}

// MPEGLAYER3WAVEFORMAT's extra bytes with the values FFmpeg's own AVI writer uses, which the
// common readers are known to accept.
std::vector<uint8_t> Mp3Extra() {
    std::vector<uint8_t> e(12);
    PutU16(&e[0], 1);     // wID: MPEGLAYER3_ID_MPEG
    PutU32(&e[2], 2);     // fdwFlags: padding off
    PutU16(&e[6], 1152);  // nBlockSize
    PutU16(&e[8], 1);     // nFramesPerBlock
    PutU16(&e[10], 1393); // nCodecDelay
    return e;
}

} // namespace

int RawRowBytes(int width) {
    return (width * 3 + 3) & ~3;
}

TAviStreamFormat VideoStreamFormat(int width, int height, AVRational rate,
                                   const AVCodecContext* encoder) {
    TAviStreamFormat s;
    AVIStreamHeader& h = s.Header;
    h.fccType = streamVids;
    h.dwScale = uint32_t(rate.den);
    h.dwRate = uint32_t(rate.num);
    h.dwQuality = 0xFFFFFFFFu;
    if (!encoder) {
        h.fccHandler = MakeFourCC('D', 'I', 'B', ' ');
        s.Format =
            BitmapInfo(width, height, 0, 24, uint32_t(RawRowBytes(width)) * height, nullptr, 0);
        return s;
    }
    // An encoder that names its own FourCC (Ut Video's differs per pixel format) is right.
    const uint32_t tag = encoder->codec_tag ? encoder->codec_tag : RiffTag(*encoder->codec);
    h.fccHandler = tag;
    const int bits = encoder->bits_per_coded_sample > 0 ? encoder->bits_per_coded_sample : 24;
    s.Format = BitmapInfo(width, height, tag, uint16_t(bits), uint32_t(width) * height * 3,
                          encoder->extradata, encoder->extradata_size);
    return s;
}

bool ByteCountedAudio(const AVCodecContext& encoder) {
    return encoder.frame_size <= 1 && encoder.block_align > 0;
}

TAviStreamFormat AudioStreamFormat(int rate, int channels, const AVCodecContext* encoder) {
    TAviStreamFormat s;
    AVIStreamHeader& h = s.Header;
    h.fccType = streamAuds;
    h.dwQuality = 0xFFFFFFFFu;
    if (!encoder || ByteCountedAudio(*encoder)) {
        const uint16_t tag = encoder ? uint16_t(RiffTag(*encoder->codec)) : WaveFormatPcm;
        const int align = encoder ? encoder->block_align : channels * 2;
        const int bits = encoder ? av_get_bits_per_sample(encoder->codec_id) : 16;
        // Byte-counted: one unit per sample frame, so that dwLength counts sample frames.
        h.dwScale = 1;
        h.dwRate = uint32_t(rate);
        h.dwSampleSize = uint32_t(align);
        std::vector<uint8_t> extra;
        if (encoder && encoder->extradata_size > 0)
            extra.assign(encoder->extradata, encoder->extradata + encoder->extradata_size);
        s.Format = WaveFormat(tag, channels, rate, uint32_t(align) * rate, uint16_t(align),
                              uint16_t(bits), extra);
        return s;
    }
    // One frame per chunk: dwScale samples each, as FFmpeg's readers and writer count them.
    const int frame = encoder->frame_size > 0 ? encoder->frame_size : 1152;
    const uint16_t tag = uint16_t(RiffTag(*encoder->codec));
    h.dwScale = uint32_t(frame);
    h.dwRate = uint32_t(rate);
    h.dwSampleSize = 0;
    std::vector<uint8_t> extra;
    if (encoder->codec_id == AV_CODEC_ID_MP3)
        extra = Mp3Extra();
    else if (encoder->extradata_size > 0)
        extra.assign(encoder->extradata, encoder->extradata + encoder->extradata_size);
    const int align = encoder->block_align > 0 ? encoder->block_align : frame;
    const uint32_t bytesPerSec = encoder->bit_rate > 0 ? uint32_t(encoder->bit_rate / 8) : 0;
    s.Format = WaveFormat(tag, channels, rate, bytesPerSec, uint16_t(std::min(align, 65535)),
                          uint16_t(av_get_bits_per_sample(encoder->codec_id)), extra);
    return s;
}

} // namespace zarvex::media
