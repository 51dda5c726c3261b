#include "media/RenderOutputs.h"

#include "export/DSErrors.h"
#include "media/EncoderSetup.h"
#include "media/FFmpegLog.h"

#include <cmath>
#include <cstring>
#include <string>
#include <sys/stat.h>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace zarvex::media {

namespace {

TResizeMode ModeOf(const std::optional<TTimelineSource>& s) {
    return s ? s->StretchMode : TResizeMode::Stretch;
}

constexpr size_t RawSlack = 256;

// Size and change time: what differs once another program cut or rewrote the file.
std::string FileStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "gone";
    return std::to_string(st.st_size) + "/" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

void FillBlack(AVFrame& f) {
    const auto fmt = static_cast<AVPixelFormat>(f.format);
    const char* name = av_get_pix_fmt_name(fmt);
    const bool full = name && std::strncmp(name, "yuvj", 4) == 0;
    ptrdiff_t lines[4];
    for (int i = 0; i < 4; ++i)
        lines[i] = f.linesize[i];
    av_image_fill_black(f.data, lines, fmt, full ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG, f.width,
                        f.height);
}

} // namespace

TVideoOutput::TVideoOutput(const TTimelineGroup& group, double duration,
                           const std::optional<TCompressor>& compressor, int32_t streamId)
    : Width(group.MediaType.Width), Height(group.MediaType.Height),
      Rate(av_d2q(group.OutputFPS, 65535)), StreamId(streamId) {
    if (Width <= 0 || Height <= 0 || Rate.num <= 0 || Rate.den <= 0)
        throw EZarvexError("The output picture size or frame rate is not valid");
    FrameCount = std::llround(duration * av_q2d(Rate));
    Sources = group.Track.Sources;
    if (!Sources.empty()) {
        Source = Sources.front();
        Decoder = std::make_unique<TVideoDecoder>(Source->MediaName);
        SourceStamp = FileStamp(Source->MediaName);
    }
    Picture = MakeFrame();
    Picture->width = Width;
    Picture->height = Height;
    if (compressor) {
        Encoder = OpenVideoEncoder(CompressorCodec(*compressor), compressor->Options, Width, Height,
                                   Rate);
        Picture->format = Encoder->pix_fmt;
        CheckDSResult(av_frame_get_buffer(Picture.get(), 0));
        FillBlack(*Picture);
    } else {
        // A bitmap's rows run bottom-up; a negative stride lets the converter write them so.
        const int stride = RawRowBytes(Width);
        // swscale's vector code may store a little past the end of a row: room for that.
        Raw.assign(size_t(stride) * Height + RawSlack, 0);
        Picture->format = AV_PIX_FMT_BGR24;
        Picture->data[0] = Raw.data() + size_t(stride) * (Height - 1);
        Picture->linesize[0] = -stride;
    }
    StreamFormat = VideoStreamFormat(Width, Height, Rate, Encoder.get());
}

int64_t TVideoOutput::Time() const {
    return av_rescale(Next, TimeUnits * Rate.den, Rate.num);
}

void TVideoOutput::Compose(const TVideoPicture* picture) {
    if (Encoder)
        CheckDSResult(av_frame_make_writable(Picture.get()));
    if (!picture) {
        if (ShownFrame != -2) {
            Encoder ? FillBlack(*Picture) : std::fill(Raw.begin(), Raw.end(), uint8_t(0));
            ShownFrame = -2;
        }
        return;
    }
    if (picture->FrameNumber == ShownFrame)
        return; // the same source picture again: the output already holds it
    const AVFrame& f = *picture->Frame;
    const TPlacement place = PlacePicture(ModeOf(Source), f.width, f.height, Width, Height);
    const bool full = place.To == TRect{0, 0, Width, Height};
    if (Encoder && !full)
        FillBlack(*Picture);
    Converter.ConvertRect(f, place.From, *Picture, place.To);
    if (!Encoder && !full)
        BlackenOutside(place.To);
    ShownFrame = picture->FrameNumber;
}

