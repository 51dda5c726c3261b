// Times of the entries of untimed streams. XSUB subtitle packets begin with their own display
// span, "[hh:mm:ss.mmm-hh:mm:ss.mmm]", in milliseconds of the file's timeline.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zarvex {

inline constexpr size_t XsubTimesSize = 27;

// False when p does not start with such a span.
bool ParseXsubTimes(const uint8_t* p, size_t size, int64_t& startMs, int64_t& endMs);
// Overwrites the span at p (which ParseXsubTimes accepted); times below 0 become 0.
void WriteXsubTimes(uint8_t* p, int64_t startMs, int64_t endMs);

} // namespace zarvex
