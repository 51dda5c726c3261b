// The start-code bitstreams whose key frames need parsing: MPEG-1/2, MPEG-4 Part 2 and H.264.
#pragma once

#include "avi_input/KeyFrameProbe.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zarvex {

// Position just after the next 00 00 01 at or after from; size when there is none.
size_t AfterStartCode(const uint8_t* data, size_t size, size_t from);

enum class TPictureType { None, I, P, B, Other };

// The type of the chunk's first coded picture (MPEG-4: VOP; H.264: the first slice's, with
// idr set for an IDR picture); None when it holds none that could be read.
TPictureType Mpeg4PictureType(const uint8_t* data, size_t size, TKeyState& state);
TPictureType H264PictureType(const uint8_t* data, size_t size, TKeyState& state, bool& idr);

bool Mpeg12IsKey(const uint8_t* data, size_t size);
bool Mpeg4IsKey(const uint8_t* data, size_t size, TKeyState& state);
bool H264IsKey(const uint8_t* data, size_t size, TKeyState& state);

// The unescaped payload of a NAL unit (00 00 03 loses its 03), at most limit bytes of it.
const std::vector<uint8_t>& Unescape(const uint8_t* nal, size_t size, size_t limit,
                                     std::vector<uint8_t>& out);

} // namespace zarvex
