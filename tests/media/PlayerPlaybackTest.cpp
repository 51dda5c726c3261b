// Playing through the player: order of pictures, the completion event, seeking and pausing while
// playing, and closing in the middle of it all.
#include "media/NullAudioSink.h"
#include "media/Player.h"

#include "fixtures/MediaFixture.h"
#include "media/PlayerTestSinks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace zarvex;
using namespace zarvex::media;
using namespace zarvex::fixtures;
using namespace std::chrono_literals;

namespace {

constexpr int EventWaitMs = 30000; // generous: the machine may be loaded

int32_t NextEvent(TMediaPlayer& player, int timeoutMs) {
    int32_t code = 0;
    intptr_t p1 = 0, p2 = 0;
    if (player.GetEvent(code, p1, p2, timeoutMs) != ResultOk)
        return 0;
    EXPECT_EQ(player.FreeEventParams(code, p1, p2), ResultOk);
    return code;
}

void ExpectIncreasing(const std::vector<int64_t>& v) {
    for (size_t i = 1; i < v.size(); ++i)
        ASSERT_LT(v[i - 1], v[i]) << "at " << i;
}

class PlayerPlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        OneSecond = MakeMpeg4Avi(Dir, "one.avi", 1.0, 12);
        ASSERT_FALSE(OneSecond.empty());
        Player.SetVideoSink(&Sink);
        Player.SetNotify([this] { ++Notified; });
    }
    void Open(const std::string& path) {
        ASSERT_EQ(Player.RenderFile(path), ResultOk);
        ASSERT_TRUE(Sink.WaitForFrame(0));
        Sink.Clear();
    }

    TTempDir Dir;
    std::string OneSecond;
    TCollectingSink Sink;
    std::atomic<int> Notified{0};
    TMediaPlayer Player{TNullAudioSink::Factory()};
};

} // namespace

TEST_F(PlayerPlaybackTest, PlaysToTheEndInOrderWithOneCompletion) {
    Open(OneSecond);
    ASSERT_EQ(Player.Run(), ResultOk);
    EXPECT_EQ(NextEvent(Player, EventWaitMs), EventComplete);
    // The callback follows the event; it may come a moment after the event was taken.
    for (int i = 0; i < 3000 && Notified.load() == 0; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_GE(Notified.load(), 1);
    EXPECT_EQ(Player.GetCurrentPosition(), Player.GetDuration());
    ExpectIncreasing(Sink.FramePositions());
    EXPECT_FALSE(Sink.FrameNumbers().empty());
    // Still running at the end, and no second completion.
    EXPECT_EQ(NextEvent(Player, 500), 0);
    TPlayerState state;
    ASSERT_EQ(Player.GetState(1000, state), ResultOk);
    EXPECT_EQ(state, TPlayerState::Running);

    // What the viewer does at the end: pause and go back to the start; then it plays again.
    Player.Pause();
    Player.SetPositions(0);
    ASSERT_TRUE(Sink.WaitForFrame(0));
    Sink.Clear();
    Player.Run();
    EXPECT_EQ(NextEvent(Player, EventWaitMs), EventComplete);
    ExpectIncreasing(Sink.FramePositions());
}

TEST_F(PlayerPlaybackTest, SeekingWhileRunningKeepsRunning) {
    Open(MakeMpeg4Avi(Dir, "four.avi", 4.0, 40));
    Player.Run();
    ASSERT_TRUE(Sink.WaitFor([](const TVideoFrame& f) { return f.FrameNumber >= 3; }));
    Player.SetPositions(Player.FrameTime(60));
    TPlayerState state;
    ASSERT_EQ(Player.GetState(1000, state), ResultOk);
    EXPECT_EQ(state, TPlayerState::Running);
    ASSERT_TRUE(Sink.WaitForFrame(60));
    // Playing on from the frame sought to.
    ASSERT_TRUE(Sink.WaitFor([](const TVideoFrame& f) { return f.FrameNumber > 62; }));
    EXPECT_GT(Player.GetCurrentPosition(), Player.FrameTime(60));
}

TEST_F(PlayerPlaybackTest, PauseHoldsPictureAndPosition) {
    Open(MakeMpeg4Avi(Dir, "four.avi", 4.0, 40));
    Player.Run();
    ASSERT_TRUE(Sink.WaitFor([](const TVideoFrame& f) { return f.FrameNumber >= 2; }));
    Player.Pause();
    const int64_t position = Player.GetCurrentPosition();
    const size_t shown = Sink.Count();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Player.GetCurrentPosition(), position);
    EXPECT_LE(Sink.Count(), shown + 1); // at most the picture that was already due
    ASSERT_TRUE(Sink.Last());
    EXPECT_EQ(Sink.Last()->Position, position) << "the position is the start of the picture shown";
    TPlayerState state;
    Player.GetState(0, state);
    EXPECT_EQ(state, TPlayerState::Paused);
    EXPECT_EQ(NextEvent(Player, 0), 0);
}

TEST_F(PlayerPlaybackTest, ClosingDuringPlaybackEndsCleanlyEveryTime) {
    const std::string tiny = MakeMpeg4Avi(Dir, "tiny.avi", 1.0, 25, "160x120");
    ASSERT_FALSE(tiny.empty());
    for (int i = 0; i < 100; ++i) {
        SCOPED_TRACE(i);
        auto player = std::make_unique<TMediaPlayer>(TNullAudioSink::Factory());
        std::atomic<int> calls{0};
        TCollectingSink sink;
        player->SetVideoSink(&sink);
        player->SetNotify([&calls] { ++calls; });
        ASSERT_EQ(player->RenderFile(i % 10 == 9 ? OneSecond : tiny), ResultOk);
        player->Run();
        if (i % 3 == 1)
            player->SetPositions(player->FrameTime(i % 25));
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 7));
        if (i % 2 == 0)
            player->Close(); // else the destructor closes
        player.reset();
        const int callsAtClose = calls.load();
        const size_t framesAtClose = sink.Count();
        std::this_thread::sleep_for(5ms);
        ASSERT_EQ(calls.load(), callsAtClose);
        ASSERT_EQ(sink.Count(), framesAtClose);
    }
}

TEST_F(PlayerPlaybackTest, ASilentFileWithoutSoundDevicePlaysOnTheSystemClock) {
    TMediaPlayer player([] { return std::unique_ptr<TAudioSink>(); });
    player.SetVideoSink(&Sink);
    ASSERT_EQ(player.RenderFile(OneSecond), ResultAudioNotRendered);
    EXPECT_FALSE(player.HasAudioRenderer());
    player.Run();
    EXPECT_EQ(NextEvent(player, EventWaitMs), EventComplete);
    ExpectIncreasing(Sink.FramePositions());
}

TEST_F(PlayerPlaybackTest, RunningFreelyDeliversEveryFrame) {
    Player.SetRunFreely(true);
    Open(OneSecond);
    Player.Run();
    EXPECT_EQ(NextEvent(Player, EventWaitMs), EventComplete);
    std::vector<int64_t> expected;
    for (int64_t k = 1; k < 25; ++k)
        expected.push_back(k);
    EXPECT_EQ(Sink.FrameNumbers(), expected);
}
