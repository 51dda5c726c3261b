// Sound through Qt Multimedia's QAudioSink. The device lives on a thread of its own with an
// event loop, which Qt's audio backends need; the player's audio thread calls in through it.
#pragma once

#include "media/AudioSink.h"

#include <memory>

namespace zarvex::media {

class TQtAudioSink : public TAudioSink {
public:
    TQtAudioSink();
    ~TQtAudioSink() override;

    bool Start(int sampleRate, int channels) override;
    size_t Write(const int16_t* samples, size_t frames) override;
    size_t FramesHeld() override;
    size_t Capacity() override;
    void Pause() override;
    void Resume() override;
    void Reset() override;
    void Stop() override;

    // True when the system has a sound output.
    static bool HaveDevice();
    // Qt sinks while there is a sound output; none (silent playback) otherwise. Needs a
    // QCoreApplication.
    static TAudioSinkFactory Factory();

private:
    struct TImpl;
    std::unique_ptr<TImpl> Impl;
};

} // namespace zarvex::media
