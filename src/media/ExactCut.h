// Frame-exact stream copy: the frames a stream copy cannot start or end on are re-encoded with
// an encoder matched to the source, everything else is copied unchanged.
#pragma once

#include <cstdint>
#include <string>

namespace zarvex {
class TAVIFileReader;
class TAVIStream;
class TZarvex;
} // namespace zarvex

namespace zarvex::media {

// Empty when the video of the open file can be cut exactly; otherwise why not, in a sentence
// (the window shows it as the tool tip of its disabled check box).
std::string ExactCutRefusal(const TAVIFileReader& reader);

// Intra-only video: every frame is a key frame, so any cut is exact by plain copy.
bool CutsAtEveryFrame(const TAVIStream& video);

// The copier's message when it falls back to the key-frame copy.
std::string FallbackMessage(int64_t keyFrame);

// Of a frame-exact copy: frames re-encoded and frames copied unchanged.
struct TExactCounts {
    int64_t Recoded = 0;
    int64_t Copied = 0;
};

// Copies frames first..last (inclusive) of the copier's reader to its FileName, re-encoding only
// what a stream copy cannot start or end on; progress and cancel go through the copier's
// OnProgress. Falls back to the key-frame copy when the video cannot be cut exactly or the
// result fails its own check; returns "" for an exact cut, else the fallback's message with
// the reason after it. The output is completed in every case. Cancelled (copier.Cancelled()
// then), it returns "" with what was done: the pictures planned so far, the copy so far, or,
// during the check of the written file, the whole exact cut, unchecked. counts, when given,
// tells what the output holds.
std::string CopySegmentExact(TZarvex& copier, int32_t first, int32_t last,
                             TExactCounts* counts = nullptr);

} // namespace zarvex::media
