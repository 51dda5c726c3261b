// JPEG files of 24-bit bitmaps through libjpeg.
#pragma once

#include "export/BitmapFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zarvex {

// The JPEG stream of the bitmap: RGB input, libjpeg's defaults, quality 1..100 with baseline
// tables, and the simple progression script when progressive. Raises EZarvexError with
// libjpeg's message on failure.
std::vector<uint8_t> JpegFileBytes(const TBitmap24& bitmap, int quality, bool progressive);
void SaveJpegFile(const TBitmap24& bitmap, const std::string& path, int quality, bool progressive);

} // namespace zarvex
