#include "media/PlayerAudio.h"

#include "export/DSErrors.h"
#include "media/VideoDecoder.h"

#include <algorithm>
#include <chrono>

namespace zarvex::media {

namespace {

constexpr auto FillInterval = std::chrono::milliseconds(10);
constexpr int ChunkMs = 20;  // decoded per read
constexpr int AheadMs = 150; // kept in the sink at most: bounds memory and seek latency

} // namespace

TPlayerAudio::TPlayerAudio(TPlayerShared& shared, std::unique_ptr<TAudioDecoder> decoder,
                           std::unique_ptr<TAudioSink> sink)
    : Shared(shared), Decoder(std::move(decoder)), Sink(std::move(sink)),
      Rate(Decoder->SampleRate()), Channels(Decoder->Channels()),
      FirstGeneration(shared.SeekGeneration), Thread([this] { Main(); }) {}

TPlayerAudio::~TPlayerAudio() {
    if (Thread.joinable())
        Thread.join();
    Sink->Stop();
}

void TPlayerAudio::Main() {
    uint64_t seen = FirstGeneration;
    for (;;) {
        std::unique_lock lock(Shared.Mutex);
        const auto wanted = [&] {
            return Shared.Running && !Shared.RunFreely && Shared.Clock.Ticking();
        };
        const auto woken = [&] {
            return Shared.Quit || Shared.SeekGeneration != seen || wanted() != Playing;
        };
        if (Playing)
            Shared.Changed.wait_for(lock, FillInterval, woken);
        else
            Shared.Changed.wait(lock, woken);
        if (Shared.Quit)
            return;
        const bool seek = Shared.SeekGeneration != seen;
        seen = Shared.SeekGeneration;
        const int64_t target = Shared.SeekTarget;
        const bool play = wanted();
        lock.unlock();
        try {
            if (seek)
                Seek(target);
            SetPlaying(play);
            if (Playing)
                Fill(seen);
        } catch (const EMediaError& e) {
            AtEnd = true;
            Pending.clear();
            Shared.Failed(e.Code);
        } catch (const std::exception&) {
            AtEnd = true;
            Pending.clear();
            Shared.Failed(AVERROR_UNKNOWN);
        }
    }
}

void TPlayerAudio::Seek(int64_t time) {
    Sink->Reset();
    Decoder->Seek(time);
    Base = time;
    Written = 0;
    Pending.clear();
    PendingFrom = 0;
    AtEnd = false;
}

void TPlayerAudio::SetPlaying(bool playing) {
    if (playing == Playing)
        return;
    Playing = playing;
    if (playing)
        Sink->Resume();
    else
        Sink->Pause();
}

void TPlayerAudio::Fill(uint64_t generation) {
    const size_t ahead = std::min(Sink->Capacity(), static_cast<size_t>(Rate) * AheadMs / 1000);
    while (!AtEnd && Sink->FramesHeld() < ahead) {
        if (PendingFrom >= Pending.size()) {
            Pending.clear();
            PendingFrom = 0;
            if (Decoder->Read(Pending, Rate * ChunkMs / 1000) == 0) {
                AtEnd = true;
                break;
            }
        }
        const size_t frames = (Pending.size() - PendingFrom) / Channels;
        const size_t taken = Sink->Write(Pending.data() + PendingFrom, frames);
        PendingFrom += taken * Channels;
        Written += static_cast<int64_t>(taken);
        if (taken < frames)
            break; // the sink is full
    }
    const size_t held = Sink->FramesHeld();
    if (AtEnd && held == 0) {
        Shared.Done(false, generation);
        return;
    }
    const int64_t heard = Written - static_cast<int64_t>(held);
    std::lock_guard lock(Shared.Mutex);
    if (generation == Shared.SeekGeneration)
        Shared.Clock.SyncAudio(Base + heard * TimeUnits / Rate);
}

} // namespace zarvex::media
