#include "media/AudioDecoder.h"

#include "export/DSErrors.h"
#include "media/FFmpegPtr.h"
#include "media/StreamInput.h"

#include <algorithm>
#include <new>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace zarvex::media {

namespace {

constexpr int64_t Units = 10000000; // 100-ns units per second

// Decoders of compressed audio (MP3's bit reservoir, AAC's overlap) need a run-in before the
// asked sample; a second covers every common codec.
constexpr int64_t RunIn = Units;

int FirstAudioStream(const AVFormatContext& format) {
    for (unsigned i = 0; i < format.nb_streams; ++i)
        if (format.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            return static_cast<int>(i);
    return -1;
}

} // namespace

struct TAudioDecoder::TImpl : TStreamInput {
    TFramePtr Frame = MakeFrame();
    TSwrPtr Resampler;
    int InRate = 0, InFormat = -1;
    AVChannelLayout InLayout{};
    int Rate = 0;
    int Channels = 0;
    bool Drained = false;       // decoder and resampler are empty
    bool Anchored = false;      // Ready's first sample has a known number
    int64_t Target = 0;         // sample number of the next sample frame Read returns
    int64_t ReadyStart = 0;     // sample number of Ready's first sample frame
    std::vector<int16_t> Ready; // decoded, converted and not yet handed out

    ~TImpl() { av_channel_layout_uninit(&InLayout); }
    void Open(const std::string& path);
    bool DecodeMore();
    void Resample(const AVFrame* frame);
    void SetupResampler(const AVFrame& frame);
    int64_t SampleOfPts(int64_t pts) const {
        return av_rescale_q(pts, Stream->time_base, AVRational{1, Rate});
    }
};

void TAudioDecoder::TImpl::Open(const std::string& path) {
    TStreamInput::Open(path, FirstAudioStream, "Audio stream is not found", 1);
}

void TAudioDecoder::TImpl::SetupResampler(const AVFrame& frame) {
    AVChannelLayout in{};
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame.ch_layout.nb_channels == 0)
        av_channel_layout_default(&in, std::max(1, frame.ch_layout.nb_channels));
    else
        CheckDSResult(av_channel_layout_copy(&in, &frame.ch_layout));
    if (Resampler && InRate == frame.sample_rate && InFormat == frame.format &&
        av_channel_layout_compare(&in, &InLayout) == 0) {
        av_channel_layout_uninit(&in);
        return;
    }
    av_channel_layout_uninit(&InLayout);
    InLayout = in;
    InRate = frame.sample_rate;
    InFormat = frame.format;
    AVChannelLayout out{};
    av_channel_layout_default(&out, Channels);
    SwrContext* swr = nullptr;
    const int ret = swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, Rate, &InLayout,
                                        static_cast<AVSampleFormat>(InFormat), InRate, 0, nullptr);
    av_channel_layout_uninit(&out);
    Resampler.reset(swr);
    CheckDSResult(ret);
    CheckDSResult(swr_init(Resampler.get()));
}

// Converts one decoded frame (or, with null, what the resampler still holds) onto Ready.
void TAudioDecoder::TImpl::Resample(const AVFrame* frame) {
    if (!Resampler)
        return;
    const int inCount = frame ? frame->nb_samples : 0;
    const int room = swr_get_out_samples(Resampler.get(), inCount);
    if (room <= 0)
        return;
    const size_t old = Ready.size();
    Ready.resize(old + static_cast<size_t>(room) * Channels);
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(Ready.data() + old)};
    const int made =
        swr_convert(Resampler.get(), out, room,
                    frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, inCount);
    Ready.resize(old + static_cast<size_t>(std::max(made, 0)) * Channels);
    if (made < 0)
        CheckDSResult(made);
}

