// Exact decoding of one video stream: the picture shown at a time, decoded from the key frame
// before it, and the following pictures in display order.
#pragma once

#include "media/FFmpegPtr.h"
#include "support/FrameClock.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zarvex::media {

// 100-nanosecond units per second, the unit of every media time.
inline constexpr int64_t TimeUnits = 10000000;
// What the viewer and frame export keep of the pictures decoded lately: a hundred frames of
// standard definition, some thirty of HD.
inline constexpr size_t RecentPictureBytes = size_t(64) << 20;
// and of decoders standing at different places.
inline constexpr int ViewerWalkers = 3;

// One decoded picture and where it sits on the stream's time line.
struct TVideoPicture {
    TFramePtr Frame;      // FFmpeg's decoded picture, in the decoder's pixel format
    int64_t Position = 0; // start of its display interval, 100-ns units from the stream start
    // Its slot: the picture a reference decoder shows as frame N from the start, B-frames or
    // not, in frames of the stream's nominal rate (empty "drop" chunks count; they repeat the
    // picture before them).
    int64_t FrameNumber = 0;
    // AVI: the chunk that carried it (with B-frames not its slot); -1 elsewhere or unknown.
    int64_t Packet = -1;
};

// A second reference to the picture, its frame data shared.
TVideoPicture ClonePicture(const TVideoPicture& picture);

// Index of the first video stream that is not a cover picture, -1 when there is none.
int FirstVideoStream(const AVFormatContext& format);
// The nominal frame rate: for AVI exactly the header's dwRate / dwScale, which is its time base.
AVRational NominalRate(const AVFormatContext& format, const AVStream& stream);
// A stream's length in 100-ns units (the file's when the stream does not say; 0 when unknown).
int64_t StreamDuration(const AVFormatContext& format, const AVStream& stream);

class TVideoDecoder {
public:
    // Opens the file and the decoder of its first video stream (the one the AVI reader calls
    // its video stream); threads = 0 means one per core. Raises EMediaError, or EZarvexError
    // "Video stream is not found" when the file has no video stream.
    explicit TVideoDecoder(const std::string& path, int threads = 0);
    TVideoDecoder(const TVideoDecoder&) = delete;
    TVideoDecoder& operator=(const TVideoDecoder&) = delete;
    ~TVideoDecoder();

    int Width() const;
    int Height() const;
    double FrameRate() const;                // frames per second of the stream header
    int64_t Duration() const;                // 100-ns units: the end of the last frame's interval
    int64_t FrameTime(int64_t frame) const;  // start of a frame's interval, 100-ns units
    int64_t TimeToFrame(int64_t time) const; // the frame whose interval holds the time
    const TFrameClock& Clock() const;

    // The picture shown at Time: the last frame starting at or before it (the first frame for
    // a time before it; the last frame for a time past the end). Decodes forward from where the
    // decoder stands when that is short, else seeks to the key frame that shows the frame (one
    // key frame earlier when the frame is a B-frame shown before its key frame's picture).
    // False only when the stream yields no picture at all.
    bool DecodeAt(int64_t time, TVideoPicture& picture);

    // The picture after the one returned last, in display order; false at the end.
    bool DecodeNext(TVideoPicture& picture);

    // Keeps up to this many bytes of the pictures decoded lately, so that going back to one
    // of them needs no decoding; off (0) by default, as sequential work gains nothing by it.
    void KeepRecent(size_t bytes);
    // Keeps up to this many decoders standing at different places, as far as memory allows
    // (one for HD), so that a jump back to about where one stands decodes on from there.
    void KeepWalkers(int most);

    // For the converters and the player's queue.
    const AVCodecContext* Codec() const;

    // Called for every picture the codec puts out, those a seek decodes on the way included, so
    // that a long job can report and stop between any two. A hook that raises leaves the decoder
    // fit only to be destroyed.
    std::function<void()> OnPicture;

    // Asked between pictures while DecodeAt walks to its frame: the frame of a newer request,
    // or -1. When the walk gets there without a seek, it goes on to that frame instead and
    // Target() names it.
    std::function<int64_t()> NewerFrame;
    // The frame the last DecodeAt sought in the end.
    int64_t Target() const;
    // Called as such a walk passes the frames asked for before, with the picture of each.
    std::function<void(const TVideoPicture&)> OnPassed;

private:
    struct TImpl;
    struct TCommon;
    std::unique_ptr<TImpl> MakeWalker();
    TImpl& Choose(int64_t target);
    bool Walk(TImpl& walker, int64_t target, TVideoPicture& picture);
    void Pass(const TVideoPicture& picture);

    std::unique_ptr<TCommon> Common;
    std::vector<std::unique_ptr<TImpl>> Walkers;
    // The first walker, which also answers for the stream: held apart, so that another thread
    // asking a frame's time never reads the vector while a new walker grows it.
    TImpl* First = nullptr;
    TImpl* Current = nullptr; // the one that handed out the last picture
};

} // namespace zarvex::media
