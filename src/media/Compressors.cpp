#include "media/Compressors.h"

#include "media/EncoderSetup.h"
#include "support/Errors.h"

#include <mutex>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
}

namespace zarvex::media {

namespace {

// Sizes that every AVI video encoder accepts (some only take CIF and its multiples).
constexpr int TrialWidth = 352, TrialHeight = 288;

bool TakesOurSamples(const AVCodec& codec) {
    if (codec.supported_samplerates) {
        bool found = false;
        for (const int* r = codec.supported_samplerates; *r; ++r)
            found = found || *r == 44100;
        if (!found)
            return false;
    }
    if (codec.ch_layouts) {
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        bool found = false;
        for (const AVChannelLayout* l = codec.ch_layouts; l->nb_channels; ++l)
            found = found || av_channel_layout_compare(l, &stereo) == 0;
        if (!found)
            return false;
    }
    return true;
}

bool Usable(const AVCodec& codec, bool audio) {
    if (!av_codec_is_encoder(&codec) ||
        codec.type != (audio ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO))
        return false;
    if (codec.capabilities & (AV_CODEC_CAP_EXPERIMENTAL | AV_CODEC_CAP_HARDWARE))
        return false;
    if (RiffTag(codec) == 0)
        return false;
    if (audio ? !TakesOurSamples(codec) : EncoderPixelFormat(codec) == AV_PIX_FMT_NONE)
        return false;
    // Wrapped libraries are slow to open and some never let go of an unused session, so only
    // FFmpeg's own encoders are tried; the rest are judged by the formats they take.
    if (codec.wrapper_name)
        return true;
    try {
        if (audio)
            OpenAudioEncoder(codec, {}, 44100, 2);
        else
            OpenVideoEncoder(codec, {}, TrialWidth, TrialHeight, AVRational{25, 1}, 1);
        return true;
    } catch (const EZarvexError&) {
        return false;
    }
}

std::vector<TCompressor> Enumerate(bool audio) {
    // Encoders that refuse the trial say so on the log; that is not the user's concern.
    const int level = av_log_get_level();
    av_log_set_level(AV_LOG_QUIET);
    std::vector<TCompressor> list;
    void* it = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&it)) {
        if (!Usable(*codec, audio))
            continue;
        TCompressor c;
        c.EncoderName = codec->name;
        c.FriendlyName = std::string(codec->long_name ? codec->long_name : codec->name) + " (" +
                         codec->name + ")";
        c.Audio = audio;
        list.push_back(std::move(c));
    }
    av_log_set_level(level);
    return list;
}

} // namespace

const std::vector<TCompressor>& InstalledCompressors(bool audio) {
    static std::once_flag once[2];
    static std::vector<TCompressor> lists[2];
    std::call_once(once[audio], [audio] { lists[audio] = Enumerate(audio); });
    return lists[audio];
}

TCompressor FindCompressor(bool audio, const std::string& encoderName) {
    for (const TCompressor& c : InstalledCompressors(audio))
        if (c.EncoderName == encoderName)
            return c;
    throw EZarvexError("Unknown compressor: " + encoderName);
}

} // namespace zarvex::media
