#include "splitting/AudioCuts.h"

#include "avi_input/AVIStream.h"
#include "splitting/AudioFrames.h"
#include "support/Endian.h"

#include <cmath>
#include <cstring>

namespace zarvex {

namespace {

// Far below one sample at any rate, far above the rounding of times in seconds.
constexpr double TimeSlack = 1e-9;

// Nearest integer, a half going to the even neighbour.
double RoundEven(double x) {
    return std::nearbyint(x);
}

bool IsExtensiblePcm(const std::vector<uint8_t>& format) {
    // WAVEFORMATEXTENSIBLE: the sub-format GUID at 24 is KSDATAFORMAT_SUBTYPE_PCM or _IEEE_FLOAT.
    static const uint8_t tail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                     0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    if (format.size() < 40)
        return false;
    const uint32_t data1 = GetU32(format.data() + 24);
    return (data1 == 1 || data1 == 3) && std::memcmp(format.data() + 28, tail, 12) == 0;
}

// The candidate nearest to want; ties keep the smaller one.
uint32_t Nearest(const std::vector<uint32_t>& candidates, uint32_t want) {
    uint32_t best = candidates.front();
    for (uint32_t c : candidates) {
        const uint32_t d = c > want ? c - want : want - c;
        const uint32_t bd = best > want ? best - want : want - best;
        if (d < bd || (d == bd && c < best))
            best = c;
    }
    return best;
}

// A chunk that cannot be cut goes whole, unless it only touches the span: copying it would
// shift the sound by a chunk.
void KeepWhole(uint32_t size, TRangeTest& cuts) {
    cuts.HeadCut = cuts.Touching ? size : 0;
    cuts.TailCut = 0;
}

uint32_t RoundToBlocks(uint32_t cut, uint32_t block, uint32_t size) {
    const uint32_t rounded = uint32_t(RoundEven(double(cut) / block) * block);
    return rounded > size ? size : rounded;
}

} // namespace

TCutRule CutRuleFor(const TAVIStream& stream) {
    const std::vector<uint8_t>& f = stream.Format;
    if (f.size() < 2)
        return TCutRule::Whole;
    switch (GetU16(f.data())) {
    case 1: // PCM
    case 3: // IEEE float
    case 6: // A-law
    case 7: // mu-law
        return TCutRule::Samples;
    case 0xFFFE:
        if (IsExtensiblePcm(f))
            return TCutRule::Samples;
        break;
    case 0x50:
    case 0x55:
        return TCutRule::MpegFrames;
    case 0x2000:
        return TCutRule::Ac3Frames;
    default:
        break;
    }
    return f.size() >= 14 && GetU16(f.data() + 12) > 1 ? TCutRule::Blocks : TCutRule::Whole;
}

double FrameSeconds(const TAVIStream& stream) {
    const std::vector<uint8_t>& f = stream.Format;
    const double rate = f.size() >= 8 ? double(GetU32(f.data() + 4)) : 0.0;
    if (rate <= 0)
        return 0.0;
    switch (CutRuleFor(stream)) {
    case TCutRule::MpegFrames:
        return (rate >= 32000 || GetU16(f.data()) == 0x50 ? 1152.0 : 576.0) / rate;
    case TCutRule::Ac3Frames:
        return 1536.0 / rate;
    default:
        return 0.0;
    }
}

double ChunkEndTime(const TAVIStream& stream, int64_t entry) {
    const AVIStreamHeader& h = stream.Header;
    const double bytes = double(stream.EntryBytesBefore(entry)) + stream.EntrySize(entry);
    return bytes / h.dwSampleSize / h.dwRate * h.dwScale;
}

TRangeTest TestRange(const TAVIStream& stream, int64_t entry, double S, double E) {
    TRangeTest r;
    const AVIStreamHeader& h = stream.Header;
    if (!stream.CountsBytes()) {
        const double t = stream.EntryTime(entry);
        r.InRange = S <= t && t <= E;
        return r;
    }
    const double ss = h.dwSampleSize;
    const double B = double(stream.EntryBytesBefore(entry));
    const double t0 = B / ss / h.dwRate * h.dwScale;
    const double t1 = ChunkEndTime(stream, entry);
    if (S <= t0 && t1 <= E) {
        r.InRange = true;
        return r;
    }
    r.InRange = S <= t1 && t0 <= E;
    // Such a chunk holds none of the span. Times of the video and the audio are worked out
    // differently, so "touching" allows for rounding.
    r.Touching = t1 <= S + TimeSlack || t0 >= E - TimeSlack;
    if (!r.InRange)
        return r;
    if (t0 < S)
        r.HeadCut = uint32_t(ss * RoundEven((S - t0) * h.dwRate / h.dwScale));
    if (t1 > E)
        r.TailCut = uint32_t(ss * RoundEven((t1 - E) * h.dwRate / h.dwScale));
    return r;
}

void AdjustCuts(TCutRule rule, uint32_t blockAlign, const uint8_t* data, uint32_t size,
                bool firstOfStream, TRangeTest& cuts) {
    switch (rule) {
    case TCutRule::Samples:
        // Byte-counted PCM may declare one byte a sample; a cut inside a sample frame would
        // shift every channel after it.
        if (blockAlign > 1) {
            cuts.HeadCut = RoundToBlocks(cuts.HeadCut, blockAlign, size);
            cuts.TailCut = RoundToBlocks(cuts.TailCut, blockAlign, size);
        }
        return;
    case TCutRule::Whole:
        KeepWhole(size, cuts);
        return;
    case TCutRule::Blocks:
        cuts.HeadCut = RoundToBlocks(cuts.HeadCut, blockAlign, size);
        cuts.TailCut = RoundToBlocks(cuts.TailCut, blockAlign, size);
        return;
    case TCutRule::MpegFrames:
    case TCutRule::Ac3Frames:
        break;
    }
    const TAudioFraming framing =
        rule == TCutRule::MpegFrames ? TAudioFraming::Mpeg : TAudioFraming::Ac3;
    std::vector<uint32_t> starts = FrameBoundaries(data, size, framing);
    if (starts.empty()) {
        KeepWhole(size, cuts); // no frame to be found: never cut blindly
        return;
    }
    if (cuts.HeadCut > 0 || firstOfStream) {
        // Only frame starts qualify, so a stream's first chunk also drops the tail of a frame
        // whose head is not copied.
        std::vector<uint32_t> heads = starts;
        heads.push_back(size);
        cuts.HeadCut = Nearest(heads, cuts.HeadCut);
    }
    if (cuts.TailCut > 0) {
        // Every frame start ends the frame before it, the first one included: bytes ahead of it
        // complete a frame begun in the previous chunk, which was copied.
        const uint32_t want = cuts.TailCut >= size ? 0 : size - cuts.TailCut;
        cuts.TailCut = size - Nearest(starts, want);
    }
}

} // namespace zarvex
