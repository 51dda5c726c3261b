// The frame-exact copy checks its own output before it is accepted.
#pragma once

#include "media/FFmpegPtr.h"
#include "splitting/VideoPlan.h"

#include <functional>
#include <string>

namespace zarvex {
class TAVIFileReader;
class TAVIStream;
} // namespace zarvex

namespace zarvex::media {

struct TSlotWalker;

// Starts the walk at a clean start point (CleanStart, `back` key frames further back) and
// decodes on in file order up to slot `slot`: a seek straight to it can find an open group's
// or an intra refresh's pictures dropped or damaged.
void StartClean(TSlotWalker& walker, const TAVIStream& video, int64_t slot, int back = 0);

// Least PSNR of a re-encoded picture against the source's, in dB, that the matched encoders'
// settings are chosen for.
inline constexpr double LeastPsnr = 35.0;

// Decodes the output's re-encoded runs and its first copied pictures: every slot must have its
// picture, decoded without error, and the copied ones must be the source's pictures (those
// from frame first on). "" when all is well, else what is wrong. progress hears of every decoded
// picture with the share of the check done; when it returns false, TJobCancelled is raised.
std::string CheckExactOutput(const std::string& output, const TAVIFileReader& source, int32_t first,
                             const TVideoPlan& plan,
                             const std::function<bool(double share)>& progress = nullptr);

// PSNR of the 8-bit luma of two pictures of the same size; 0 when they cannot be compared,
// a large value when they are equal.
double LumaPsnr(const AVFrame& a, const AVFrame& b);

} // namespace zarvex::media
