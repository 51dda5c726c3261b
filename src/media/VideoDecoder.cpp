#include "media/VideoDecoder.h"

#include "export/DSErrors.h"
#include "media/StreamInput.h"

#include <algorithm>
#include <new>
#include <string_view>
#include <thread>

namespace zarvex::media {

int FirstVideoStream(const AVFormatContext& format) {
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream& s = *format.streams[i];
        if (s.codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(s.disposition & AV_DISPOSITION_ATTACHED_PIC))
            return static_cast<int>(i);
    }
    return -1;
}

// The nominal rate: for AVI exactly the header's dwRate / dwScale, which is its time base.
AVRational NominalRate(const AVFormatContext& format, const AVStream& stream) {
    if (std::string_view(format.iformat->name) == "avi")
        return av_inv_q(stream.time_base);
    if (stream.avg_frame_rate.num > 0 && stream.avg_frame_rate.den > 0)
        return stream.avg_frame_rate;
    if (stream.r_frame_rate.num > 0 && stream.r_frame_rate.den > 0)
        return stream.r_frame_rate;
    return AVRational{25, 1};
}

int64_t StreamDuration(const AVFormatContext& format, const AVStream& s) {
    if (s.duration != AV_NOPTS_VALUE && s.duration > 0)
        return av_rescale_q(s.duration, s.time_base, AVRational{1, TimeUnits});
    if (format.duration > 0)
        return av_rescale(format.duration, TimeUnits, AV_TIME_BASE);
    return 0;
}

struct TVideoDecoder::TImpl : TStreamInput {
    AVRational Rate{25, 1};
    int64_t StartPts = 0;
    int64_t LastPts = AV_NOPTS_VALUE;  // of the frame decoded last, for frames without a stamp
    int64_t CountPts = AV_NOPTS_VALUE; // display stamp of the next frame, counted from the key
    TVideoPicture Pending;             // decoded ahead and not yet handed out
    TVideoPicture Last;                // a second reference to the picture handed out last

    void Open(const std::string& path, int threads);
    bool Receive(TVideoPicture& picture);
    void Seek(int64_t frame);
    int64_t FramePts(int64_t frame) const {
        return StartPts + av_rescale_q(frame, av_inv_q(Rate), Stream->time_base);
    }
};

void TVideoDecoder::TImpl::Open(const std::string& path, int threads) {
    // FFmpeg's own choice is a frame thread per core plus one; every frame thread holds one more
    // frame decoded past the one asked for, so exact seeks are quickest with one per core.
    if (threads <= 0)
        threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
    TStreamInput::Open(path, FirstVideoStream, "Video stream is not found", threads);
    Rate = NominalRate(*Format, *Stream);
    if (Stream->start_time != AV_NOPTS_VALUE)
        StartPts = Stream->start_time;
    CountPts = StartPts;
}

bool TVideoDecoder::TImpl::Receive(TVideoPicture& picture) {
    if (Pending.Frame) {
        picture = std::move(Pending);
        Pending = {};
        return true;
    }
    TFramePtr frame = MakeFrame();
    for (;;) {
        const int ret = avcodec_receive_frame(Codec.get(), frame.get());
        if (ret == 0)
            break;
        if (ret == AVERROR_EOF)
            return false;
        if (ret == AVERROR(EAGAIN)) {
            if (!Feed())
                return false;
            continue;
        }
        if (ret != AVERROR_INVALIDDATA)
            CheckDSResult(ret);
    }
    int64_t pts = frame->best_effort_timestamp;
    // AVI stores no presentation stamps: with reordered frames (B-frames) the decode-order stamps
    // run ahead of the pictures by the reorder delay, so pictures are counted from the key frame.
    if (frame->pts == AV_NOPTS_VALUE && Codec->has_b_frames > 0 && CountPts != AV_NOPTS_VALUE)
        pts = CountPts;
    if (pts == AV_NOPTS_VALUE)
        pts = LastPts == AV_NOPTS_VALUE ? StartPts : FramePts(1) - StartPts + LastPts;
    LastPts = pts;
    CountPts = pts + FramePts(1) - StartPts;
    const int64_t rel = pts - StartPts;
    picture.Frame = std::move(frame);
    picture.Position = av_rescale_q(rel, Stream->time_base, AVRational{1, TimeUnits});
    picture.FrameNumber =
        av_rescale_q_rnd(rel, Stream->time_base, av_inv_q(Rate), AV_ROUND_NEAR_INF);
    return true;
}

