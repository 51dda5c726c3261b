#include "media/PlayerEvents.h"

#include "media/RenderResult.h"

#include <chrono>

namespace zarvex::media {

void TPlayerEvents::SetNotify(std::function<void()> notify) {
    std::lock_guard lock(NotifyMutex);
    Notify = std::move(notify);
}

void TPlayerEvents::Post(int32_t code, intptr_t param1, intptr_t param2) {
    {
        std::lock_guard lock(Mutex);
        if (Queue.size() >= MaxQueued)
            Queue.pop_front();
        Queue.push_back({code, param1, param2});
    }
    Posted.notify_all();
    std::lock_guard lock(NotifyMutex);
    if (Notify)
        Notify();
}

int32_t TPlayerEvents::GetEvent(int32_t& code, intptr_t& param1, intptr_t& param2, int timeoutMs) {
    std::unique_lock lock(Mutex);
    if (!Posted.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                         [&] { return !Queue.empty(); }))
        return ResultAbort;
    const TEvent e = Queue.front();
    Queue.pop_front();
    code = e.Code;
    param1 = e.Param1;
    param2 = e.Param2;
    return ResultOk;
}

int32_t TPlayerEvents::FreeEventParams(int32_t, intptr_t, intptr_t) {
    return ResultOk;
}

void TPlayerEvents::Clear() {
    std::lock_guard lock(Mutex);
    Queue.clear();
}

} // namespace zarvex::media
