#include "media/SpotPasses.h"

#include "export/DSErrors.h"
#include "media/FFmpegPtr.h"
#include "media/MediaInput.h"
#include "support/Errors.h"
#include "support/FrameClock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <new>
#include <thread>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
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

using namespace spots;

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

// Sends a packet (null: the end) and hands on every frame that comes out. A damaged packet
// costs its own picture, not the whole pass.
template <typename TFilter>
void DecodePacket(AVCodecContext& codec, AVFrame& frame, const AVPacket* packet,
                  const TFilter& filter) {
    const int sent = avcodec_send_packet(&codec, packet);
    if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF)
        Check(sent);
    for (;;) {
        const int ret = avcodec_receive_frame(&codec, &frame);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            break;
        if (ret < 0)
            continue;
        filter(&frame);
        av_frame_unref(&frame);
    }
}

// The pictures of the video stream through blackdetect and scdet.
class TVideoPass {
public:
    TVideoPass(AVStream& stream, const TDetectOptions& o, TDetection& d)
        : Stream(stream), Options(o), Result(d), Codec(OpenDecoder(stream, true)),
          Clock(stream.time_base.den, stream.time_base.num) {}

    void Decode(const AVPacket* packet) {
        if (packet)
            Chunks.push_back(packet->dts == AV_NOPTS_VALUE ? LastChunk + 1 : packet->dts);
        if (packet)
            LastChunk = Chunks.back();
        DecodePacket(*Codec, *Frame, packet, [&](AVFrame* f) { Filter(f); });
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
        // The pictures in the order shown take the slots of the chunks in turn.
        int64_t number = Next;
        if (!Chunks.empty()) {
            number = std::max(Next, Chunks.front());
            Chunks.pop_front();
        }
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
    std::deque<int64_t> Chunks; // of the packets sent whose pictures have not come out
    int64_t LastChunk = -1;
    int64_t Next = 0;       // the frame after the last one seen
    int64_t BlackFrom = -1; // where the black run going on began
};

// The sound of the first audio stream through silencedetect, timed by its samples.
class TAudioPass {
public:
    TAudioPass(AVStream& stream, const TDetectOptions& o)
        : Stream(stream), Options(o), Codec(OpenDecoder(stream, false)) {}

    void Decode(const AVPacket* packet) {
        DecodePacket(*Codec, *Frame, packet, [&](AVFrame* f) { Filter(f); });
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
    TCodecContextPtr Codec;
    TFilterChain Chain;
    TFramePtr Frame = MakeFrame();
    int Rate = 0;
    int64_t Samples = 0;
    double SilenceFrom = -1;
    std::vector<std::pair<double, double>> Silences;
};

// Runs the jobs on threads of their own while this thread reports progress (by the position the
// watched readers have reached) and passes a cancel on. The first failure is raised after all
// have stopped.
void RunJobs(const std::vector<std::function<void(TPassState&)>>& jobs,
             const std::vector<const TStreamReader*>& watched, const TDetectProgress& progress,
             double from, double share) {
    TPassState state;
    std::vector<std::exception_ptr> errors(jobs.size());
    std::atomic<int> finished{0}, failed{-1};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < jobs.size(); ++i)
        threads.emplace_back([&, i] {
            try {
                jobs[i](state);
            } catch (...) {
                errors[i] = std::current_exception();
                int none = -1;
                failed.compare_exchange_strong(none, int(i));
                state.Cancel = true;
            }
            ++finished;
        });
    bool cancelled = false;
    while (finished < int(jobs.size())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!progress || cancelled)
            continue;
        double done = 0;
        for (const TStreamReader* r : watched)
            done += r->Done;
        bool cancel = false;
        progress(cancel,
                 std::clamp(from + share * done / double(std::max<size_t>(watched.size(), 1)), 0.0,
                            100.0));
        if (cancel) {
            cancelled = true;
            state.Cancel = true;
        }
    }
    for (std::thread& t : threads)
        t.join();
    if (cancelled)
        throw EZarvexError("Cancelled.");
    if (failed >= 0)
        std::rethrow_exception(errors[size_t(failed.load())]);
}

} // namespace