void TVideoDecoder::TImpl::Seek(int64_t frame) {
    int ret = av_seek_frame(Format.get(), Stream->index, FramePts(frame), AVSEEK_FLAG_BACKWARD);
    const bool toKey = ret >= 0;
    if (ret < 0)
        ret = av_seek_frame(Format.get(), Stream->index, StartPts,
                            AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    if (ret < 0)
        CheckDSResult(ret);
    avcodec_flush_buffers(Codec.get());
    const int key = av_index_search_timestamp(Stream, FramePts(frame), AVSEEK_FLAG_BACKWARD);
    const AVIndexEntry* entry = key >= 0 ? avformat_index_get_entry(Stream, key) : nullptr;
    CountPts = entry && toKey ? entry->timestamp : StartPts;
    FlushSent = false;
    LastPts = AV_NOPTS_VALUE;
    Pending = {};
    Last = {};
}

TVideoDecoder::TVideoDecoder(const std::string& path, int threads) : Impl(new TImpl) {
    Impl->Open(path, threads);
}

TVideoDecoder::~TVideoDecoder() = default;

int TVideoDecoder::Width() const {
    return Impl->Codec->width;
}
int TVideoDecoder::Height() const {
    return Impl->Codec->height;
}
double TVideoDecoder::FrameRate() const {
    return av_q2d(Impl->Rate);
}
const AVCodecContext* TVideoDecoder::Codec() const {
    return Impl->Codec.get();
}

int64_t TVideoDecoder::Duration() const {
    return StreamDuration(*Impl->Format, *Impl->Stream);
}

int64_t TVideoDecoder::FrameTime(int64_t frame) const {
    return av_rescale(frame, TimeUnits * Impl->Rate.den, Impl->Rate.num);
}

int64_t TVideoDecoder::TimeToFrame(int64_t time) const {
    if (time <= 0)
        return 0;
    int64_t k = av_rescale_rnd(time, Impl->Rate.num, TimeUnits * Impl->Rate.den, AV_ROUND_DOWN);
    // FrameTime rounds to the nearest unit, so a frame may start up to half a unit early.
    while (FrameTime(k + 1) <= time)
        ++k;
    while (k > 0 && FrameTime(k) > time)
        --k;
    return k;
}

bool TVideoDecoder::DecodeAt(int64_t time, TVideoPicture& picture) {
    TImpl& d = *Impl;
    const int64_t target = TimeToFrame(time);
    bool seek = !d.Last.Frame || target < d.Last.FrameNumber;
    if (!seek) {
        // Decoding forward only pays while no key frame lies between here and the target.
        const int i = av_index_search_timestamp(d.Stream, d.FramePts(target), AVSEEK_FLAG_BACKWARD);
        const AVIndexEntry* key = i >= 0 ? avformat_index_get_entry(d.Stream, i) : nullptr;
        seek = key ? key->timestamp > d.LastPts : target - d.Last.FrameNumber > 300;
    }
    TVideoPicture best;
    if (seek)
        d.Seek(target);
    else
        best = std::move(d.Last);
    TVideoPicture next;
    while (d.Receive(next)) {
        if (best.Frame && next.FrameNumber > target) {
            d.Pending = std::move(next);
            break;
        }
        best = std::move(next);
        if (best.FrameNumber >= target)
            break;
    }
    if (!best.Frame)
        return false;
    d.Last.Frame.reset(av_frame_clone(best.Frame.get()));
    d.Last.Position = best.Position;
    d.Last.FrameNumber = best.FrameNumber;
    picture = std::move(best);
    return true;
}

bool TVideoDecoder::DecodeNext(TVideoPicture& picture) {
    TImpl& d = *Impl;
    TVideoPicture next;
    if (!d.Receive(next))
        return false;
    d.Last.Frame.reset(av_frame_clone(next.Frame.get()));
    d.Last.Position = next.Position;
    d.Last.FrameNumber = next.FrameNumber;
    picture = std::move(next);
    return true;
}

} // namespace zarvex::media
