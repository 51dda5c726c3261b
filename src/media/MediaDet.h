// The media detector: what a file's streams are, and the decoded picture at a time as a bitmap.
#pragma once

#include "support/FrameClock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zarvex::media {

enum class TMajorType { Video, Audio, Other };

// The parts of a stream's media type that callers look at.
struct TStreamMediaType {
    TMajorType MajorType = TMajorType::Other;
    bool VideoInfo = false; // a picture format with a size (the VIDEOINFOHEADER case)
    int32_t Width = 0;
    int32_t Height = 0;
    uint32_t Compression = 0; // FourCC of the stream's codec tag, 0 when none
};

// Calls return a result code like the platform's: 0 for success, FFmpeg's negative code
// otherwise, so that callers decide what is fatal (pass it to CheckDSResult) and what is not.
class TMediaDet {
public:
    TMediaDet();
    ~TMediaDet();
    TMediaDet(const TMediaDet&) = delete;
    TMediaDet& operator=(const TMediaDet&) = delete;

    int SetFilename(const std::string& path);
    int GetOutputStreams(int& count) const;
    int SetCurrentStream(int index);
    int GetStreamType(TMajorType& type) const;
    int GetStreamMediaType(TStreamMediaType& type) const;
    int GetStreamLength(double& seconds) const;
    int GetFrameRate(double& rate) const;
    // The current (video) stream's frame times, from its exact rate.
    int GetFrameClock(TFrameClock& clock) const;
    // With buffer null: size := bytes needed (40-byte BITMAPINFOHEADER + padded bottom-up BGR
    // rows of width x height). With a buffer (size = its size, at least that): fills it with the
    // picture shown at `seconds` in the current (video) stream, scaled to width x height. A time at
    // or past the stream's length, or before its start, fails both calls (AVERROR_EOF), so that a
    // run of frames knows where the stream ends.
    int GetBitmapBits(double seconds, int64_t& size, uint8_t* buffer, int width, int height);

    // Called for every picture GetBitmapBits decodes, as TVideoDecoder::OnPicture; what it
    // raises passes through GetBitmapBits, and only the destructor may follow.
    std::function<void()> OnPicture;

private:
    struct TImpl;
    std::unique_ptr<TImpl> Impl;
};

} // namespace zarvex::media
