#include "media/EncoderSetup.h"

#include "export/DSErrors.h"
#include "media/EncoderOptions.h"
#include "media/FFmpegLog.h"

#include <new>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
}

namespace zarvex::media {

uint32_t RiffTag(const AVCodec& codec) {
    const AVCodecTag* const tables[] = {codec.type == AVMEDIA_TYPE_AUDIO
                                            ? avformat_get_riff_audio_tags()
                                            : avformat_get_riff_video_tags(),
                                        nullptr};
    return av_codec_get_tag(tables, codec.id);
}

AVPixelFormat EncoderPixelFormat(const AVCodec& codec) {
    if (!codec.pix_fmts)
        return AV_PIX_FMT_NONE;
    for (const AVPixelFormat* f = codec.pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
        if (sws_isSupportedOutput(*f) &&
            !(av_pix_fmt_desc_get(*f)->flags & AV_PIX_FMT_FLAG_HWACCEL))
            return *f;
    return AV_PIX_FMT_NONE;
}

namespace {

// s16 when the encoder takes it (no conversion), else its first format.
AVSampleFormat EncoderSampleFormat(const AVCodec& codec) {
    if (!codec.sample_fmts)
        return AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* f = codec.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == AV_SAMPLE_FMT_S16)
            return *f;
    return codec.sample_fmts[0];
}

TCodecContextPtr Allocate(const AVCodec& codec) {
    TCodecContextPtr ctx(avcodec_alloc_context3(&codec));
    if (!ctx)
        throw std::bad_alloc();
    return ctx;
}

// Opens the encoder; a refusal names the encoder and gives its reason in its own words.
void OpenEncoder(AVCodecContext& ctx, const AVCodec& codec) {
    TLogCapture log;
    const int ret = avcodec_open2(&ctx, &codec, nullptr);
    if (ret < 0)
        throw EMediaError(ret, EncoderFailureText(codec, "cannot start", log.Text(), ret));
}

} // namespace

std::string EncoderFailureText(const AVCodec& codec, const std::string& what,
                               const std::string& words, int code) {
    std::string text = std::string("The ") + codec.name + " compressor " + what + ": ";
    if (!words.empty())
        text += words + (words.back() == '.' ? " " : ". ");
    return text + MediaErrorText(code);
}

void CheckEncoderResult(const AVCodecContext& ctx, int code, const TLogCapture& log) {
    if (code < 0)
        throw EMediaError(code, EncoderFailureText(*ctx.codec, "failed", log.Text(), code));
}

TCodecContextPtr OpenVideoEncoder(const AVCodec& codec, const TCompressorOptions& options,
                                  int width, int height, AVRational rate, int threads) {
    const AVPixelFormat format = EncoderPixelFormat(codec);
    if (format == AV_PIX_FMT_NONE)
        CheckDSResult(AVERROR(ENOSYS));
    TCodecContextPtr ctx = Allocate(codec);
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = format;
    ctx->time_base = av_inv_q(rate);
    ctx->framerate = rate;
    ctx->sample_aspect_ratio = AVRational{1, 1};
    ctx->max_b_frames = 0;
    ctx->thread_count = threads;
    ApplyVideoOptions(*ctx, options);
    OpenEncoder(*ctx, codec);
    return ctx;
}

TCodecContextPtr OpenAudioEncoder(const AVCodec& codec, const TCompressorOptions& options, int rate,
                                  int channels) {
    TCodecContextPtr ctx = Allocate(codec);
    ctx->sample_rate = rate;
    ctx->sample_fmt = EncoderSampleFormat(codec);
    av_channel_layout_default(&ctx->ch_layout, channels);
    ctx->time_base = AVRational{1, rate};
    if (options.BitRate > 0)
        ctx->bit_rate = options.BitRate;
    OpenEncoder(*ctx, codec);
    return ctx;
}

const AVCodec& CompressorCodec(const TCompressor& compressor) {
    const AVCodec* codec = avcodec_find_encoder_by_name(compressor.EncoderName.c_str());
    if (!codec)
        throw EZarvexError("Unknown compressor: " + compressor.EncoderName);
    return *codec;
}

void ReceivePackets(AVCodecContext& encoder, AVPacket& packet,
                    const std::function<void(const AVPacket&)>& take) {
    for (;;) {
        TLogCapture log;
        const int ret = avcodec_receive_packet(&encoder, &packet);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return;
        CheckEncoderResult(encoder, ret, log);
        take(packet);
        av_packet_unref(&packet);
    }
}

} // namespace zarvex::media
