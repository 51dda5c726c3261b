// The start-code bitstreams whose key frames need parsing: MPEG-1/2, MPEG-4 Part 2 and H.264.
#pragma once

#include "avi_input/KeyFrameProbe.h"

#include <cstddef>
#include <cstdint>

namespace zarvex {

// Position just after the next 00 00 01 at or after from; size when there is none.
size_t AfterStartCode(const uint8_t* data, size_t size, size_t from);

bool Mpeg12IsKey(const uint8_t* data, size_t size);
bool Mpeg4IsKey(const uint8_t* data, size_t size, TKeyState& state);
bool H264IsKey(const uint8_t* data, size_t size, TKeyState& state);

} // namespace zarvex
