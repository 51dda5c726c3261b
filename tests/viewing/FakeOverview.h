// An overview that fills in from a thread of its own, as the real one does: pictures as coloured
// blocks at every key frame, peaks as a sine, both arriving bit by bit.
#pragma once

#include "media/OverviewSource.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <thread>

namespace zarvex::fixtures {

class TFakeOverview : public media::TOverviewSource {
public:
    TFakeOverview(int64_t duration, int64_t frameTime, int keyEvery)
        : Duration(duration), FrameTime(frameTime), KeyEvery(keyEvery) {}
    ~TFakeOverview() override {
        Stop = true;
        if (Worker.joinable())
            Worker.join();
    }

    // Fills everything in over about the given time, in steps.
    void Start(std::chrono::milliseconds over, int steps = 40) {
        Worker = std::thread([this, over, steps] {
            const int64_t frames = Duration / FrameTime;
            for (int step = 1; step <= steps && !Stop; ++step) {
                std::this_thread::sleep_for(over / steps);
                std::lock_guard lock(Mutex);
                for (int64_t f = 0; f < frames * step / steps; f += KeyEvery)
                    if (!Pictures.count(f * FrameTime))
                        Pictures[f * FrameTime] = Block(f, f * FrameTime);
                AudioKnown = Duration * step / steps;
                ++Gen;
            }
            Done = true;
        });
    }

    void SetVisible(int64_t from, int64_t to, int64_t timePerColumn) override {
        std::lock_guard lock(Mutex);
        Visible = {from, to, timePerColumn};
    }
    std::vector<media::TThumbnailPtr> Thumbnails(int64_t from, int64_t to) const override {
        std::lock_guard lock(Mutex);
        std::vector<media::TThumbnailPtr> found;
        for (auto it = Pictures.lower_bound(from); it != Pictures.end() && it->first <= to; ++it)
            found.push_back(it->second);
        return found;
    }
    media::TThumbnailPtr ThumbnailAt(int64_t time) const override {
        std::lock_guard lock(Mutex);
        auto it = Pictures.upper_bound(time);
        return it == Pictures.begin() ? nullptr : std::prev(it)->second;
    }
    std::vector<media::TPeak> Peaks(int64_t from, int64_t timePerColumn,
                                    int columns) const override {
        std::lock_guard lock(Mutex);
        std::vector<media::TPeak> peaks(size_t(std::max(columns, 0)));
        for (int c = 0; c < columns; ++c) {
            const int64_t t = from + c * timePerColumn;
            if (t < 0 || t >= AudioKnown)
                continue;
            const auto level = int8_t(std::lround(120 * std::abs(std::sin(double(t) / 5e6))));
            peaks[size_t(c)] = {int8_t(-level), level, true};
        }
        return peaks;
    }
    bool HasAudio() const override { return true; }
    uint64_t Generation() const override { return Gen; }
    bool Complete() const override { return Done; }

    struct TVisible {
        int64_t From = 0, To = 0, TimePerColumn = 0;
    };
    TVisible LastVisible() const {
        std::lock_guard lock(Mutex);
        return Visible;
    }

private:
    static media::TThumbnailPtr Block(int64_t frame, int64_t time) {
        auto picture = std::make_shared<media::TThumbnail>();
        picture->Time = time;
        picture->FrameNumber = frame;
        picture->Width = 64;
        picture->Height = 48;
        const uint32_t colour = 0xff000000u | uint32_t((frame * 40) % 256) << 16 |
                                uint32_t((frame * 90) % 256) << 8 | 0x80u;
        picture->Pixels.assign(64 * 48, colour);
        return picture;
    }

    const int64_t Duration, FrameTime;
    const int KeyEvery;
    mutable std::mutex Mutex;
    std::map<int64_t, media::TThumbnailPtr> Pictures;
    int64_t AudioKnown = 0;
    TVisible Visible;
    std::atomic<uint64_t> Gen{0};
    std::atomic<bool> Done{false}, Stop{false};
    std::thread Worker;
};

} // namespace zarvex::fixtures