// Bars stay black even where the converter stored past the end of the picture's rows.
void TVideoOutput::BlackenOutside(const TRect& to) {
    const size_t stride = size_t(RawRowBytes(Width));
    for (int y = 0; y < Height; ++y) {
        uint8_t* row = Raw.data() + stride * size_t(Height - 1 - y);
        if (y < to.Y || y >= to.Y + to.Height) {
            std::fill_n(row, stride, uint8_t(0));
            continue;
        }
        std::fill_n(row, size_t(to.X) * 3, uint8_t(0));
        std::fill(row + size_t(to.X + to.Width) * 3, row + stride, uint8_t(0));
    }
}

void TVideoOutput::FollowSources(double t) {
    while (Decoder && t >= Source->Stop && Current + 1 < Sources.size()) {
        const TTimelineSource& next = Sources[++Current];
        if (next.MediaName != Source->MediaName) {
            Decoder = std::make_unique<TVideoDecoder>(next.MediaName);
            SourceStamp = FileStamp(next.MediaName);
        }
        Source = next;
        ShownFrame = -1; // frame numbers start again
    }
}

void TVideoOutput::WriteNext(TAVIFileWriter& writer) {
    const double t = double(Time()) / TimeUnits;
    FollowSources(t);
    TVideoPicture picture;
    bool shown = false;
    if (Decoder && t >= Source->Start && t < Source->Stop) {
        const double span = Source->Stop - Source->Start;
        const double speed = span > 0 ? (Source->MediaStop - Source->MediaStart) / span : 1.0;
        const double at = Source->MediaStart + (t - Source->Start) * speed;
        shown = Decoder->DecodeAt(std::llround(at * TimeUnits), picture);
        // A picture missing from a file that another program cut or rewrote is no black frame.
        if (!shown && FileStamp(Source->MediaName) != SourceStamp)
            throw ESourceChanged();
    }
    Compose(shown ? &picture : nullptr);
    if (!Encoder) {
        writer.WriteChunk(StreamId, Raw.data(), true, int32_t(Raw.size() - RawSlack));
        ++Slots;
    } else {
        Picture->pts = Next;
        // A fixed quantiser is taken from each picture, not from the context.
        if (Encoder->flags & AV_CODEC_FLAG_QSCALE)
            Picture->quality = Encoder->global_quality;
        TLogCapture log;
        CheckEncoderResult(*Encoder, avcodec_send_frame(Encoder.get(), Picture.get()), log);
        WritePackets(writer);
    }
    ++Next;
}

void TVideoOutput::WritePackets(TAVIFileWriter& writer) {
    ReceivePackets(*Encoder, *Packet, [&](const AVPacket& p) {
        // A frame the encoder dropped keeps its time slot as an empty chunk.
        for (; p.pts != AV_NOPTS_VALUE && Slots < p.pts; ++Slots)
            writer.WriteChunk(StreamId, nullptr, false, 0);
        writer.WriteChunk(StreamId, p.data, (p.flags & AV_PKT_FLAG_KEY) != 0, p.size);
        ++Slots;
    });
}

void TVideoOutput::Finish(TAVIFileWriter& writer) {
    if (!Encoder)
        return;
    TLogCapture log;
    CheckEncoderResult(*Encoder, avcodec_send_frame(Encoder.get(), nullptr), log);
    WritePackets(writer);
}

void TVideoOutput::Abandon(TAVIFileWriter& writer) {
    if (!Encoder || Slots > 0 || Next == 0)
        return;
    TLogCapture log;
    CheckEncoderResult(*Encoder, avcodec_send_frame(Encoder.get(), nullptr), log);
    const int ret = avcodec_receive_packet(Encoder.get(), Packet.get());
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
        return;
    CheckEncoderResult(*Encoder, ret, log);
    writer.WriteChunk(StreamId, Packet->data, (Packet->flags & AV_PKT_FLAG_KEY) != 0, Packet->size);
    av_packet_unref(Packet.get());
    ++Slots;
}

} // namespace zarvex::media