// Adds at least one decoded frame's samples to Ready; false at the end of the stream.
bool TAudioDecoder::TImpl::DecodeMore() {
    if (Drained)
        return false;
    for (;;) {
        const int ret = avcodec_receive_frame(Codec.get(), Frame.get());
        if (ret == AVERROR(EAGAIN)) {
            if (FlushSent) {
                Drained = true;
                Resample(nullptr);
                return !Ready.empty();
            }
            Feed();
            continue;
        }
        if (ret == AVERROR_EOF) {
            Drained = true;
            Resample(nullptr);
            return !Ready.empty();
        }
        if (ret == AVERROR_INVALIDDATA)
            continue;
        CheckDSResult(ret);
        break;
    }
    SetupResampler(*Frame);
    if (!Anchored) {
        // The first frame after a seek places the run of samples on the time line.
        const int64_t pts = Frame->best_effort_timestamp;
        ReadyStart = pts == AV_NOPTS_VALUE ? Target : SampleOfPts(pts);
        Anchored = true;
    }
    Resample(Frame.get());
    av_frame_unref(Frame.get());
    return true;
}

TAudioDecoder::TAudioDecoder(const std::string& path, int sampleRate, int channels)
    : Impl(new TImpl) {
    Impl->Rate = sampleRate;
    Impl->Channels = channels;
    Impl->Open(path);
}

TAudioDecoder::~TAudioDecoder() = default;

int TAudioDecoder::SampleRate() const {
    return Impl->Rate;
}
int TAudioDecoder::Channels() const {
    return Impl->Channels;
}

int64_t TAudioDecoder::Position() const {
    return av_rescale(Impl->Target, Units, Impl->Rate);
}

void TAudioDecoder::Seek(int64_t time) {
    TImpl& d = *Impl;
    const int64_t target = av_rescale(std::max<int64_t>(time, 0), d.Rate, Units);
    const int64_t from =
        av_rescale_q(std::max<int64_t>(time - RunIn, 0), AVRational{1, Units}, d.Stream->time_base);
    int ret = av_seek_frame(d.Format.get(), d.Stream->index, from, AVSEEK_FLAG_BACKWARD);
    if (ret < 0)
        ret = av_seek_frame(d.Format.get(), d.Stream->index, 0,
                            AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    if (ret < 0)
        CheckDSResult(ret);
    avcodec_flush_buffers(d.Codec.get());
    d.Resampler.reset();
    d.FlushSent = d.Drained = d.Anchored = false;
    d.Ready.clear();
    d.Target = target;
}

int TAudioDecoder::Read(std::vector<int16_t>& out, int maxFrames) {
    TImpl& d = *Impl;
    const int ch = d.Channels;
    for (;;) {
        if (d.Anchored && d.ReadyStart > d.Target) {
            // Before the stream's first sample (or a gap the seek could not reach): silence.
            const int64_t gap = std::min<int64_t>(d.ReadyStart - d.Target, maxFrames);
            out.insert(out.end(), static_cast<size_t>(gap * ch), int16_t(0));
            d.Target += gap;
            return static_cast<int>(gap);
        }
        const int64_t have = static_cast<int64_t>(d.Ready.size() / ch);
        const int64_t skip = d.Target - d.ReadyStart;
        if (d.Anchored && skip < have) {
            if (skip > 0) {
                d.Ready.erase(d.Ready.begin(), d.Ready.begin() + skip * ch);
                d.ReadyStart = d.Target;
            }
            const int64_t n = std::min<int64_t>(have - std::max<int64_t>(skip, 0), maxFrames);
            out.insert(out.end(), d.Ready.begin(), d.Ready.begin() + n * ch);
            d.Ready.erase(d.Ready.begin(), d.Ready.begin() + n * ch);
            d.ReadyStart += n;
            d.Target += n;
            return static_cast<int>(n);
        }
        if (d.Anchored && have > 0) {
            // All of Ready lies before the target: drop it.
            d.Ready.clear();
            d.ReadyStart += have;
        }
        if (!d.DecodeMore())
            return 0;
    }
}

} // namespace zarvex::media
