#include "media/PlayerVideo.h"

#include "export/DSErrors.h"

#include <algorithm>
#include <chrono>

namespace zarvex::media {

namespace {

// Waits are sliced so that a clock re-anchored by the sound is followed promptly.
constexpr auto WaitSlice = std::chrono::milliseconds(10);
// When decoding falls behind, one picture in this many is still shown, so the picture moves.
constexpr int MaxDropsInRow = 8;

} // namespace

TPlayerVideo::TPlayerVideo(TPlayerShared& shared, std::unique_ptr<TVideoDecoder> decoder)
    : Shared(shared), Decoder(std::move(decoder)), EndTime(Decoder->Duration()),
      FirstGeneration(shared.SeekGeneration), Thread([this] { Main(); }) {}

TPlayerVideo::~TPlayerVideo() {
    if (Thread.joinable())
        Thread.join();
}

void TPlayerVideo::SetSink(TVideoSink* sink) {
    std::lock_guard lock(SinkMutex);
    Sink = sink;
}

void TPlayerVideo::Main() {
    Decoder->NewerFrame = [this] { return NewerFrame(); };
    // A drag outrunning the decoder still sees the positions the walk passes on its way.
    Decoder->OnPassed = [this](const TVideoPicture& picture) { Deliver(Convert(picture)); };
    uint64_t seen = FirstGeneration;
    for (;;) {
        std::unique_lock lock(Shared.Mutex);
        Shared.Changed.wait(lock, [&] {
            return Shared.Quit || Shared.SeekGeneration != seen || (Shared.Running && !AtEnd);
        });
        if (Shared.Quit)
            return;
        const bool seek = Shared.SeekGeneration != seen;
        seen = Shared.SeekGeneration;
        const int64_t target = Shared.SeekTarget;
        lock.unlock();
        try {
            if (seek)
                seen = ShowAt(target, seen);
            else
                Step(seen);
        } catch (const EMediaError& e) {
            AtEnd = true;
            Shared.Failed(e.Code);
        } catch (const std::exception&) {
            AtEnd = true;
            Shared.Failed(AVERROR_UNKNOWN);
        }
    }
}

// One picture of playback: decode it ahead, wait for its time, show it.
void TPlayerVideo::Step(uint64_t generation) {
    bool freely;
    {
        std::lock_guard lock(Shared.Mutex);
        freely = Shared.RunFreely;
    }
    if (!Ready && !DecodeNext(freely)) {
        AtEnd = true;
        WaitForEnd(generation);
        return;
    }
    if (!freely && !WaitFor(Ready->Position, generation))
        return; // paused, seeking or closing; the picture stays ready unless a seek replaces it
    if (freely) {
        std::lock_guard lock(Shared.Mutex);
        Shared.Clock.Set(Ready->Position);
        Shared.Shown = Ready->Position;
    }
    Deliver(std::move(Ready));
    Ready.reset();
}

// Returns the seek carried out: a newer one when the decoder went on to its frame.
uint64_t TPlayerVideo::ShowAt(int64_t time, uint64_t generation) {
    Ready.reset();
    AtEnd = false;
    Serving = Newest = generation;
    TVideoPicture picture;
    const bool shown = Decoder->DecodeAt(time, picture);
    if (Newest != generation && Decoder->Target() == Decoder->TimeToFrame(NewestTime))
        generation = Newest;
    Serving = 0;
    if (shown)
        Deliver(Convert(picture));
    else
        AtEnd = true;
    std::lock_guard lock(Shared.Mutex);
    // A newer seek keeps the clock held until its own picture is shown.
    if (generation == Shared.SeekGeneration) {
        Shared.Clock.Release();
        Shared.Changed.notify_all();
    }
    return generation;
}

// While seeks come faster than they decode (a drag), the walk to one may go on to the newest.
int64_t TPlayerVideo::NewerFrame() {
    std::lock_guard lock(Shared.Mutex);
    if (Serving == 0 || Shared.SeekGeneration == Serving)
        return -1;
    Newest = Shared.SeekGeneration;
    NewestTime = Shared.SeekTarget;
    return Decoder->TimeToFrame(NewestTime);
}

bool TPlayerVideo::DecodeNext(bool freely) {
    TVideoPicture picture;
    for (int dropped = 0;; ++dropped) {
        if (!Decoder->DecodeNext(picture))
            return false;
        // A picture whose interval has passed is late: skip its conversion.
        const bool late = !freely && dropped < MaxDropsInRow &&
                          Shared.Clock.Now() >= Decoder->FrameTime(picture.FrameNumber + 1);
        if (!late)
            break;
    }
    Ready = Convert(picture);
    return true;
}

// Waits until the clock reaches the position; false when playback stopped, paused or sought.
bool TPlayerVideo::WaitFor(int64_t position, uint64_t generation) {
    std::unique_lock lock(Shared.Mutex);
    for (;;) {
        if (Shared.Interrupted(generation) || !Shared.Running)
            return false;
        const auto until = Shared.Clock.Until(position);
        if (until.count() == 0) {
            // Decided under the lock, so that a pause from now on settles on this picture.
            Shared.Shown = position;
            return true;
        }
        Shared.Changed.wait_for(lock, std::min<std::chrono::nanoseconds>(until, WaitSlice));
    }
}

// The last picture stays until its interval ends; then the video stream is done.
void TPlayerVideo::WaitForEnd(uint64_t generation) {
    bool freely;
    {
        std::lock_guard lock(Shared.Mutex);
        freely = Shared.RunFreely;
    }
    if (!freely) {
        std::unique_lock lock(Shared.Mutex);
        for (;;) {
            if (Shared.Interrupted(generation))
                return;
            const auto until = Shared.Clock.Until(EndTime);
            if (until.count() == 0)
                break;
            Shared.Changed.wait_for(lock, std::min<std::chrono::nanoseconds>(until, WaitSlice));
        }
    }
    Shared.Done(true, generation);
}

TVideoFramePtr TPlayerVideo::Convert(const TVideoPicture& picture) {
    auto frame = std::make_shared<TVideoFrame>();
    const AVFrame& f = *picture.Frame;
    frame->Width = f.width;
    frame->Height = f.height;
    frame->Stride = f.width * 4;
    frame->Position = picture.Position;
    frame->FrameNumber = picture.FrameNumber;
    if (f.pict_type != AV_PICTURE_TYPE_NONE)
        frame->PictureType = av_get_picture_type_char(f.pict_type);
    frame->Pixels.resize(static_cast<size_t>(frame->Stride) * f.height);
    Converter.Convert(f, AV_PIX_FMT_BGRA, frame->Pixels.data(), frame->Stride, false);
    return frame;
}

void TPlayerVideo::Deliver(TVideoFramePtr frame) {
    std::lock_guard lock(SinkMutex);
    if (Sink)
        Sink->Deliver(std::move(frame));
}

} // namespace zarvex::media
