#include "media/EncoderOptions.h"

#include "media/EncoderSetup.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/opt.h>
}

namespace zarvex::media {

namespace {

constexpr int WorstQuality = 31;

// How an encoder takes a quality.
enum class TQualityControl { None, Quantiser, ConstantRate };

// Native encoders whose use of the generic fields their codec facts do not show: measured
// against what each one actually writes.
struct TKnownEncoder {
    const char* Name;
    TOptionFields Fields;
};
constexpr TKnownEncoder KnownEncoders[] = {
    {"amv", {}}, // fixed quantiser tables of its own
    {"cinepak", {false, false, true}},
    {"svq1", {false, false, true}},
    {"vc2", {true, false, false}}, // intra only, though not marked so
};

bool HasPrivateOption(const AVCodec& codec, const char* name) {
    if (!codec.priv_class)
        return false;
    const AVClass* cls = codec.priv_class;
    return av_opt_find(&cls, name, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

TQualityControl QualityControlOf(const AVCodec& codec) {
    // FFmpeg's common rate control (the MPEG video family and Snow) takes a fixed quantiser.
    if (HasPrivateOption(codec, "rc_eq"))
        return TQualityControl::Quantiser;
    // x264, x265, libvpx and libaom ignore a quantiser but keep a constant-rate factor.
    if (HasPrivateOption(codec, "crf"))
        return TQualityControl::ConstantRate;
    return TQualityControl::None;
}

// The worst constant-rate factor of the codec's own scale.
double WorstRateFactor(AVCodecID id) {
    return id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC ? 51 : 63;
}

TOptionFields VideoFields(const AVCodec& codec, int props) {
    for (const TKnownEncoder& k : KnownEncoders)
        if (std::strcmp(codec.name, k.Name) == 0)
            return k.Fields;
    const bool interFrames = !(props & AV_CODEC_PROP_INTRA_ONLY);
    const bool quality = QualityControlOf(codec) != TQualityControl::None;
    if (HasPrivateOption(codec, "rc_eq"))
        return {true, true, interFrames};
    // Wrapped libraries map bit rate and GOP size onto their own settings.
    if (codec.wrapper_name && interFrames)
        return {true, quality, true};
    return {};
}

} // namespace

TOptionFields OptionFieldsOf(const AVCodec& codec) {
    const AVCodecDescriptor* d = avcodec_descriptor_get(codec.id);
    const int props = d ? d->props : 0;
    // Raw and lossless encoders write every picture exactly; there is nothing to trade.
    if (!(props & AV_CODEC_PROP_LOSSY))
        return {};
    if (codec.type == AVMEDIA_TYPE_AUDIO) {
        // PCM and ADPCM have one fixed rate for the sample format.
        const bool fixedRate = codec.id >= AV_CODEC_ID_FIRST_AUDIO && codec.id < AV_CODEC_ID_AMR_NB;
        return {!fixedRate, false, false};
    }
    return VideoFields(codec, props);
}

TOptionFields OptionFieldsOf(const TCompressor& compressor) {
    return OptionFieldsOf(CompressorCodec(compressor));
}

void ApplyVideoOptions(AVCodecContext& ctx, const TCompressorOptions& options) {
    if (options.KeyFrameInterval > 0)
        ctx.gop_size = options.KeyFrameInterval;
    if (options.BitRate > 0) {
        ctx.bit_rate = options.BitRate;
        return;
    }
    if (options.Quality <= 0)
        return;
    const int q = std::min(options.Quality, WorstQuality);
    switch (QualityControlOf(*ctx.codec)) {
    case TQualityControl::Quantiser:
        ctx.flags |= AV_CODEC_FLAG_QSCALE;
        ctx.global_quality = FF_QP2LAMBDA * q;
        break;
    case TQualityControl::ConstantRate: {
        // 1..31 spread evenly over the encoder's own scale, best to worst.
        const double crf =
            std::round(WorstRateFactor(ctx.codec->id) * (q - 1) / (WorstQuality - 1));
        av_opt_set_double(ctx.priv_data, "crf", crf, 0);
        break;
    }
    case TQualityControl::None:
        break;
    }
}

} // namespace zarvex::media
