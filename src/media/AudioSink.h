// Where the player writes its decoded sound: a sound device, or the null sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace zarvex::media {

// Called only from the player's audio thread. Samples are interleaved signed 16-bit.
class TAudioSink {
public:
    virtual ~TAudioSink() = default;
    // Opens the output; false when the device refuses the format or cannot be opened.
    virtual bool Start(int sampleRate, int channels) = 0;
    // Takes as many of the sample frames as fit without waiting; returns how many it took.
    virtual size_t Write(const int16_t* samples, size_t frames) = 0;
    // Sample frames written and not yet heard.
    virtual size_t FramesHeld() = 0;
    // Frames the sink is willing to hold; the player keeps it filled to below this.
    virtual size_t Capacity() = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Drops everything held, for a seek; the sink stays started.
    virtual void Reset() = 0;
    virtual void Stop() = 0;
};

// Makes the sink for one rendered file; null when there is no sound device.
using TAudioSinkFactory = std::function<std::unique_ptr<TAudioSink>()>;

} // namespace zarvex::media
