#include "media/Compressors.h"

#include "export/DSErrors.h"
#include "media/EncoderSetup.h"
#include "media/FFmpegLog.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string_view>
#include <tuple>
#include <utility>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace zarvex::media {

namespace {

constexpr uint32_t WaveFormatExtensible = 0xFFFE; // needs a sub-format GUID that we do not write

// Encoders that drive a device: the render engine hands them none, so they cannot open here.
constexpr std::string_view HardwareFamilies[] = {
    "nvenc", "qsv", "vaapi", "v4l2m2m", "omx", "amf", "mf", "videotoolbox", "mediacodec", "rkmpp",
};

// Hangs when closed without having been given a picture, and prints to the terminal itself.
constexpr std::string_view NeverOpened[] = {"libsvtav1"};

bool DrivesDevice(const AVCodec& codec) {
    if (codec.capabilities & (AV_CODEC_CAP_HARDWARE | AV_CODEC_CAP_HYBRID))
        return true;
    if (avcodec_get_hw_config(&codec, 0))
        return true;
    const std::string_view name = codec.name;
    if (name.substr(0, 5) == "nvenc") // the old names of the NVIDIA encoders
        return true;
    for (std::string_view family : HardwareFamilies) {
        if (codec.wrapper_name && family == codec.wrapper_name)
            return true;
        if (name.size() > family.size() && name.substr(name.size() - family.size()) == family &&
            name[name.size() - family.size() - 1] == '_')
            return true;
    }
    return false;
}

// The tag the encoder's packets are stored under leads FFmpeg's AVI reader back to a decoder.
bool ReadBack(const AVCodec& codec) {
    const uint32_t tag = RiffTag(codec);
    if (tag == 0 || (codec.type == AVMEDIA_TYPE_AUDIO && tag == WaveFormatExtensible))
        return false;
    const AVCodecTag* const tables[] = {codec.type == AVMEDIA_TYPE_AUDIO
                                            ? avformat_get_riff_audio_tags()
                                            : avformat_get_riff_video_tags(),
                                        nullptr};
    return avcodec_find_decoder(av_codec_get_id(tables, tag)) != nullptr;
}

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

// Whether the encoder could be listed at all, before it is tried on any pictures.
bool Candidate(const AVCodec& codec, bool audio) {
    if (!av_codec_is_encoder(&codec) ||
        codec.type != (audio ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO))
        return false;
    if ((codec.capabilities & AV_CODEC_CAP_EXPERIMENTAL) || DrivesDevice(codec))
        return false;
    for (std::string_view name : NeverOpened)
        if (name == codec.name)
            return false;
    if (!ReadBack(codec))
        return false;
    return audio ? TakesOurSamples(codec) : EncoderPixelFormat(codec) != AV_PIX_FMT_NONE;
}

TCompressor Record(const AVCodec& codec, bool audio) {
    TCompressor c;
    c.EncoderName = codec.name;
    c.FriendlyName =
        std::string(codec.long_name ? codec.long_name : codec.name) + " (" + codec.name + ")";
    c.Audio = audio;
    return c;
}

AVRational RateOf(const TPictureFormat& pictures) {
    return av_d2q(pictures.FrameRate, 65535);
}

// Opens the encoder as the render engine would; an EMediaError tells why it would not.
void Try(const AVCodec& codec, const TPictureFormat& pictures) {
    if (codec.type == AVMEDIA_TYPE_AUDIO)
        OpenAudioEncoder(codec, {}, 44100, 2);
    else
        OpenVideoEncoder(codec, {}, pictures.Width, pictures.Height, RateOf(pictures), 1);
}

std::vector<TCompressor> Enumerate(bool audio, const TPictureFormat& pictures) {
    TLogCapture quiet; // refusals are expected here, and not the user's concern
    std::vector<TCompressor> list;
    void* it = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&it)) {
        if (!Candidate(*codec, audio))
            continue;
        try {
            Try(*codec, pictures);
        } catch (const EZarvexError&) {
            continue;
        }
        list.push_back(Record(*codec, audio));
    }
    return list;
}

} // namespace

const std::vector<TCompressor>& InstalledCompressors(bool audio, const TPictureFormat& pictures) {
    using TKey = std::tuple<bool, int32_t, int32_t, int, int>;
    static std::mutex lock;
    static std::map<TKey, std::vector<TCompressor>> lists;
    const AVRational rate = RateOf(pictures);
    // Audio takes the same samples whatever the pictures.
    const TKey key = audio ? TKey{true, 0, 0, 0, 0}
                           : TKey{false, pictures.Width, pictures.Height, rate.num, rate.den};
    std::lock_guard<std::mutex> guard(lock);
    const auto found = lists.find(key);
    if (found != lists.end())
        return found->second;
    return lists.emplace(key, Enumerate(audio, pictures)).first->second;
}

TCompressor FindCompressor(bool audio, const std::string& encoderName) {
    const AVCodec* codec = avcodec_find_encoder_by_name(encoderName.c_str());
    if (!codec || !Candidate(*codec, audio))
        throw EZarvexError("Unknown compressor: " + encoderName);
    return Record(*codec, audio);
}

std::string CompressorProblem(const TCompressor& compressor, const TPictureFormat& pictures) {
    try {
        Try(CompressorCodec(compressor), pictures);
        return "";
    } catch (const EZarvexError& e) {
        return e.what();
    }
}

} // namespace zarvex::media
