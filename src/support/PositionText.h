// Positions as a person reads and types them: times to the millisecond and frame numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zarvex {

// h:mm:ss.mmm of a time in 100-ns units, to the nearest millisecond, so that the text typed
// back names the same frame (see TFrameClock::TypedFrame).
std::string FormatExactTime(int64_t time);

// What a typed position names: a frame number, or a time in seconds.
struct TTypedPosition {
    bool IsFrame = false;
    int64_t Frame = 0;
    double Seconds = 0;
};

// Seconds ("83.5"), m:ss ("1:23.5") or h:mm:ss ("0:01:23.500"), every field after the first
// below 60, the seconds with a fraction after '.' or ','; or a frame number after '#' ("#2087").
// Blanks around it do not count. Nothing for any other text.
std::optional<TTypedPosition> ParsePosition(std::string_view text);

// A frame number with or without its '#'; numbers too large for a frame give INT64_MAX.
std::optional<int64_t> ParseFrameNumber(std::string_view text);

// What ParsePosition takes, as a sentence for a message.
extern const char* const TypedPositionHelp;

} // namespace zarvex
