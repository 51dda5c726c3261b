// Decoders for the overview, opened straight from an AVI stream's format record, so that the
// chunks can be read through the reader's own index instead of a demuxer.
#pragma once

#include "media/FFmpegPtr.h"

namespace zarvex {
class TAVIStream;
}

namespace zarvex::media {

// The decoder of a video stream set up for small pictures: one thread, reduced resolution where
// the codec can (so the decoded width stays at least minWidth), no loop filter. Null when no
// decoder knows the format.
TCodecContextPtr OpenThumbnailDecoder(const TAVIStream& video, int minWidth);

// The decoder of an audio stream, one thread; null when the stream is PCM or no decoder knows it.
TCodecContextPtr OpenPeakDecoder(const TAVIStream& audio);

} // namespace zarvex::media
