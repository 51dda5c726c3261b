// The frame-exact copy checks its own output before it is accepted.
#pragma once

#include "media/FFmpegPtr.h"
#include "splitting/VideoPlan.h"

#include <string>

namespace zarvex {
class TAVIFileReader;
}

namespace zarvex::media {

// Least PSNR of a re-encoded picture against the source's, in dB.
inline constexpr double LeastPsnr = 35.0;

// Decodes the output's re-encoded runs and its first copied pictures and compares them with
// the source's pictures at first onwards: copied ones must be equal, re-encoded ones at least
// LeastPsnr, and every slot must have its picture. "" when all is well, else what is wrong.
std::string CheckExactOutput(const std::string& output, const TAVIFileReader& source, int32_t first,
                             const TVideoPlan& plan);

// PSNR of the 8-bit luma of two pictures of the same size; 0 when they cannot be compared,
// a large value when they are equal.
double LumaPsnr(const AVFrame& a, const AVFrame& b);

} // namespace zarvex::media
