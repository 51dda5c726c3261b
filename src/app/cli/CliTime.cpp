#include "app/cli/CliTime.h"

#include "support/FrameClock.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace zarvex::cli {

namespace {

std::optional<double> ParseNumber(const std::string& text, bool allowFraction) {
    if (text.empty())
        return std::nullopt;
    bool point = false;
    for (char c : text) {
        if (c == '.' && allowFraction && !point)
            point = true;
        else if (c < '0' || c > '9')
            return std::nullopt;
    }
    return std::strtod(text.c_str(), nullptr);
}

} // namespace

std::optional<double> ParseTime(const std::string& text) {
    // Plain seconds may carry an exponent: 1e12, 2.5E3.
    if (const size_t e = text.find_first_of("eE"); e != std::string::npos) {
        const auto mantissa = ParseNumber(text.substr(0, e), true);
        const std::string exponent = text.substr(
            e + 1 + (text.compare(e + 1, 1, "-") == 0 || text.compare(e + 1, 1, "+") == 0));
        if (!mantissa || !ParseNumber(exponent, false))
            return std::nullopt;
        const double seconds = std::strtod(text.c_str(), nullptr);
        return std::isfinite(seconds) ? seconds : std::numeric_limits<double>::max();
    }
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t colon; (colon = text.find(':', start)) != std::string::npos; start = colon + 1)
        fields.push_back(text.substr(start, colon - start));
    fields.push_back(text.substr(start));
    if (fields.size() > 3)
        return std::nullopt;
    double seconds = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const bool last = i + 1 == fields.size();
        auto value = ParseNumber(fields[i], last);
        if (!value || (fields.size() > 1 && i > 0 && *value >= 60))
            return std::nullopt;
        seconds = seconds * 60 + *value;
    }
    return seconds;
}

std::optional<int64_t> ParseCount(const std::string& text) {
    if (!ParseNumber(text, false))
        return std::nullopt;
    // However many digits: beyond the largest number it is that number, which is past any end.
    int64_t value = 0;
    for (char c : text) {
        if (value > (INT64_MAX - (c - '0')) / 10)
            return INT64_MAX;
        value = value * 10 + (c - '0');
    }
    return value;
}

int64_t FrameOfTime(double seconds, uint32_t rate, uint32_t scale) {
    return TFrameClock(rate, scale).TypedFrame(seconds);
}

} // namespace zarvex::cli
