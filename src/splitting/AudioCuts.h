// Which chunks of a stream belong to a time span, and how much of a byte-counted audio chunk
// at either end is cut away.
#pragma once

#include <cstdint>

namespace zarvex {

class TAVIStream;

// How a byte-counted stream may be cut.
enum class TCutRule {
    Samples,    // PCM: any whole sample frame (nBlockAlign)
    MpegFrames, // MPEG audio: at frame boundaries found in the chunk
    Ac3Frames,  // AC-3: likewise
    Blocks,     // other compressed formats with nBlockAlign > 1: whole blocks
    Whole,      // anything else: never cut
};

TCutRule CutRuleFor(const TAVIStream& stream);

// The length in seconds of one frame of audio cut at frame boundaries (MPEG audio, AC-3); 0 for
// the others.
double FrameSeconds(const TAVIStream& stream);

struct TRangeTest {
    bool InRange = false;
    uint32_t HeadCut = 0;  // bytes removed from the front
    uint32_t TailCut = 0;  // bytes removed from the end
    bool Touching = false; // in range, but the chunk ends at the start or begins at the end
};

// End time in seconds of an entry of a byte-counted stream: the start of the sample after it.
double ChunkEndTime(const TAVIStream& stream, int64_t entry);

// The span runs from S to E seconds, both inclusive; works on index values alone. Cuts are in
// whole samples; CutRuleFor decides whether and how they are moved afterwards. A chunk that only
// touches the span is in range, as it may complete a frame begun before the end.
TRangeTest TestRange(const TAVIStream& stream, int64_t entry, double S, double E);

// Moves the cuts of one chunk to places where its format may be cut. firstOfStream marks the
// first chunk written for the stream, whose leading fragment of a frame is dropped as well.
void AdjustCuts(TCutRule rule, uint32_t blockAlign, const uint8_t* data, uint32_t size,
                bool firstOfStream, TRangeTest& cuts);

} // namespace zarvex