TDetection DetectSpots(const std::string& path, const TDetectOptions& options,
                       const TDetectProgress& progress) {
    TDetection result;
    result.Options = options;
    // A first look: the streams, the frame clock, the length, and where the second half of the
    // pictures can start (a key frame).
    bool video = false, audio = false;
    AVRational frameBase{1, 25};
    AVCodecID codec = AV_CODEC_ID_NONE;
    int64_t half = 0;
    {
        TStreamReader look(path, AVMEDIA_TYPE_VIDEO);
        video = look.Found() && (options.Black || options.Scenes);
        if (look.Found()) {
            frameBase = look.Stream().time_base;
            result.FrameCount = std::max<int64_t>(look.Stream().nb_frames, 0);
            codec = look.Stream().codecpar->codec_id;
        }
        audio = options.Silence && FirstStream(*look.Context(), AVMEDIA_TYPE_AUDIO) >= 0;
        TPassState state;
        if (look.Found() && result.FrameCount > 1000 && look.SeekTo(result.FrameCount / 2))
            look.Read(state, [&](AVPacket& p) {
                if (p.flags & AV_PKT_FLAG_KEY && p.dts != AV_NOPTS_VALUE)
                    half = p.dts;
                return false;
            });
    }
    const TFrameClock clock(frameBase.den, frameBase.num);
    result.FramesPerSecond = clock.FramesPerSecond();

    std::vector<std::function<void(TPassState&)>> jobs;
    std::vector<const TStreamReader*> watched;
    std::vector<std::pair<double, double>> silences;
    std::unique_ptr<TStreamReader> sound;
    if (audio) {
        sound = std::make_unique<TStreamReader>(path, AVMEDIA_TYPE_AUDIO);
        jobs.push_back([&](TPassState& state) {
            TAudioPass pass(sound->Stream(), options);
            sound->Read(state, [&](AVPacket& p) {
                if (p.size > 0)
                    pass.Decode(&p);
                return true;
            });
            pass.Decode(nullptr);
            silences = pass.Finish();
        });
        watched.push_back(sound.get());
    }
    // Black frames alone in MPEG-4 video: the refs-first pass, on both halves at once.
    std::vector<std::unique_ptr<TBlackRefsPass>> parts;
    if (video && codec == AV_CODEC_ID_MPEG4 && !options.Scenes) {
        parts.push_back(std::make_unique<TBlackRefsPass>(path, options, 0, half > 0 ? half : -1));
        if (half > 0)
            parts.push_back(std::make_unique<TBlackRefsPass>(path, options, half, -1));
        for (auto& part : parts) {
            TBlackRefsPass* p = part.get();
            jobs.push_back([p](TPassState& state) { p->Run(state); });
            watched.push_back(&p->Reader);
        }
    }
    TDetection pictures;
    auto everyPicture = [&](TPassState& state) {
        TStreamReader reader(path, AVMEDIA_TYPE_VIDEO);
        TVideoPass pass(reader.Stream(), options, pictures);
        reader.Read(state, [&](AVPacket& p) {
            if (p.size > 0)
                pass.Decode(&p);
            return true;
        });
        pass.Decode(nullptr);
        pass.Finish();
    };
    if (video && parts.empty())
        jobs.push_back(everyPicture);
    RunJobs(jobs, watched, progress, 0, 100);
    bool refsFirst = !parts.empty();
    for (const auto& part : parts)
        refsFirst = refsFirst && !part->Packed && !part->Misplaced;
    if (!parts.empty() && !refsFirst)
        // A packed bitstream, or a seek that missed its key frame: every picture after all.
        RunJobs({everyPicture}, {}, progress, 100, 0);
    if (refsFirst) {
        std::vector<TBlackRefsPass*> inOrder;
        for (const auto& part : parts)
            inOrder.push_back(part.get());
        result.Black = BlackOfPictures(inOrder, result.FrameCount, clock, options.BlackSeconds);
    } else if (video) {
        result.Black = std::move(pictures.Black);
        result.Scenes = std::move(pictures.Scenes);
        result.FrameCount = std::max(result.FrameCount, pictures.FrameCount);
    }
    for (const auto& [start, end] : silences) {
        const int64_t first = clock.FrameAt(std::llround(start * Units));
        const int64_t last =
            std::max(first, clock.FrameAt(std::max<int64_t>(std::llround(end * Units) - 1, 0)));
        result.Silence.push_back({TSpotKind::Silence, first, last, start, end, 0});
    }
    if (progress) {
        bool cancel = false;
        progress(cancel, 100);
    }
    return result;
}

} // namespace zarvex::media
