#include "media/RenderOutputs.h"

#include "export/DSErrors.h"
#include "media/EncoderSetup.h"
#include "media/FFmpegLog.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace zarvex::media {

namespace {

// Uncompressed and byte-counted audio goes out in half-second chunks, interleaved with video.
constexpr int ChunksPerSecond = 2;

} // namespace

TAudioOutput::TAudioOutput(const TTimelineGroup& group, double duration,
                           const std::optional<TCompressor>& compressor, int32_t streamId)
    : Rate(group.MediaType.SamplesPerSec), Channels(group.MediaType.Channels), StreamId(streamId) {
    Total = std::llround(duration * Rate);
    ChunkFrames = Rate / ChunksPerSecond;
    Sources = group.Track.Sources;
    if (!Sources.empty())
        StartSource(0);
    if (compressor) {
        Encoder =
            OpenAudioEncoder(CompressorCodec(*compressor), compressor->Options, Rate, Channels);
        const bool variable = Encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE;
        if (Encoder->frame_size > 0 && !variable)
            ChunkFrames = Encoder->frame_size;
        else if (!ByteCountedAudio(*Encoder))
            ChunkFrames = 1152;
        SwrContext* swr = nullptr;
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, Channels);
        const int ret = swr_alloc_set_opts2(&swr, &Encoder->ch_layout, Encoder->sample_fmt, Rate,
                                            &layout, AV_SAMPLE_FMT_S16, Rate, 0, nullptr);
        ToEncoder.reset(swr);
        CheckDSResult(ret);
        CheckDSResult(swr_init(ToEncoder.get()));
        Frame = MakeFrame();
    }
    StreamFormat = AudioStreamFormat(Rate, Channels, Encoder.get());
}

// Audio that cannot be decoded here is treated as no audio: the track holds silence, and the
// caller hears why.
void TAudioOutput::OpenSource(const TTimelineSource& source) {
    try {
        Decoder = std::make_unique<TAudioDecoder>(source.MediaName, Rate, Channels);
        Decoder->Seek(std::llround(source.MediaStart * TimeUnits));
    } catch (const EZarvexError& e) {
        Decoder.reset();
        Warning = std::string("The audio of the source cannot be decoded (") + e.what() +
                  "); the output holds silence in its place.";
    }
}

// Each source gives the samples of its span on the timeline, the last one up to the end.
void TAudioOutput::StartSource(size_t index) {
    Current = index;
    const TTimelineSource& source = Sources[index];
    OpenSource(source);
    SourceLeft = index + 1 < Sources.size()
                     ? std::llround(source.Stop * Rate) - std::llround(source.Start * Rate)
                     : INT64_MAX;
}

int64_t TAudioOutput::Time() const {
    return av_rescale(Fed, TimeUnits, Rate);
}

// The next `frames` sample frames into Samples: the source's, then silence.
void TAudioOutput::Fill(int frames) {
    Samples.clear();
    const size_t want = size_t(frames) * Channels;
    while (Samples.size() < want && !Sources.empty()) {
        if (SourceLeft == 0 && Current + 1 < Sources.size()) {
            StartSource(Current + 1);
            continue;
        }
        const auto left =
            int(std::min<int64_t>(int64_t(want - Samples.size()) / Channels, SourceLeft));
        const size_t before = Samples.size();
        if (left == 0 || !Decoder || Decoder->Read(Samples, left) == 0) {
            if (Current + 1 >= Sources.size())
                break;                                           // the rest is silence
            Samples.resize(before + size_t(left) * Channels, 0); // a source shorter than its span
        }
        SourceLeft -= int64_t(Samples.size() - before) / Channels;
    }
    Samples.resize(want, 0);
}

void TAudioOutput::WriteNext(TAVIFileWriter& writer) {
    const int frames = int(std::min<int64_t>(ChunkFrames, Total - Fed));
    Fill(frames);
    Fed += frames;
    if (!Encoder) {
        writer.WriteChunk(StreamId, reinterpret_cast<const uint8_t*>(Samples.data()), true,
                          int32_t(Samples.size() * 2));
        return;
    }
    Encode(frames, writer);
}

void TAudioOutput::Encode(int frames, TAVIFileWriter& writer) {
    // Encoders with a fixed frame size take a short last frame only when they say so.
    const bool small = Encoder->codec->capabilities &
                       (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    int count = frames;
    if (Encoder->frame_size > 0 && !small && count < Encoder->frame_size) {
        count = Encoder->frame_size;
        Samples.resize(size_t(count) * Channels, 0);
    }
    av_frame_unref(Frame.get());
    Frame->nb_samples = count;
    Frame->format = Encoder->sample_fmt;
    Frame->sample_rate = Rate;
    CheckDSResult(av_channel_layout_copy(&Frame->ch_layout, &Encoder->ch_layout));
    CheckDSResult(av_frame_get_buffer(Frame.get(), 0));
    const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(Samples.data())};
    const int made = swr_convert(ToEncoder.get(), Frame->extended_data, count, in, count);
    if (made < 0)
        CheckDSResult(made);
    Frame->pts = Fed - frames;
    TLogCapture log;
    CheckEncoderResult(*Encoder, avcodec_send_frame(Encoder.get(), Frame.get()), log);
    WritePackets(writer);
}

void TAudioOutput::WritePackets(TAVIFileWriter& writer) {
    ReceivePackets(*Encoder, *Packet,
                   [&](const AVPacket& p) { writer.WriteChunk(StreamId, p.data, true, p.size); });
}

void TAudioOutput::Finish(TAVIFileWriter& writer) {
    if (!Encoder)
        return;
    TLogCapture log;
    CheckEncoderResult(*Encoder, avcodec_send_frame(Encoder.get(), nullptr), log);
    WritePackets(writer);
}

} // namespace zarvex::media
