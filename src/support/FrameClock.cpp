#include "support/FrameClock.h"

#include <algorithm>
#include <cmath>

namespace zarvex {

namespace {

constexpr int64_t UnitsPerSecond = 10000000;

#if defined(__SIZEOF_INT128__)
using TWide = __int128;
#else
using TWide = long double; // exact enough for the frame counts of real files
#endif

// a / b rounded down (b > 0), for either sign of a.
int64_t FloorDiv(TWide a, TWide b) {
#if defined(__SIZEOF_INT128__)
    TWide q = a / b;
    if (a % b != 0 && a < 0)
        --q;
    return int64_t(q);
#else
    return int64_t(std::floor(a / b));
#endif
}

// a / b to the nearest integer, a half to the even one (b > 0).
int64_t RoundDiv(TWide a, TWide b) {
    const int64_t q = FloorDiv(a, b);
    const TWide twice = 2 * (a - TWide(q) * b); // 0 <= twice < 2b
    if (twice > b || (twice == b && (q & 1) != 0))
        return q + 1;
    return q;
}

} // namespace

TFrameClock::TFrameClock(int64_t rate, int64_t scale)
    : Rate(rate > 0 && scale > 0 ? rate : 25), Scale(rate > 0 && scale > 0 ? scale : 1) {}

int64_t TFrameClock::FrameStart(int64_t frame) const {
    return RoundDiv(TWide(frame) * Scale * UnitsPerSecond, TWide(Rate));
}

int64_t TFrameClock::FrameAt(int64_t time) const {
    if (time <= 0)
        return 0;
    int64_t k = FloorDiv(TWide(time) * Rate, TWide(Scale) * UnitsPerSecond);
    // Starts are rounded, so a frame may start up to half a unit before its exact time.
    if (FrameStart(k + 1) <= time)
        ++k;
    else if (k > 0 && FrameStart(k) > time)
        --k;
    return k;
}

int64_t TFrameClock::NearestFrame(int64_t time) const {
    return RoundDiv(TWide(time) * Rate, TWide(Scale) * UnitsPerSecond);
}

int64_t TFrameClock::FrameStep() const {
    return RoundDiv(TWide(Scale) * UnitsPerSecond, TWide(Rate));
}

int64_t TFrameClock::TypedFrame(double seconds) const {
    if (!(seconds > 0))
        return 0;
    // Past any video's end (31 years); beyond it the frame would overflow.
    seconds = std::min(seconds, 1e9);
    // Half a millisecond of slack for a time typed to the millisecond: the last frame that
    // starts before seconds + 0.0005, in whole units so that the tolerance is exact.
    const int64_t time = std::llround(seconds * double(UnitsPerSecond)) + UnitsPerSecond / 2000;
    const int64_t k = FrameAt(time);
    return k > 0 && FrameStart(k) >= time ? k - 1 : k;
}

} // namespace zarvex
