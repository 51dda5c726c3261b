// The playback engine: renders a file into a video and an audio stream, plays, pauses and seeks
// exactly, and reports the end of playback through an event queue. Decoding runs on worker
// threads; no call here waits for decoding, file reads or the sound device.
#pragma once

#include "media/AudioSink.h"
#include "media/RenderResult.h"
#include "media/VideoSink.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zarvex::media {

// Values of the platform's filter states.
enum class TPlayerState { Stopped = 0, Paused = 1, Running = 2 };

// Control calls come from one owner thread; GetEvent and FreeEventParams from any thread.
class TMediaPlayer {
public:
    // The factory makes the sound output of each rendered file; without one, or when it makes
    // none (no sound device), files play silently on the system clock.
    explicit TMediaPlayer(TAudioSinkFactory audioSinks = {});
    ~TMediaPlayer();
    TMediaPlayer(const TMediaPlayer&) = delete;
    TMediaPlayer& operator=(const TMediaPlayer&) = delete;

    // Opens the file and its decoders. ResultOk, ResultPartialRender (a further stream is not
    // played), ResultVideoNotRendered, ResultAudioNotRendered (plays without sound), or a
    // failure: FFmpeg's negative code. After success or a partial success the player is open,
    // stopped, at position 0, and the first picture is on its way to the sink.
    int32_t RenderFile(const std::string& path);
    // Stops the workers and closes the file; no sink call or notification comes afterwards.
    void Close();
    bool IsOpen() const;

    // The sink is not owned; null for none. Once this returns the previous one is not called.
    void SetVideoSink(TVideoSink* sink);
    // Pictures as fast as they decode, without clock or sound (for measuring the pipeline).
    void SetRunFreely(bool freely);

    int32_t Run();
    // While running, the position settles on the start of the picture on screen.
    int32_t Pause();
    int32_t Stop();
    // The state is known at once (transitions complete when the call returns), so the timeout
    // is never used up; ResultOk, or ResultWrongState when nothing is open.
    int32_t GetState(int timeoutMs, TPlayerState& state) const;

    // Media time, 100-ns units.
    int64_t GetDuration() const;
    // While playing, the clock; after a seek, the start of the frame sought to, at once; after
    // a pause, the start of the picture shown.
    int64_t GetCurrentPosition() const;
    // Absolute, exact seek to the frame whose display interval holds the time (the last frame
    // for a time past it). Returns at once; seeks that come faster than they decode coalesce to
    // the newest. Running or paused stays as it was.
    int32_t SetPositions(int64_t current);

    // The video stream was rendered: pictures go to the video sink.
    bool HasVideoRenderer() const;
    bool HasAudioRenderer() const;
    int VideoWidth() const;
    int VideoHeight() const;
    double FrameRate() const;
    int64_t FrameTime(int64_t frame) const;
    int64_t TimeToFrame(int64_t time) const;

    // The owner is woken through the callback (from any thread) and then drains the queue.
    void SetNotify(std::function<void()> notify);
    int32_t GetEvent(int32_t& code, intptr_t& param1, intptr_t& param2, int timeoutMs);
    int32_t FreeEventParams(int32_t code, intptr_t param1, intptr_t param2);
    // Posts an event to the queue as the workers do, and wakes the owner.
    void Notify(int32_t code, intptr_t param1 = 0, intptr_t param2 = 0);

private:
    struct TImpl;
    std::unique_ptr<TImpl> Impl;
};

} // namespace zarvex::media
