// An audio sink without a device: it takes the samples and lets them go at real-time pace, so
// that playback keeps the timing of sound where there is no sound card (tests, headless use).
#pragma once

#include "media/AudioSink.h"

#include <chrono>

namespace zarvex::media {

class TNullAudioSink : public TAudioSink {
public:
    // Holds at most `capacityMs` of sound, like a device's buffer.
    explicit TNullAudioSink(int capacityMs = 200) : CapacityMs(capacityMs) {}

    bool Start(int sampleRate, int channels) override;
    size_t Write(const int16_t* samples, size_t frames) override;
    size_t FramesHeld() override;
    size_t Capacity() override;
    void Pause() override;
    void Resume() override;
    void Reset() override;
    void Stop() override;

    // For a factory: a fresh null sink per rendered file.
    static TAudioSinkFactory Factory(int capacityMs = 200);

private:
    using TClock = std::chrono::steady_clock;
    void Drain(); // lets go of what has been heard since the last call

    int CapacityMs;
    int Rate = 0;
    bool Paused = false;
    size_t Held = 0;
    double Carry = 0; // fraction of a frame heard but not yet let go
    TClock::time_point Last{};
};

} // namespace zarvex::media
