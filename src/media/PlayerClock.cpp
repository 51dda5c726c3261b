#include "media/PlayerClock.h"

#include <cstdlib>

namespace zarvex::media {

namespace {
constexpr int64_t AudioTolerance = 100000; // 10 ms in 100-ns units
}

int64_t TPlayerClock::NowLocked(TClock::time_point at) const {
    if (!Running || Held)
        return Base;
    return Base + std::chrono::duration_cast<std::chrono::nanoseconds>(at - Stamp).count() / 100;
}

void TPlayerClock::Anchor(int64_t position) {
    Base = position;
    Stamp = TClock::now();
}

int64_t TPlayerClock::Now() const {
    std::lock_guard lock(Mutex);
    return NowLocked(TClock::now());
}

void TPlayerClock::Set(int64_t position) {
    std::lock_guard lock(Mutex);
    Anchor(position);
}

void TPlayerClock::Run() {
    std::lock_guard lock(Mutex);
    Anchor(NowLocked(TClock::now()));
    Running = true;
}

void TPlayerClock::Pause() {
    std::lock_guard lock(Mutex);
    Anchor(NowLocked(TClock::now()));
    Running = false;
}

void TPlayerClock::Hold() {
    std::lock_guard lock(Mutex);
    Anchor(NowLocked(TClock::now()));
    Held = true;
}

void TPlayerClock::Release() {
    std::lock_guard lock(Mutex);
    Anchor(NowLocked(TClock::now()));
    Held = false;
}

bool TPlayerClock::Ticking() const {
    std::lock_guard lock(Mutex);
    return Running && !Held;
}

void TPlayerClock::SyncAudio(int64_t heard) {
    std::lock_guard lock(Mutex);
    if (!Running || Held)
        return;
    if (std::llabs(NowLocked(TClock::now()) - heard) > AudioTolerance)
        Anchor(heard);
}

std::chrono::nanoseconds TPlayerClock::Until(int64_t position) const {
    std::lock_guard lock(Mutex);
    const int64_t now = NowLocked(TClock::now());
    if (now >= position)
        return std::chrono::nanoseconds(0);
    // A clock standing still never gets there; callers wait for a change instead.
    if (!Running || Held)
        return std::chrono::nanoseconds::max();
    return std::chrono::nanoseconds((position - now) * 100);
}

} // namespace zarvex::media
