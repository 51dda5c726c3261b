// Video formats whose every frame stands alone, whatever key flags an index gives them.
#pragma once

#include <cstdint>

namespace zarvex {

// True for the compression codes of intra-only video (motion JPEG, DV, lossless and raw formats,
// ProRes, JPEG 2000, PNG...); upper and lower case alike. 0, 'DIB ', 'RGB ' and BI_BITFIELDS (3)
// are uncompressed pictures.
bool IsIntraOnlyCode(uint32_t code);

} // namespace zarvex
