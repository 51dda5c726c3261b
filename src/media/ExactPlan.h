// Plans the video of a frame-exact copy by decoding around its ends: which source chunks can be
// copied unchanged, and the re-encoded chunks of the pictures before and after them.
#pragma once

#include "splitting/VideoPlan.h"

#include <cstdint>
#include <functional>

namespace zarvex {
class TAVIFileReader;
}

namespace zarvex::media {

// Called with the share of the planning done, at every decoded picture; false cancels it. The
// plan then holds a shorter selection that is quickly written: the pictures of the head encoded
// so far, and the key frame after them once the head is complete.
using TPlanProgress = std::function<bool(double share)>;

// The plan for slots first..last (the frames a reference decoder shows there) of the reader's
// video. Raises EZarvexError or EMediaError when the pictures cannot be decoded or encoded.
TVideoPlan PlanExactVideo(const TAVIFileReader& reader, int32_t first, int32_t last,
                          const TPlanProgress& progress);

} // namespace zarvex::media
