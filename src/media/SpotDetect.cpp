#include "media/SpotDetect.h"

#include "export/DSErrors.h"
#include "media/FFmpegPtr.h"
#include "media/MediaInput.h"
#include "support/Errors.h"
#include "support/FrameClock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace zarvex::media {

std::string SpotKindName(TSpotKind kind) {
    switch (kind) {
    case TSpotKind::Black:
        return "black";
    case TSpotKind::Silence:
        return "silence";
    case TSpotKind::Scene:
        return "scene";
    case TSpotKind::Break:
        return "break";
    }
    return "black";
}

namespace {

constexpr double Units = 1e7; // of TFrameClock

// FFmpeg's calls that may return a count on success.
void Check(int code) {
    if (code < 0)
        CheckDSResult(code);
}

struct TGraphFreer {
    void operator()(AVFilterGraph* p) const { avfilter_graph_free(&p); }
};
struct TInOutFreer {
    void operator()(AVFilterInOut* p) const { avfilter_inout_free(&p); }
};

// buffer -> filters -> buffersink; each frame taken out carries the filters' findings.
class TFilterChain {
public:
    void Open(bool audio, const std::string& source, const std::string& filters) {
        Graph.reset(avfilter_graph_alloc());
        if (!Graph)
            throw std::bad_alloc();
        // The decoder's threads are busy enough; the filters look at small pictures.
        Graph->nb_threads = 1;
        const char* const src = audio ? "abuffer" : "buffer";
        const char* const sink = audio ? "abuffersink" : "buffersink";
        Check(avfilter_graph_create_filter(&Source, avfilter_get_by_name(src), "in", source.c_str(),
                                           nullptr, Graph.get()));
        Check(avfilter_graph_create_filter(&Sink, avfilter_get_by_name(sink), "out", nullptr,
                                           nullptr, Graph.get()));
        std::unique_ptr<AVFilterInOut, TInOutFreer> outputs(avfilter_inout_alloc());
        std::unique_ptr<AVFilterInOut, TInOutFreer> inputs(avfilter_inout_alloc());
        if (!outputs || !inputs)
            throw std::bad_alloc();
        outputs->name = av_strdup("in");
        outputs->filter_ctx = Source;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = Sink;
        AVFilterInOut* in = inputs.release();
        AVFilterInOut* out = outputs.release();
        const int parsed =
            avfilter_graph_parse_ptr(Graph.get(), filters.c_str(), &in, &out, nullptr);
        avfilter_inout_free(&in);
        avfilter_inout_free(&out);
        Check(parsed);
        Check(avfilter_graph_config(Graph.get(), nullptr));
    }

    bool IsOpen() const { return Graph != nullptr; }

    // frame null ends the stream. Every frame that comes out goes to take.
    template <class F> void Push(AVFrame* frame, F&& take) {
        Check(av_buffersrc_add_frame_flags(Source, frame, AV_BUFFERSRC_FLAG_KEEP_REF));
        for (;;) {
            const int ret = av_buffersink_get_frame(Sink, Out.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
                return;
            Check(ret);
            take(*Out);
            av_frame_unref(Out.get());
        }
    }

private:
    std::unique_ptr<AVFilterGraph, TGraphFreer> Graph;
    AVFilterContext* Source = nullptr;
    AVFilterContext* Sink = nullptr;
    TFramePtr Out = MakeFrame();
};

const char* Meta(const AVFrame& frame, const char* key) {
    const AVDictionaryEntry* e = av_dict_get(frame.metadata, key, nullptr, 0);
    return e ? e->value : nullptr;
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

TCodecContextPtr OpenDecoder(const AVStream& stream, bool video) {
    const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!decoder)
        Check(AVERROR_DECODER_NOT_FOUND);
    TCodecContextPtr codec(avcodec_alloc_context3(decoder));
    if (!codec)
        throw std::bad_alloc();
    Check(avcodec_parameters_to_context(codec.get(), stream.codecpar));
    codec->pkt_timebase = stream.time_base;
    if (video) {
        // Black and scene changes show as well at an eighth of the size, and the decoder's
        // shortcuts change no picture's darkness.
        codec->lowres = decoder->max_lowres;
        codec->skip_loop_filter = AVDISCARD_ALL;
        codec->flags2 |= AV_CODEC_FLAG2_FAST;
        codec->thread_count = 0;
        codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    } else {
        codec->thread_count = 1;
    }
    Check(avcodec_open2(codec.get(), decoder, nullptr));
    return codec;
}

// The pictures of the video stream through blackdetect and scdet.
class TVideoPass {
public:
    TVideoPass(AVStream& stream, const TDetectOptions& o, TDetection& d)
        : Stream(stream), Options(o), Result(d), Codec(OpenDecoder(stream, true)),
          Clock(stream.time_base.den, stream.time_base.num) {}

    void Decode(const AVPacket* packet) {
        const int sent = avcodec_send_packet(Codec.get(), packet);
        // A damaged packet costs its own picture, not the whole pass.
        if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN) &&
            sent != AVERROR_EOF)
            Check(sent);
        for (;;) {
            const int ret = avcodec_receive_frame(Codec.get(), Frame.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
                break;
            if (ret < 0)
                continue;
            Filter(Frame.get());
            av_frame_unref(Frame.get());
        }
        if (!packet && Chain.IsOpen())
            Chain.Push(nullptr, [&](AVFrame& f) { Take(f); });
    }

