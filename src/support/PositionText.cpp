#include "support/PositionText.h"

#include <cstdio>

namespace zarvex {

const char* const TypedPositionHelp =
    "Type a time as seconds (83.5), m:ss.mmm (1:23.500) or h:mm:ss.mmm (0:01:23.500), or a frame "
    "number as #2087.";

namespace {

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool AllDigits(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Digits, with a fraction after one '.' or ',' when allowed; at least one digit. Read by hand:
// strtod would follow the desktop's locale and stop at the point.
std::optional<double> ParseField(std::string_view field, bool fraction) {
    const size_t point = fraction ? field.find_first_of(".,") : std::string_view::npos;
    const std::string_view whole = field.substr(0, point);
    const std::string_view part =
        point == std::string_view::npos ? std::string_view() : field.substr(point + 1);
    if (!(whole.empty() || AllDigits(whole)) || !(part.empty() || AllDigits(part)) ||
        whole.size() + part.size() == 0)
        return std::nullopt;
    double value = 0;
    for (char c : whole)
        value = value * 10 + (c - '0');
    // Digits past the fifteenth are far below a frame.
    int64_t digits = 0, scale = 1;
    for (size_t i = 0; i < part.size() && i < 15; ++i) {
        digits = digits * 10 + (part[i] - '0');
        scale *= 10;
    }
    return value + double(digits) / double(scale);
}

std::optional<double> ParseSeconds(std::string_view text) {
    double seconds = 0;
    int fields = 0;
    for (;;) {
        const size_t colon = text.find(':');
        const bool last = colon == std::string_view::npos;
        const auto value = ParseField(text.substr(0, colon), last);
        if (!value || ++fields > 3 || (fields > 1 && *value >= 60))
            return std::nullopt;
        seconds = seconds * 60 + *value;
        if (last)
            return seconds;
        text.remove_prefix(colon + 1);
    }
}

} // namespace

std::string FormatExactTime(int64_t time) {
    const int64_t ms = (time < 0 ? 0 : time + 5000) / 10000;
    char text[40];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", (long long)(ms / 3600000),
                  (long long)(ms / 60000 % 60), (long long)(ms / 1000 % 60),
                  (long long)(ms % 1000));
    return text;
}

std::optional<int64_t> ParseFrameNumber(std::string_view text) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == '#')
        text = Trimmed(text.substr(1));
    if (!AllDigits(text))
        return std::nullopt;
    int64_t frame = 0;
    for (char c : text) {
        if (frame > (INT64_MAX - (c - '0')) / 10)
            return INT64_MAX;
        frame = frame * 10 + (c - '0');
    }
    return frame;
}

std::optional<TTypedPosition> ParsePosition(std::string_view text) {
    text = Trimmed(text);
    TTypedPosition position;
    if (!text.empty() && text.front() == '#') {
        const auto frame = ParseFrameNumber(text);
        if (!frame)
            return std::nullopt;
        position.IsFrame = true;
        position.Frame = *frame;
        return position;
    }
    const auto seconds = ParseSeconds(text);
    if (!seconds)
        return std::nullopt;
    position.Seconds = *seconds;
    return position;
}

} // namespace zarvex
