#include "media/Player.h"

#include "export/DSErrors.h"
#include "media/AudioDecoder.h"
#include "media/PlayerAudio.h"
#include "media/PlayerProbe.h"
#include "media/PlayerShared.h"
#include "media/PlayerVideo.h"
#include "media/VideoDecoder.h"

#include <algorithm>

namespace zarvex::media {

namespace {

// Sound goes out at one format that every device takes; the decoder resamples to it.
constexpr int OutputRate = 48000;
constexpr int OutputChannels = 2;

// FFmpeg's own decoding threads, except under ThreadSanitizer: its threads sync inside the
// uninstrumented libraries, which the sanitizer cannot see.
#if defined(__SANITIZE_THREAD__)
constexpr int DecoderThreads = 1;
#else
constexpr int DecoderThreads = 0;
#endif

// The code of a failed open: FFmpeg's, or "stream not found" for our own refusals.
int OpenFailure(const std::exception& e) {
    if (const auto* media = dynamic_cast<const EMediaError*>(&e))
        return media->Code;
    return AVERROR_STREAM_NOT_FOUND;
}

} // namespace

struct TMediaPlayer::TImpl {
    explicit TImpl(TAudioSinkFactory factory) : AudioSinks(std::move(factory)) {}

    TAudioSinkFactory AudioSinks;
    TPlayerEvents Events;
    TPlayerShared Shared{Events};
    TVideoSink* Sink = nullptr;
    bool RunFreely = false;
    bool Open = false;
    TPlayerState State = TPlayerState::Stopped;
    int64_t Duration = 0;
    int64_t LastFrame = 0;
    int Width = 0, Height = 0;
    double Rate = 0;
    // The video decoder's timing functions, which read only what is fixed when it opens.
    const TVideoDecoder* Timing = nullptr;
    std::unique_ptr<TPlayerVideo> Video;
    std::unique_ptr<TPlayerAudio> Audio;

