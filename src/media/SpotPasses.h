// What the passes of spot detection share: FFmpeg's filter chains, a reader of one stream on a
// thread of its own, and the refs-first pass over the black frames of MPEG-4.
#pragma once

#include "export/DSErrors.h"
#include "media/FFmpegPtr.h"
#include "media/MediaInput.h"
#include "media/SpotDetect.h"
#include "support/Errors.h"
#include "support/FrameClock.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace zarvex::media::spots {

inline constexpr double Units = 1e7; // of TFrameClock

// FFmpeg's calls that may return a count on success.
inline void Check(int code) {
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

inline const char* Meta(const AVFrame& frame, const char* key) {
    const AVDictionaryEntry* e = av_dict_get(frame.metadata, key, nullptr, 0);
    return e ? e->value : nullptr;
}

inline std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

inline int FirstStream(const AVFormatContext& format, AVMediaType type) {
    for (unsigned i = 0; i < format.nb_streams; ++i)
        if (format.streams[i]->codecpar->codec_type == type &&
            !(format.streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return int(i);
    return -1;
}

// What the workers of one pass share with the thread that reports progress.
struct TPassState {
    std::atomic<bool> Cancel{false};
};

// One reader of one stream of the file, with its own demuxer, so that each runs on a thread of
// its own.
class TStreamReader {
public:
    TStreamReader(const std::string& path, AVMediaType type) {
        AVFormatContext* raw = nullptr;
        Check(OpenMediaInput(&raw, path));
        Format.reset(raw);
        Check(avformat_find_stream_info(Format.get(), nullptr));
        Index = FirstStream(*Format, type);
        for (unsigned i = 0; i < Format->nb_streams; ++i)
            if (int(i) != Index)
                Format->streams[i]->discard = AVDISCARD_ALL;
        Size = std::max<int64_t>(avio_size(Format->pb), 1);
    }

    bool Found() const { return Index >= 0; }
    const AVFormatContext* Context() const { return Format.get(); }
    AVStream& Stream() const { return *Format->streams[Index]; }

    // The key frame at or before frame; false when the file cannot seek.
    bool SeekTo(int64_t frame) {
        return av_seek_frame(Format.get(), Index, frame, AVSEEK_FLAG_BACKWARD) >= 0;
    }

    // Hands take every non-empty packet of the stream until it returns false or the stream
    // ends; heeds a cancel between packets.
    template <class F> void Read(TPassState& state, F&& take) {
        for (;;) {
            if (state.Cancel)
                throw EZarvexError("Cancelled.");
            const int ret = av_read_frame(Format.get(), Packet.get());
            if (ret < 0) {
                if (ret != AVERROR_EOF && ret != AVERROR(EIO))
                    Check(ret);
                return;
            }
            if (Packet->pos > 0)
                Done = double(Packet->pos) / double(Size);
            // Empty chunks are dropped frames or padding; an empty packet would end a stream.
            const bool go = Packet->stream_index != Index || take(*Packet);
            av_packet_unref(Packet.get());
            if (!go)
                return;
        }
    }

    std::atomic<double> Done{0}; // of the file, by the position read

private:
    TFormatPtr Format;
    int Index = -1;
    int64_t Size = 1;
    TPacketPtr Packet = MakePacket();
};

struct TPicture {
    int64_t Chunk = 0;
    bool Ref = true;
    bool Black = false;
};

// Black frames of an MPEG-4 stream without decoding the B-frames that cannot matter: they are
// no one's reference, and a black run long enough to count holds a reference frame. Those
// between two references of which one is black are decoded, so that the run's edges are
// exact. The decoder hands out each picture as it is decoded (low delay), so that a reference
// is judged before the B-frames shown before it arrive.
class TBlackRefsPass {
public:
    TBlackRefsPass(const std::string& path, const TDetectOptions& o, int64_t from, int64_t stop)
        : Reader(path, AVMEDIA_TYPE_VIDEO), Options(o), From(from), Stop(stop) {}

    void Run(TPassState& state);

    // Opens the filter on the decoder's picture size, known once it is open.
    void OpenChain(int width, int height, int format);

    TStreamReader Reader;
    TFilterChain Chain;
    const TDetectOptions& Options;
    int64_t From, Stop;
    std::vector<TPicture> Pictures;
    int64_t First = -1, LastChunk = -1;
    bool HasB = false, Packed = false, Misplaced = false;
};

// The black runs of the pictures of a refs-first pass, its parts in order, on the frame slots.
std::vector<TSpot> BlackOfPictures(const std::vector<TBlackRefsPass*>& parts, int64_t frames,
                                   const TFrameClock& clock, double minSeconds);

} // namespace zarvex::media::spots
