// Times and frame numbers as the command line takes them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zarvex::cli {

// "12.5" or "1e3" (seconds) or "[hh:]mm:ss[.f]"; nothing for anything else or a negative time.
std::optional<double> ParseTime(const std::string& text);

// A whole number of at least 0 (INT64_MAX for any larger one); nothing for anything else.
std::optional<int64_t> ParseCount(const std::string& text);

// The frame shown at a typed time, for a stream of rate / scale frames per second (see
// TFrameClock::TypedFrame).
int64_t FrameOfTime(double seconds, uint32_t rate, uint32_t scale);

} // namespace zarvex::cli
