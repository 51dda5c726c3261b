#include "media/OverviewAudio.h"

#include "avi_input/AVIStream.h"
#include "media/OverviewCodec.h"
#include "support/Endian.h"

#include <algorithm>
#include <cmath>

namespace zarvex::media {

namespace {

constexpr uint16_t TagPcm = 1, TagFloat = 3, TagExtensible = 0xFFFE;
// Compressed audio (MP3's bit reservoir) needs a few packets before the first one kept.
constexpr int64_t RunIn = 3;

// The peaks of Frames sample frames of Stride samples each at frame position Pos, each stretch's
// lowest and highest sample scaled by Scale.
template <class T, class TScale>
void Fold(const T* s, int64_t frames, int stride, int64_t pos, TPeakSpan& span, TScale scale) {
    while (frames > 0) {
        const int64_t bucket = pos / PeakBucketFrames;
        const int64_t run = std::min(frames, (bucket + 1) * PeakBucketFrames - pos);
        const T* end = s + run * stride;
        T lo = *s, hi = *s;
        for (const T* p = s + 1; p < end; ++p) {
            lo = std::min(lo, *p);
            hi = std::max(hi, *p);
        }
        span.Put(bucket, scale(lo), scale(hi));
        s = end;
        pos += run;
        frames -= run;
    }
}

int FromFloat(double v) {
    return std::isnan(v) ? 0 : int(std::lround(std::clamp(v, -1.0, 1.0) * 127));
}
int FromU8(uint8_t v) {
    return (int(v) - 128) * 127 / 128;
}
int FromS16(int16_t v) {
    return int(v) * 127 / 32768;
}
int FromS32(int32_t v) {
    return int(int64_t(v) * 127 / 2147483648LL);
}
int FromFlt(float v) {
    return FromFloat(v);
}
int FromDbl(double v) {
    return FromFloat(v);
}

// One plane or interleaved buffer of a decoded frame.
void FoldSamples(AVSampleFormat format, const uint8_t* data, int64_t frames, int stride,
                 int64_t pos, TPeakSpan& span) {
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
        return Fold(data, frames, stride, pos, span, FromU8);
    case AV_SAMPLE_FMT_S16:
        return Fold(reinterpret_cast<const int16_t*>(data), frames, stride, pos, span, FromS16);
    case AV_SAMPLE_FMT_S32:
        return Fold(reinterpret_cast<const int32_t*>(data), frames, stride, pos, span, FromS32);
    case AV_SAMPLE_FMT_FLT:
        return Fold(reinterpret_cast<const float*>(data), frames, stride, pos, span, FromFlt);
    case AV_SAMPLE_FMT_DBL:
        return Fold(reinterpret_cast<const double*>(data), frames, stride, pos, span, FromDbl);
    default:
        return;
    }
}

} // namespace

TPcmLayout PcmLayoutOf(const TAVIStream& audio) {
    TPcmLayout layout;
    if (audio.Format.size() < 16)
        return layout;
    const uint8_t* f = audio.Format.data();
    uint16_t tag = GetU16(f);
    if (tag == TagExtensible && audio.Format.size() >= 26)
        tag = GetU16(f + 24);
    const int bits = GetU16(f + 14);
    const bool pcm = (tag == TagPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32)) ||
                     (tag == TagFloat && (bits == 32 || bits == 64));
    if (!pcm)
        return layout;
    layout.Channels = std::max<int>(1, GetU16(f + 2));
    layout.Rate = int(GetU32(f + 4));
    layout.Bits = bits;
    layout.Float = tag == TagFloat;
    layout.BlockAlign = std::max<int>(GetU16(f + 12), layout.Channels * bits / 8);
    return layout;
}

TPeakReader::TPeakReader(const TAVIStream& audio) : Audio(audio), Pcm(PcmLayoutOf(audio)) {
    if (Pcm.Bits == 0) {
        Codec = OpenPeakDecoder(audio);
        Rate = Codec ? Codec->sample_rate : 0;
    } else {
        Rate = Pcm.Rate;
    }
    if (Rate <= 0)
        Rate = 44100;
}

