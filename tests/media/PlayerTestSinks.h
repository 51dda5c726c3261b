// A video sink for the player's tests: keeps every delivered frame's number and the newest frame.
#pragma once

#include "media/VideoSink.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace zarvex::fixtures {

class TCollectingSink : public media::TVideoSink {
public:
    void Deliver(media::TVideoFramePtr frame) override {
        {
            std::lock_guard lock(Mutex);
            Numbers.push_back(frame->FrameNumber);
            Positions.push_back(frame->Position);
            Newest = std::move(frame);
        }
        Delivered.notify_all();
    }

    // Waits until the newest frame satisfies the test; generous timeouts suit a loaded machine.
    media::TVideoFramePtr WaitFor(const std::function<bool(const media::TVideoFrame&)>& test,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        std::unique_lock lock(Mutex);
        Delivered.wait_for(lock, timeout, [&] { return Newest && test(*Newest); });
        return Newest && test(*Newest) ? Newest : nullptr;
    }
    media::TVideoFramePtr WaitForFrame(int64_t number) {
        return WaitFor([number](const media::TVideoFrame& f) { return f.FrameNumber == number; });
    }
    media::TVideoFramePtr Last() {
        std::lock_guard lock(Mutex);
        return Newest;
    }
    std::vector<int64_t> FrameNumbers() {
        std::lock_guard lock(Mutex);
        return Numbers;
    }
    std::vector<int64_t> FramePositions() {
        std::lock_guard lock(Mutex);
        return Positions;
    }
    size_t Count() {
        std::lock_guard lock(Mutex);
        return Numbers.size();
    }
    void Clear() {
        std::lock_guard lock(Mutex);
        Numbers.clear();
        Positions.clear();
        Newest.reset();
    }

private:
    std::mutex Mutex;
    std::condition_variable Delivered;
    std::vector<int64_t> Numbers;
    std::vector<int64_t> Positions;
    media::TVideoFramePtr Newest;
};

} // namespace zarvex::fixtures