    void Finish() {
        if (BlackFrom >= 0)
            AddBlack(BlackFrom, Next);
        Result.FrameCount = std::max(Result.FrameCount, Next);
    }

private:
    void Filter(AVFrame* frame) {
        int64_t number = frame->best_effort_timestamp;
        if (number == AV_NOPTS_VALUE || number < Next)
            number = Next;
        Next = number + 1;
        frame->pts = number;
        if (!Chain.IsOpen()) {
            char source[160];
            std::snprintf(source, sizeof source,
                          "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=1/1",
                          frame->width, frame->height, frame->format, Stream.time_base.num,
                          Stream.time_base.den);
            std::string filters;
            if (Options.Black)
                // Runs of any length: the shortest kept is decided by frames below.
                filters = "blackdetect=d=0:pic_th=" + Number(Options.PictureBlack) +
                          ":pix_th=" + Number(Options.PixelBlack);
            if (Options.Scenes)
                filters += std::string(filters.empty() ? "" : ",") +
                           "scdet=threshold=" + Number(Options.SceneThreshold);
            Chain.Open(false, source, filters);
        }
        Chain.Push(frame, [&](AVFrame& f) { Take(f); });
    }

    void Take(const AVFrame& f) {
        const int64_t number = f.pts;
        if (Meta(f, "lavfi.black_end") && BlackFrom >= 0) {
            AddBlack(BlackFrom, number);
            BlackFrom = -1;
        }
        if (Meta(f, "lavfi.black_start") && BlackFrom < 0)
            BlackFrom = number;
        if (Meta(f, "lavfi.scd.time")) {
            const char* score = Meta(f, "lavfi.scd.score");
            Result.Scenes.push_back({TSpotKind::Scene, number, number, Seconds(number),
                                     Seconds(number + 1), score ? std::atof(score) : 0});
        }
    }

    // Frames first up to, not including, end.
    void AddBlack(int64_t first, int64_t end) {
        if (Seconds(end) - Seconds(first) < Options.BlackSeconds - 1e-9)
            return;
        Result.Black.push_back({TSpotKind::Black, first, end - 1, Seconds(first), Seconds(end), 0});
    }

    double Seconds(int64_t frame) const { return double(Clock.FrameStart(frame)) / Units; }

    AVStream& Stream;
    const TDetectOptions& Options;
    TDetection& Result;
    TCodecContextPtr Codec;
    TFrameClock Clock;
    TFilterChain Chain;
    TFramePtr Frame = MakeFrame();
    int64_t Next = 0;       // the frame after the last one seen
    int64_t BlackFrom = -1; // where the black run going on began
};

// The sound of the first audio stream through silencedetect, timed by its samples.
class TAudioPass {
public:
    TAudioPass(AVStream& stream, const TDetectOptions& o, TDetection& d)
        : Stream(stream), Options(o), Result(d), Codec(OpenDecoder(stream, false)) {}

    void Decode(const AVPacket* packet) {
        const int sent = avcodec_send_packet(Codec.get(), packet);
        if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN) &&
            sent != AVERROR_EOF)
            Check(sent);
        for (;;) {
            const int ret = avcodec_receive_frame(Codec.get(), Frame.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
                break;
            if (ret < 0)
                continue;
            Filter(Frame.get());
            av_frame_unref(Frame.get());
        }
        if (!packet && Chain.IsOpen())
            Chain.Push(nullptr, [&](AVFrame& f) { Take(f); });
    }

    // Spots as seconds; frames come from the video's clock afterwards.
    std::vector<std::pair<double, double>> Finish() {
        if (SilenceFrom >= 0)
            Silences.emplace_back(SilenceFrom, double(Samples) / std::max(Rate, 1));
        return Silences;
    }

private:
    void Filter(AVFrame* frame) {
        if (!Chain.IsOpen()) {
            Rate = frame->sample_rate;
            // Samples count on from the first decoded one, which starts where its packet says.
            const int64_t pts = frame->best_effort_timestamp;
            if (pts != AV_NOPTS_VALUE && pts > 0)
                Samples = av_rescale_q(pts, Stream.time_base, AVRational{1, Rate});
            // PCM in AVI often names no layout; the filter wants one, and the usual one of that
            // many channels measures the same loudness.
            char layout[64] = "";
            AVChannelLayout named{};
            if (frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE)
                av_channel_layout_copy(&named, &frame->ch_layout);
            else
                av_channel_layout_default(&named, frame->ch_layout.nb_channels);
            av_channel_layout_describe(&named, layout, sizeof layout);
            av_channel_layout_uninit(&named);
            char source[200];
            std::snprintf(source, sizeof source,
                          "time_base=1/%d:sample_rate=%d:sample_fmt=%s:channels=%d%s%s", Rate, Rate,
                          av_get_sample_fmt_name(AVSampleFormat(frame->format)),
                          frame->ch_layout.nb_channels, *layout ? ":channel_layout=" : "", layout);
            Chain.Open(true, source,
                       "silencedetect=n=" + Number(Options.SilenceDb) +
                           "dB:d=" + Number(Options.SilenceSeconds));
        }
        if (frame->sample_rate != Rate)
            return; // a change of rate mid-stream: the filter cannot follow it
        frame->pts = Samples;
        Samples += frame->nb_samples;
        Chain.Push(frame, [&](AVFrame& f) { Take(f); });
    }