int64_t TPeakReader::StartFrame(int64_t entry) const {
    if (Pcm.Bits > 0)
        return Audio.EntryBytesBefore(entry) / Pcm.BlockAlign;
    return std::llround(std::max(Audio.EntryTime(entry), 0.0) * Rate);
}

TPeakSpan TPeakReader::Read(int64_t first, int64_t last) {
    TPeakSpan span;
    span.First = StartFrame(first) / PeakBucketFrames;
    if (Pcm.Bits > 0) {
        for (int64_t e = first; e < last; ++e)
            ReadPcm(e, span);
        return span;
    }
    if (!Codec)
        return span;
    for (int64_t e = std::max<int64_t>(first - RunIn, 0); e < last; ++e)
        Decode(e, e >= first, span);
    avcodec_flush_buffers(Codec.get());
    return span;
}

void TPeakReader::ReadPcm(int64_t entry, TPeakSpan& span) {
    const uint32_t size = Audio.EntrySize(entry);
    const int64_t frames = size / uint32_t(Pcm.BlockAlign);
    if (frames == 0 || size > (16u << 20) || Audio.ChunkSpan(entry) < 0)
        return;
    Buffer.resize(size);
    if (!Audio.ReadChunk(entry, Buffer.data()))
        return;
    const uint8_t* data = Buffer.data();
    const int64_t pos = StartFrame(entry);
    const int step = Pcm.BlockAlign / (Pcm.Bits / 8); // samples from one frame to the next
    switch (Pcm.Bits) {
    case 8:
        return Fold(data, frames, step, pos, span, FromU8);
    case 16:
        return Fold(reinterpret_cast<const int16_t*>(data), frames, step, pos, span, FromS16);
    case 24:
        Wide.resize(size_t(frames) * Pcm.Channels);
        for (size_t i = 0, n = 0; n < size_t(frames); ++n)
            for (int c = 0; c < Pcm.Channels; ++c, ++i) {
                const uint8_t* p = data + n * Pcm.BlockAlign + c * 3;
                Wide[i] =
                    int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24);
            }
        return Fold(Wide.data(), frames, Pcm.Channels, pos, span, FromS32);
    case 32:
        if (Pcm.Float)
            return Fold(reinterpret_cast<const float*>(data), frames, step, pos, span, FromFlt);
        return Fold(reinterpret_cast<const int32_t*>(data), frames, step, pos, span, FromS32);
    default:
        return Fold(reinterpret_cast<const double*>(data), frames, step, pos, span, FromDbl);
    }
}

void TPeakReader::Decode(int64_t entry, bool keep, TPeakSpan& span) {
    const uint32_t size = Audio.EntrySize(entry);
    if (size == 0 || size > (16u << 20) || Audio.ChunkSpan(entry) < 0)
        return;
    if (av_new_packet(Packet.get(), int(size)) < 0)
        return;
    if (!Audio.ReadChunk(entry, Packet->data)) {
        av_packet_unref(Packet.get());
        return;
    }
    const int sent = avcodec_send_packet(Codec.get(), Packet.get());
    av_packet_unref(Packet.get());
    if (sent < 0)
        return;
    // The samples a packet brings out belong to its own time.
    int64_t pos = StartFrame(entry);
    while (avcodec_receive_frame(Codec.get(), Frame.get()) >= 0) {
        const AVSampleFormat format = AVSampleFormat(Frame->format);
        const int channels = std::max(Frame->ch_layout.nb_channels, 1);
        const int64_t frames = Frame->nb_samples;
        if (keep && frames > 0) {
            if (av_sample_fmt_is_planar(format))
                for (int c = 0; c < channels; ++c)
                    FoldSamples(format, Frame->extended_data[c], frames, 1, pos, span);
            else
                FoldSamples(format, Frame->extended_data[0], frames, channels, pos, span);
        }
        pos += frames;
        av_frame_unref(Frame.get());
    }
}

} // namespace zarvex::media
