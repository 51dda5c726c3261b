// Frame boundaries of compressed audio inside one chunk, so cuts never split a frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zarvex {

// Length in bytes of the MPEG audio frame whose header starts at p, or 0 when p holds no valid
// header (11 sync bits, known version, layer, bit rate and sample rate; free format is unknown).
uint32_t MpegAudioFrameLength(const uint8_t* p, size_t available);

// Length in bytes of the AC-3 or E-AC-3 sync frame starting at p, or 0 when there is none.
uint32_t Ac3FrameLength(const uint8_t* p, size_t available);

enum class TAudioFraming { Mpeg, Ac3 };

// The offsets inside data at which frames start, found by following frame lengths from the
// first header that is confirmed by the next one (or by the end of the data). The offset just
// past the last frame is included when that frame ends inside the data. Empty when no frame
// header is found.
std::vector<uint32_t> FrameBoundaries(const uint8_t* data, uint32_t size, TAudioFraming framing);

} // namespace zarvex
