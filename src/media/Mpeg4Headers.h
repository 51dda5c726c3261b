// The few fields of MPEG-4 part 2 headers that decoding needs before the decoder has seen them.
#pragma once

#include "media/FFmpegPtr.h"

#include <cstdint>

namespace zarvex::media {

// The coding type of a packet's first picture (0 I, 1 P, 2 B, 3 S); -1 for none.
int VopType(const uint8_t* data, int size);

// Whether a packet holds more than one picture (a "packed" P and B-frame).
bool SeveralVops(const uint8_t* data, int size);

// Whether the video object layer header in the codec's extra data says "interlaced".
bool Mpeg4Interlaced(const AVCodecParameters& par);

} // namespace zarvex::media
