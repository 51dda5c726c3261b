// Pictures of the overview kept as JPEG, a twentieth of their pixels' size, so that a recording
// with a key frame every few frames still fits in memory and in its cache file.
#pragma once

#include "media/OverviewSource.h"

#include <cstdint>
#include <vector>

namespace zarvex::media {

// Empty when libjpeg fails.
std::vector<uint8_t> PackThumbnail(const TThumbnail& picture);
// Fills Width, Height and Pixels; false for bytes that are no JPEG picture of a sane size.
bool UnpackThumbnail(const uint8_t* data, size_t size, TThumbnail& picture);

} // namespace zarvex::media
