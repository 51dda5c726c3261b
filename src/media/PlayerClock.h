// The player's media-time clock: the system clock while nothing else leads, re-anchored by the
// audio thread to what has been heard while sound plays, so that sound is the master.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace zarvex::media {

class TPlayerClock {
public:
    // Media time now, 100-ns units.
    int64_t Now() const;
    // Jumps to a position (a seek); keeps running or paused.
    void Set(int64_t position);
    void Run();
    void Pause();
    // While held (a seek being decoded) the clock stands still even when running.
    void Hold();
    void Release();
    bool Ticking() const;
    // What the sound device has played; the clock follows it when it drifts by more than a few
    // milliseconds, so small jitter of the device's fill level does not shake the pictures.
    void SyncAudio(int64_t heard);
    // How long, on the system clock, until media time reaches `position` (0 when passed).
    std::chrono::nanoseconds Until(int64_t position) const;

private:
    using TClock = std::chrono::steady_clock;
    int64_t NowLocked(TClock::time_point at) const;
    void Anchor(int64_t position);

    mutable std::mutex Mutex;
    bool Running = false;
    bool Held = false;
    int64_t Base = 0; // media time at Stamp
    TClock::time_point Stamp = TClock::now();
};

} // namespace zarvex::media