    void Take(const AVFrame& f) {
        const char* end = Meta(f, "lavfi.silence_end");
        const char* start = Meta(f, "lavfi.silence_start");
        const double endAt = end ? std::atof(end) : 0, startAt = start ? std::atof(start) : 0;
        // A silence noticed and ended in one frame tells its start first.
        if (start && SilenceFrom < 0 && (!end || startAt <= endAt)) {
            SilenceFrom = startAt;
            start = nullptr;
        }
        if (end && SilenceFrom >= 0) {
            Silences.emplace_back(SilenceFrom, endAt);
            SilenceFrom = -1;
        }
        if (start && SilenceFrom < 0)
            SilenceFrom = startAt;
    }

    AVStream& Stream;
    const TDetectOptions& Options;
    TDetection& Result;
    TCodecContextPtr Codec;
    TFilterChain Chain;
    TFramePtr Frame = MakeFrame();
    int Rate = 0;
    int64_t Samples = 0;
    double SilenceFrom = -1;
    std::vector<std::pair<double, double>> Silences;
};

int FirstStream(const AVFormatContext& format, AVMediaType type) {
    for (unsigned i = 0; i < format.nb_streams; ++i)
        if (format.streams[i]->codecpar->codec_type == type &&
            !(format.streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return int(i);
    return -1;
}

} // namespace

TDetection DetectSpots(const std::string& path, const TDetectOptions& options,
                       const TDetectProgress& progress) {
    TDetection result;
    result.Options = options;
    AVFormatContext* raw = nullptr;
    Check(OpenMediaInput(&raw, path));
    TFormatPtr format(raw);
    Check(avformat_find_stream_info(format.get(), nullptr));
    const int videoIndex = FirstStream(*format, AVMEDIA_TYPE_VIDEO);
    const int audioIndex = FirstStream(*format, AVMEDIA_TYPE_AUDIO);
    const bool video = videoIndex >= 0 && (options.Black || options.Scenes);
    const bool audio = audioIndex >= 0 && options.Silence;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if ((int(i) != videoIndex || !video) && (int(i) != audioIndex || !audio))
            format->streams[i]->discard = AVDISCARD_ALL;

    AVRational frameBase{1, 25};
    if (videoIndex >= 0) {
        AVStream& s = *format->streams[videoIndex];
        frameBase = s.time_base;
        result.FrameCount = std::max<int64_t>(s.nb_frames, 0);
    }
    const TFrameClock clock(frameBase.den, frameBase.num);
    result.FramesPerSecond = clock.FramesPerSecond();

    std::unique_ptr<TVideoPass> pictures;
    std::unique_ptr<TAudioPass> sound;
    if (video)
        pictures = std::make_unique<TVideoPass>(*format->streams[videoIndex], options, result);
    if (audio)
        sound = std::make_unique<TAudioPass>(*format->streams[audioIndex], options, result);

    const int64_t size = std::max<int64_t>(avio_size(format->pb), 1);
    TPacketPtr packet = MakePacket();
    for (unsigned count = 0;; ++count) {
        if (progress && count % 32 == 0) {
            bool cancel = false;
            const double at = packet->pos > 0 ? 100.0 * double(packet->pos) / double(size) : 0;
            progress(cancel, std::clamp(at, 0.0, 100.0));
            if (cancel)
                throw EZarvexError("Cancelled.");
        }
        const int ret = av_read_frame(format.get(), packet.get());
        if (ret < 0) {
            if (ret != AVERROR_EOF && ret != AVERROR(EIO))
                Check(ret);
            break;
        }
        // Empty chunks are dropped frames or padding; an empty packet would end the stream.
        if (packet->size > 0) {
            if (pictures && packet->stream_index == videoIndex)
                pictures->Decode(packet.get());
            else if (sound && packet->stream_index == audioIndex)
                sound->Decode(packet.get());
        }
        const int64_t pos = packet->pos;
        av_packet_unref(packet.get());
        packet->pos = pos;
    }
    if (pictures) {
        pictures->Decode(nullptr);
        pictures->Finish();
    }
    if (sound) {
        sound->Decode(nullptr);
        for (const auto& [start, end] : sound->Finish()) {
            const int64_t first = clock.FrameAt(std::llround(start * Units));
            const int64_t last =
                std::max(first, clock.FrameAt(std::max<int64_t>(std::llround(end * Units) - 1, 0)));
            result.Silence.push_back({TSpotKind::Silence, first, last, start, end, 0});
        }
    }
    if (progress) {
        bool cancel = false;
        progress(cancel, 100);
    }
    return result;
}

} // namespace zarvex::media
