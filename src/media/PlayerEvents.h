// The player's event queue: workers post, the owner drains one event at a time, woken by a
// callback that may come from any thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace zarvex::media {

class TPlayerEvents {
public:
    // The callback only wakes the owner; it must not call back into the player's control calls.
    // Once SetNotify returns, the previous callback is not running and is not called again.
    void SetNotify(std::function<void()> notify);
    void Post(int32_t code, intptr_t param1 = 0, intptr_t param2 = 0);
    // ResultOk with the oldest event, or ResultAbort when none arrives within timeoutMs.
    int32_t GetEvent(int32_t& code, intptr_t& param1, intptr_t& param2, int timeoutMs);
    // Our events carry plain numbers; kept so that every taken event is freed as on the platform.
    int32_t FreeEventParams(int32_t code, intptr_t param1, intptr_t param2);
    void Clear();

private:
    struct TEvent {
        int32_t Code;
        intptr_t Param1, Param2;
    };
    // Unread events beyond this are dropped, oldest first: an owner that never drains must not
    // make the queue grow without bound.
    static constexpr size_t MaxQueued = 64;

    std::mutex Mutex;
    std::condition_variable Posted;
    std::deque<TEvent> Queue;
    std::mutex NotifyMutex; // held while the callback runs
    std::function<void()> Notify;
};

} // namespace zarvex::media
