// The two output streams of a render: pictures at the group's rate and samples at its rate,
// each decoded from its source (black or silence where there is none) and written as chunks.
#pragma once

#include "avi_output/AVIWrite.h"
#include "media/AudioDecoder.h"
#include "media/Compressors.h"
#include "media/PictureConverter.h"
#include "media/RenderFormats.h"
#include "media/Timeline.h"
#include "media/VideoDecoder.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarvex::media {

class TVideoOutput {
public:
    // duration: seconds of the whole timeline; the group renders that many seconds of frames.
    TVideoOutput(const TTimelineGroup& group, double duration,
                 const std::optional<TCompressor>& compressor, int32_t streamId);
    const TAviStreamFormat& Format() const { return StreamFormat; }
    bool Done() const { return Next >= FrameCount; }
    int64_t Frames() const { return FrameCount; }
    int64_t Time() const; // end of what was written, 100-ns units
    void WriteNext(TAVIFileWriter& writer);
    void Finish(TAVIFileWriter& writer); // drains the encoder
    // Ends a stopped render without draining: what the encoder holds is dropped, except the first
    // picture of a stream that has none yet, so that readers can tell its format.
    void Abandon(TAVIFileWriter& writer);

private:
    void Compose(const TVideoPicture* picture);
    void BlackenOutside(const TRect& to);
    void WritePackets(TAVIFileWriter& writer);
    // Moves on to the source laid at time t, if one after the current one is.
    void FollowSources(double t);

    int Width, Height;
    AVRational Rate;
    int64_t FrameCount = 0, Next = 0;
    int32_t StreamId;
    std::vector<TTimelineSource> Sources; // one after another on the timeline
    size_t Current = 0;
    std::optional<TTimelineSource> Source; // the current one
    std::unique_ptr<TVideoDecoder> Decoder;
    std::string SourceStamp; // size and change time of the decoder's file when opened
    TPictureConverter Converter;
    TCodecContextPtr Encoder;
    TFramePtr Picture; // what goes out: the encoder's input, or a bottom-up view of Raw
    std::vector<uint8_t> Raw;
    TPacketPtr Packet = MakePacket();
    int64_t ShownFrame = -1; // source frame now in Picture
    int64_t Slots = 0;       // chunks written, empty ones included
    TAviStreamFormat StreamFormat;
};

class TAudioOutput {
public:
    TAudioOutput(const TTimelineGroup& group, double duration,
                 const std::optional<TCompressor>& compressor, int32_t streamId);
    const TAviStreamFormat& Format() const { return StreamFormat; }
    bool Done() const { return Fed >= Total; }
    int64_t Time() const;
    void WriteNext(TAVIFileWriter& writer);
    void Finish(TAVIFileWriter& writer);
    // Why the source's audio is not in the output; empty when it is.
    const std::string& SourceWarning() const { return Warning; }

private:
    void OpenSource(const TTimelineSource& source);
    void StartSource(size_t index);
    void Fill(int frames);
    void Encode(int frames, TAVIFileWriter& writer);
    void WritePackets(TAVIFileWriter& writer);

    int Rate, Channels;
    int64_t Total = 0, Fed = 0; // sample frames
    int32_t StreamId;
    int ChunkFrames = 0;
    std::vector<TTimelineSource> Sources;
    size_t Current = 0;
    int64_t SourceLeft = 0; // sample frames still due from the current source
    std::unique_ptr<TAudioDecoder> Decoder;
    TCodecContextPtr Encoder;
    TSwrPtr ToEncoder;
    TFramePtr Frame;
    TPacketPtr Packet = MakePacket();
    std::vector<int16_t> Samples;
    TAviStreamFormat StreamFormat;
    std::string Warning;
};

} // namespace zarvex::media