    int32_t Render(const std::string& path);
    void OpenVideo(const std::string& path, int& failure);
    void OpenAudio(const std::string& path, int& failure);
    void Seek(int64_t target);
    void SetRunning(bool running, TPlayerState state);
};

void TMediaPlayer::TImpl::OpenVideo(const std::string& path, int& failure) {
    try {
        auto decoder = std::make_unique<TVideoDecoder>(path, DecoderThreads);
        decoder->KeepRecent(RecentPictureBytes);
        decoder->KeepWalkers(ViewerWalkers);
        Width = decoder->Width();
        Height = decoder->Height();
        Rate = decoder->FrameRate();
        Duration = decoder->Duration();
        LastFrame = Duration > 0 ? decoder->TimeToFrame(Duration - 1) : 0;
        const TVideoDecoder* timing = decoder.get();
        Video = std::make_unique<TPlayerVideo>(Shared, std::move(decoder));
        Timing = timing;
        Video->SetSink(Sink);
    } catch (const std::exception& e) {
        failure = OpenFailure(e);
    }
}

void TMediaPlayer::TImpl::OpenAudio(const std::string& path, int& failure) {
    try {
        auto decoder = std::make_unique<TAudioDecoder>(path, OutputRate, OutputChannels);
        std::unique_ptr<TAudioSink> sink = AudioSinks ? AudioSinks() : nullptr;
        if (!sink || !sink->Start(decoder->SampleRate(), decoder->Channels())) {
            failure = AVERROR(ENODEV);
            return;
        }
        Audio = std::make_unique<TPlayerAudio>(Shared, std::move(decoder), std::move(sink));
    } catch (const std::exception& e) {
        failure = OpenFailure(e);
    }
}

int32_t TMediaPlayer::TImpl::Render(const std::string& path) {
    const TStreamCounts streams = ProbeStreams(path);
    if (streams.Result < 0)
        return streams.Result;
    {
        std::lock_guard lock(Shared.Mutex);
        Shared.Quit = false;
        Shared.Running = false;
        Shared.RunFreely = RunFreely;
    }
    Shared.Clock.Pause();
    Shared.Clock.Set(0);
    int videoFailure = 0, audioFailure = 0;
    if (streams.Video > 0)
        OpenVideo(path, videoFailure);
    if (streams.Audio > 0)
        OpenAudio(path, audioFailure);
    if (!Video && !Audio)
        return videoFailure != 0 ? videoFailure : audioFailure;
    if (!Video)
        Duration = streams.Duration;
    Open = true;
    State = TPlayerState::Stopped;
    Seek(0);
    if (streams.Video > 0 && !Video)
        return ResultVideoNotRendered;
    if (streams.Audio > 0 && !Audio)
        return ResultAudioNotRendered;
    if (streams.Other > 0 || streams.Video > 1 || streams.Audio > 1)
        return ResultPartialRender;
    return ResultOk;
}

void TMediaPlayer::TImpl::Seek(int64_t target) {
    std::lock_guard lock(Shared.Mutex);
    ++Shared.SeekGeneration;
    Shared.SeekTarget = target;
    Shared.VideoDone = !Video;
    Shared.AudioDone = !Audio || Shared.RunFreely; // running freely plays no sound
    Shared.CompletePosted = false;
    Shared.Clock.Set(target);
    Shared.Shown = target;
    if (Video)
        Shared.Clock.Hold(); // until the picture sought to is shown
    Shared.Changed.notify_all();
}

void TMediaPlayer::TImpl::SetRunning(bool running, TPlayerState state) {
    std::lock_guard lock(Shared.Mutex);
    const bool wasRunning = Shared.Running;
    Shared.Running = running;
    if (running) {
        Shared.Clock.Run();
    } else {
        Shared.Clock.Pause();
        // Stopped between two pictures, the position is the start of the one on screen.
        if (wasRunning && Video)
            Shared.Clock.Set(Shared.Shown);
    }
    State = state;
    Shared.Changed.notify_all();
}

TMediaPlayer::TMediaPlayer(TAudioSinkFactory audioSinks)
    : Impl(std::make_unique<TImpl>(std::move(audioSinks))) {}

TMediaPlayer::~TMediaPlayer() {
    Close();
}

int32_t TMediaPlayer::RenderFile(const std::string& path) {
    Close();
    const int32_t result = Impl->Render(path);
    if (!RenderSucceeded(result))
        Close();
    return result;
}

void TMediaPlayer::Close() {
    TImpl& d = *Impl;
    {
        std::lock_guard lock(d.Shared.Mutex);
        d.Shared.Quit = true;
        d.Shared.Running = false;
        d.Shared.Changed.notify_all();
    }
    d.Video.reset(); // joins
    d.Audio.reset();
    d.Timing = nullptr;
    d.Events.Clear();
    d.Open = false;
    d.State = TPlayerState::Stopped;
    d.Duration = d.LastFrame = 0;
    d.Width = d.Height = 0;
    d.Rate = 0;
}

bool TMediaPlayer::IsOpen() const {
    return Impl->Open;
}

void TMediaPlayer::SetVideoSink(TVideoSink* sink) {
    Impl->Sink = sink;
    if (Impl->Video)
        Impl->Video->SetSink(sink);
}

void TMediaPlayer::SetRunFreely(bool freely) {
    Impl->RunFreely = freely;
    std::lock_guard lock(Impl->Shared.Mutex);
    Impl->Shared.RunFreely = freely;
    Impl->Shared.Changed.notify_all();
}

int32_t TMediaPlayer::Run() {
    if (!Impl->Open)
        return ResultWrongState;
    Impl->SetRunning(true, TPlayerState::Running);
    return ResultOk;
}

int32_t TMediaPlayer::Pause() {
    if (!Impl->Open)
        return ResultWrongState;
    Impl->SetRunning(false, TPlayerState::Paused);
    return ResultOk;
}

int32_t TMediaPlayer::Stop() {
    if (!Impl->Open)
        return ResultWrongState;
    Impl->SetRunning(false, TPlayerState::Stopped);
    return ResultOk;
}

int32_t TMediaPlayer::GetState(int, TPlayerState& state) const {
    state = Impl->State;
    return Impl->Open ? ResultOk : ResultWrongState;
}

int64_t TMediaPlayer::GetDuration() const {
    return Impl->Duration;
}

int64_t TMediaPlayer::GetCurrentPosition() const {
    if (!Impl->Open)
        return 0;
    return std::clamp<int64_t>(Impl->Shared.Clock.Now(), 0, Impl->Duration);
}

int32_t TMediaPlayer::SetPositions(int64_t current) {
    TImpl& d = *Impl;
    if (!d.Open)
        return ResultWrongState;
    int64_t target = std::clamp<int64_t>(current, 0, d.Duration);
    // The end itself is a position of its own (showing the last picture), so that a caller
    // stepping to the end sees the position equal the duration.
    if (d.Timing && target < d.Duration)
        target = FrameTime(std::clamp<int64_t>(TimeToFrame(current), 0, d.LastFrame));
    d.Seek(target);
    return ResultOk;
}

bool TMediaPlayer::HasVideoRenderer() const {
    return Impl->Video != nullptr;
}
bool TMediaPlayer::HasAudioRenderer() const {
    return Impl->Audio != nullptr;
}
int64_t TMediaPlayer::FrameTime(int64_t frame) const {
    return Impl->Timing ? Impl->Timing->FrameTime(frame) : 0;
}

int64_t TMediaPlayer::TimeToFrame(int64_t time) const {
    return Impl->Timing ? Impl->Timing->TimeToFrame(time) : 0;
}

int TMediaPlayer::VideoWidth() const {
    return Impl->Width;
}
int TMediaPlayer::VideoHeight() const {
    return Impl->Height;
}
double TMediaPlayer::FrameRate() const {
    return Impl->Rate;
}

void TMediaPlayer::SetNotify(std::function<void()> notify) {
    Impl->Events.SetNotify(std::move(notify));
}

int32_t TMediaPlayer::GetEvent(int32_t& code, intptr_t& param1, intptr_t& param2, int timeoutMs) {
    return Impl->Events.GetEvent(code, param1, param2, timeoutMs);
}

int32_t TMediaPlayer::FreeEventParams(int32_t code, intptr_t param1, intptr_t param2) {
    return Impl->Events.FreeEventParams(code, param1, param2);
}

void TMediaPlayer::Notify(int32_t code, intptr_t param1, intptr_t param2) {
    Impl->Events.Post(code, param1, param2);
}

} // namespace zarvex::media
