#include "media/NullAudioSink.h"

#include <algorithm>

namespace zarvex::media {

bool TNullAudioSink::Start(int sampleRate, int channels) {
    if (sampleRate <= 0 || channels <= 0)
        return false;
    Rate = sampleRate;
    Held = 0;
    Carry = 0;
    Paused = false;
    Last = TClock::now();
    return true;
}

void TNullAudioSink::Drain() {
    const TClock::time_point now = TClock::now();
    if (!Paused && Held > 0) {
        const double heard = std::chrono::duration<double>(now - Last).count() * Rate + Carry;
        const size_t whole = static_cast<size_t>(heard);
        Carry = whole >= Held ? 0 : heard - static_cast<double>(whole);
        Held -= std::min(whole, Held);
    } else {
        Carry = 0;
    }
    Last = now;
}

size_t TNullAudioSink::Write(const int16_t*, size_t frames) {
    Drain();
    const size_t room = Capacity() - std::min(Capacity(), Held);
    const size_t taken = std::min(room, frames);
    Held += taken;
    return taken;
}

size_t TNullAudioSink::FramesHeld() {
    Drain();
    return Held;
}

size_t TNullAudioSink::Capacity() {
    return static_cast<size_t>(Rate) * static_cast<size_t>(CapacityMs) / 1000;
}

void TNullAudioSink::Pause() {
    Drain();
    Paused = true;
}

void TNullAudioSink::Resume() {
    Drain();
    Paused = false;
}

void TNullAudioSink::Reset() {
    Held = 0;
    Carry = 0;
    Last = TClock::now();
}

void TNullAudioSink::Stop() {
    Reset();
}

TAudioSinkFactory TNullAudioSink::Factory(int capacityMs) {
    return [capacityMs] { return std::make_unique<TNullAudioSink>(capacityMs); };
}

} // namespace zarvex::media
