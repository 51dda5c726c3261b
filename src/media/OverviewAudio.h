// Reads runs of an audio stream's chunks into peaks: PCM straight from the bytes, anything else
// through its decoder.
#pragma once

#include "media/FFmpegPtr.h"
#include "media/OverviewPeaks.h"

namespace zarvex {
class TAVIStream;
}

namespace zarvex::media {

// How a PCM stream's samples are laid out; Bits 0 when the stream is not PCM.
struct TPcmLayout {
    int Bits = 0;
    bool Float = false;
    int Channels = 1;
    int BlockAlign = 0;
    int Rate = 0;
};
TPcmLayout PcmLayoutOf(const TAVIStream& audio);

class TPeakReader {
public:
    explicit TPeakReader(const TAVIStream& audio);
    // False when the stream can be neither read as PCM nor decoded.
    bool IsOpen() const { return Pcm.Bits > 0 || bool(Codec); }
    int SampleRate() const { return Rate; }

    // The peaks of chunks First..Last-1.
    TPeakSpan Read(int64_t first, int64_t last);

private:
    void ReadPcm(int64_t entry, TPeakSpan& span);
    void Decode(int64_t entry, bool keep, TPeakSpan& span);
    int64_t StartFrame(int64_t entry) const;

    const TAVIStream& Audio;
    TPcmLayout Pcm;
    int Rate = 0;
    TCodecContextPtr Codec;
    TFramePtr Frame = MakeFrame();
    TPacketPtr Packet = MakePacket();
    std::vector<uint8_t> Buffer; // chunks are far apart: read each alone, no mapping
    std::vector<int32_t> Wide;   // 24-bit samples widened
};

} // namespace zarvex::media
