// The player's clock, event queue and null sound sink on their own.
#include "media/NullAudioSink.h"
#include "media/PlayerClock.h"
#include "media/PlayerEvents.h"
#include "media/RenderResult.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace zarvex::media;
using namespace std::chrono_literals;

TEST(PlayerClock, StandsStillUnlessRunningAndNotHeld) {
    TPlayerClock clock;
    clock.Set(5000000);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(clock.Now(), 5000000);
    EXPECT_EQ(clock.Until(4000000).count(), 0);
    EXPECT_EQ(clock.Until(6000000), std::chrono::nanoseconds::max());
    clock.Run();
    std::this_thread::sleep_for(20ms);
    const int64_t running = clock.Now();
    EXPECT_GE(running, 5000000 + 200000);
    clock.Hold();
    const int64_t held = clock.Now();
    EXPECT_GE(held, running);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(clock.Now(), held);
    EXPECT_FALSE(clock.Ticking());
    clock.Release();
    EXPECT_TRUE(clock.Ticking());
    clock.Pause();
    const int64_t paused = clock.Now();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(clock.Now(), paused);
}

TEST(PlayerClock, FollowsTheSoundWhenItDrifts) {
    TPlayerClock clock;
    clock.Set(0);
    clock.Run();
    // A device running late by half a second pulls the clock back to what was heard.
    clock.SyncAudio(-5000000);
    EXPECT_LT(clock.Now(), -4000000);
    // A paused clock is not moved by the sound.
    clock.Pause();
    const int64_t paused = clock.Now();
    clock.SyncAudio(paused + 50000000);
    EXPECT_EQ(clock.Now(), paused);
}

TEST(PlayerEvents, OneEventPerTakeInOrderAndTimeouts) {
    TPlayerEvents events;
    std::atomic<int> woken{0};
    events.SetNotify([&] { ++woken; });
    int32_t code = 0;
    intptr_t p1 = 0, p2 = 0;
    EXPECT_EQ(events.GetEvent(code, p1, p2, 0), ResultAbort);
    events.Post(EventComplete);
    events.Post(EventErrorAbort, -5);
    EXPECT_EQ(woken.load(), 2);
    ASSERT_EQ(events.GetEvent(code, p1, p2, 0), ResultOk);
    EXPECT_EQ(code, EventComplete);
    ASSERT_EQ(events.GetEvent(code, p1, p2, 0), ResultOk);
    EXPECT_EQ(code, EventErrorAbort);
    EXPECT_EQ(p1, -5);
    EXPECT_EQ(events.FreeEventParams(code, p1, p2), ResultOk);
    EXPECT_EQ(events.GetEvent(code, p1, p2, 10), ResultAbort);

    // A waiting taker gets an event posted from another thread.
    std::thread poster([&] {
        std::this_thread::sleep_for(20ms);
        events.Post(EventComplete);
    });
    EXPECT_EQ(events.GetEvent(code, p1, p2, 30000), ResultOk);
    poster.join();

    // Once the callback is replaced, the old one is never called again.
    events.SetNotify({});
    events.Post(EventComplete);
    EXPECT_EQ(woken.load(), 3);
}

TEST(PlayerEvents, AnUndrainedQueueStaysBounded) {
    TPlayerEvents events;
    for (int i = 0; i < 1000; ++i)
        events.Post(EventErrorAbort, i);
    int32_t code = 0;
    intptr_t p1 = 0, p2 = 0;
    int taken = 0;
    intptr_t first = -1;
    while (events.GetEvent(code, p1, p2, 0) == ResultOk) {
        if (taken++ == 0)
            first = p1;
    }
    EXPECT_LT(taken, 100);
    EXPECT_EQ(p1, 999); // the newest survive
    EXPECT_GT(first, 900);
}

TEST(NullAudioSink, HoldsUpToItsCapacityAndLetsSoundGoInRealTime) {
    TNullAudioSink sink(100);
    ASSERT_FALSE(sink.Start(0, 2));
    ASSERT_TRUE(sink.Start(48000, 2));
    EXPECT_EQ(sink.Capacity(), 4800u);
    std::vector<int16_t> samples(2 * 10000);
    // Paused, it keeps everything: nothing is heard.
    sink.Pause();
    EXPECT_EQ(sink.Write(samples.data(), 10000), 4800u);
    EXPECT_EQ(sink.Write(samples.data(), 10000), 0u);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(sink.FramesHeld(), 4800u);
    // Playing, it drains within about its capacity's time.
    sink.Resume();
    for (int i = 0; i < 3000 && sink.FramesHeld() > 0; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(sink.FramesHeld(), 0u);
    sink.Write(samples.data(), 1000);
    sink.Reset();
    EXPECT_EQ(sink.FramesHeld(), 0u);
}
