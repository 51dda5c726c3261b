#include "media/MatchedEncoder.h"

#include "avi_input/AVIStream.h"
#include "avi_input/FourCC.h"
#include "export/DSErrors.h"
#include "media/EncoderSetup.h"
#include "media/ExactJoin.h"
#include "media/FFmpegLog.h"
#include "support/Endian.h"

#include <new>
#include <string>

extern "C" {
#include <libavutil/opt.h>
}

namespace zarvex::media {

namespace {

// MPEG-4 Part 2 is re-encoded at this quantiser (2: finer than any AVI writer's default).
constexpr int Mpeg4Quantiser = 2;
// x264's constant rate factor for re-encoded H.264 runs: visually lossless.
constexpr const char* X264Crf = "14";

} // namespace

const AVCodec* MatchingEncoder(const TAVIStream& video) {
    switch (BitstreamOf(video)) {
    case TBitstream::Mpeg4:
        return avcodec_find_encoder_by_name("mpeg4");
    case TBitstream::MsMpeg4:
        return avcodec_find_encoder_by_name("msmpeg4");
    case TBitstream::H264:
        return avcodec_find_encoder_by_name("libx264");
    default:
        return nullptr;
    }
}

TMatchedEncoder::TMatchedEncoder(const TAVIStream& video, const AVCodecContext& decoder,
                                 const AVFrame& sample) {
    const AVCodec* codec = MatchingEncoder(video);
    if (!codec)
        throw EZarvexError("No encoder matches the video codec " + VideoCodeText(video));
    Encoder.reset(avcodec_alloc_context3(codec));
    if (!Encoder)
        throw std::bad_alloc();
    AVCodecContext& c = *Encoder;
    c.width = sample.width;
    c.height = sample.height;
    c.pix_fmt = EncoderPixelFormat(*codec);
    c.time_base = AVRational{int(video.Header.dwScale), int(video.Header.dwRate)};
    c.framerate = av_inv_q(c.time_base);
    c.sample_aspect_ratio =
        sample.sample_aspect_ratio.num ? sample.sample_aspect_ratio : decoder.sample_aspect_ratio;
    c.color_range = sample.color_range;
    c.colorspace = sample.colorspace;
    c.color_primaries = sample.color_primaries;
    c.color_trc = sample.color_trc;
    c.codec_tag = RawVideoCode(video);
    // An MPEG-4 decoder delays its pictures by one when the stream may hold B-frames, as its
    // VOL says; a run with a VOL saying otherwise would change the delay at the join and show a
    // picture twice or lose one. Such runs declare B-frames but get none: every picture after
    // the first is forced to be a P-picture. For H.264 the declared B-frames also make x264
    // code each picture's order (pic_order_cnt_lsb) in a range as wide as 16 B-frames need,
    // which a run closing on an IDR picture must set (see OrderBefore).
    const bool delayed = decoder.has_b_frames > 0;
    const TBitstream bitstream = BitstreamOf(video);
    c.max_b_frames = delayed && bitstream == TBitstream::Mpeg4  ? 1
                     : delayed && bitstream == TBitstream::H264 ? 16
                                                                : 0;
    c.gop_size = 1 << 20; // one key frame, the run's first
    c.thread_count = 0;   // one per core, as ffmpeg's own runs have
    if (sample.interlaced_frame) {
        c.flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
        c.field_order = sample.top_field_first ? AV_FIELD_TT : AV_FIELD_BB;
    }
    if (std::string(codec->name) == "libx264") {
        av_opt_set(c.priv_data, "crf", X264Crf, 0);
        av_opt_set(c.priv_data, "preset", "fast", 0);
        av_opt_set(c.priv_data, "forced-idr", "1", 0);
        // The decoder keeps the run's reference frames when the source's parameter sets take
        // over, and those must not hold more.
        av_opt_set(c.priv_data, "b-pyramid", "none", 0);
        if (decoder.refs > 0)
            c.refs = decoder.refs;
    } else {
        // Without the encoder's name in its headers: decoders pick their workarounds by the
        // name they see first, and the copied pictures must decode as they do in the source.
        c.flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_BITEXACT;
        c.global_quality = Mpeg4Quantiser * FF_QP2LAMBDA;
    }
    TLogCapture log;
    CheckEncoderResult(c, avcodec_open2(&c, codec, nullptr), log);
    Picture = MakeFrame();
    Picture->format = c.pix_fmt;
    Picture->width = c.width;
    Picture->height = c.height;
    CheckDSResult(av_frame_get_buffer(Picture.get(), 0));
}

void TMatchedEncoder::Add(const AVFrame& picture) {
    if (Held.size() >= MostHeld) {
        Send(*Held.front());
        Held.pop_front();
    }
    CheckDSResult(av_frame_make_writable(Picture.get()));
    Converter.ConvertRect(picture, TRect{0, 0, picture.width, picture.height}, *Picture,
                          TRect{0, 0, Picture->width, Picture->height});
    Picture->pts = Next++;
    Picture->interlaced_frame = picture.interlaced_frame;
    Picture->top_field_first = picture.top_field_first;
    Picture->pict_type = Picture->pts == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_P;
    if (Encoder->flags & AV_CODEC_FLAG_QSCALE)
        Picture->quality = Encoder->global_quality;
    Slots.push_back(true);
    TFramePtr held(av_frame_clone(Picture.get()));
    if (!held)
        throw std::bad_alloc();
    Held.push_back(std::move(held));
}

void TMatchedEncoder::Send(AVFrame& picture) {
    TLogCapture log;
    CheckEncoderResult(*Encoder, avcodec_send_frame(Encoder.get(), &picture), log);
    if (OnPicture)
        OnPicture();
    Drain();
}

void TMatchedEncoder::AddEmpty() {
    Slots.push_back(false);
}

void TMatchedEncoder::Drain() {
    ReceivePackets(*Encoder, *Packet, [&](const AVPacket& p) {
        Coded.push_back(TRecodedChunk{{p.data, p.data + p.size}, (p.flags & AV_PKT_FLAG_KEY) != 0});
        if (OnPicture)
            OnPicture();
    });
}

std::vector<TRecodedChunk> TMatchedEncoder::Finish(int idrFromEnd) {
    for (; !Held.empty(); Held.pop_front()) {
        if (int(Held.size()) == idrFromEnd)
            Held.front()->pict_type = AV_PICTURE_TYPE_I;
        Send(*Held.front());
    }
    TLogCapture log;
    CheckEncoderResult(*Encoder, avcodec_send_frame(Encoder.get(), nullptr), log);
    Drain();
    std::vector<TRecodedChunk> out;
    size_t next = 0;
    for (bool picture : Slots) {
        if (!picture)
            out.emplace_back();
        else if (next < Coded.size())
            out.push_back(std::move(Coded[next++]));
        else
            throw EZarvexError("The encoder returned fewer pictures than it was given");
    }
    return out;
}

} // namespace zarvex::media
