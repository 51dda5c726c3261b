// Exact seeking through the player: the picture shown and the position reported are those of
// the frame asked for, decoded from the key frame before it.
#include "media/NullAudioSink.h"
#include "media/Player.h"
#include "media/VideoDecoder.h"

#include "fixtures/MediaFixture.h"
#include "media/PlayerTestSinks.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <utility>
#include <vector>

using namespace zarvex;
using namespace zarvex::media;
using namespace zarvex::fixtures;

namespace {

// 4 s at 25 frames per second, key frames at 0, 40 and 80 only.
class PlayerSeekTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        Source = MakeMpeg4Avi(Dir, "gop40.avi", 4.0, 40);
        ASSERT_FALSE(Source.empty());
        Player.SetVideoSink(&Sink);
        ASSERT_EQ(Player.RenderFile(Source), ResultOk);
        ASSERT_TRUE(Sink.WaitForFrame(0));
        ASSERT_EQ(Player.Pause(), ResultOk);
    }

    // Seeks, checks the position answered at once, and waits for the picture.
    TVideoFramePtr SeekTo(int64_t time, int64_t expectedFrame) {
        EXPECT_EQ(Player.SetPositions(time), ResultOk);
        EXPECT_EQ(Player.GetCurrentPosition(), expectedFrame * 400000);
        TVideoFramePtr f = Sink.WaitForFrame(expectedFrame);
        EXPECT_TRUE(f) << "frame " << expectedFrame << " never shown";
        if (f) {
            EXPECT_EQ(f->Position, expectedFrame * 400000);
        }
        return f;
    }

    TTempDir Dir;
    std::string Source;
    TCollectingSink Sink;
    TMediaPlayer Player{TNullAudioSink::Factory()};
};

} // namespace

TEST_F(PlayerSeekTest, SeeksShowTheExactFrameAsFfmpegDecodesIt) {
    EXPECT_EQ(Player.GetDuration(), 100 * 400000LL);
    EXPECT_TRUE(Player.HasVideoRenderer());
    EXPECT_EQ(Player.VideoWidth(), 320);
    // Backwards, across key frames, just before and on them; times inside the interval.
    for (int64_t k : {57, 39, 41, 40, 0, 99, 13}) {
        SCOPED_TRACE(k);
        const TVideoFramePtr f = SeekTo(k * 400000 + 399999 * (k % 2), k);
        ASSERT_TRUE(f);
        ASSERT_EQ(f->Width, 320);
        ASSERT_EQ(f->Stride, 320 * 4);
        EXPECT_EQ(f->Pixels, FfmpegFramePixels(Source, k, "bgra"));
    }
    TPlayerState state;
    ASSERT_EQ(Player.GetState(1000, state), ResultOk);
    EXPECT_EQ(state, TPlayerState::Paused);
}

TEST_F(PlayerSeekTest, FrameStepsLeaveAKeyFrameBothWays) {
    const int64_t step = Player.FrameTime(1);
    ASSERT_EQ(step, 400000);
    SeekTo(40 * step, 40);
    // As the viewer steps: from the reported position, one frame time on or back.
    SeekTo(Player.GetCurrentPosition() + step, 41);
    SeekTo(Player.GetCurrentPosition() - step, 40);
    const TVideoFramePtr before = SeekTo(Player.GetCurrentPosition() - step, 39);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->Pixels, FfmpegFramePixels(Source, 39, "bgra"));
}

TEST_F(PlayerSeekTest, ASeekToOrPastTheEndIsAtTheEndShowingTheLastFrame) {
    for (int64_t time : {Player.GetDuration(), Player.GetDuration() + 60 * TimeUnits}) {
        ASSERT_EQ(Player.SetPositions(time), ResultOk);
        EXPECT_EQ(Player.GetCurrentPosition(), Player.GetDuration());
        const TVideoFramePtr f = Sink.WaitForFrame(99);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->Pixels, FfmpegFramePixels(Source, 99, "bgra"));
        SeekTo(-TimeUnits, 0);
    }
    // Just before the end is still the last frame's start.
    SeekTo(Player.GetDuration() - 1, 99);
}

TEST_F(PlayerSeekTest, ABurstOfSeeksEndsOnTheLastOneAskedFor) {
    std::mt19937 random(7);
    int64_t last = 0;
    for (int i = 0; i < 100; ++i) {
        last = std::uniform_int_distribution<int64_t>(0, 99)(random);
        ASSERT_EQ(Player.SetPositions(Player.FrameTime(last)), ResultOk);
        EXPECT_EQ(Player.GetCurrentPosition(), Player.FrameTime(last));
    }
    ASSERT_TRUE(Sink.WaitForFrame(last));
    // Nothing older arrives after it.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(Sink.Last()->FrameNumber, last);
    EXPECT_EQ(Player.GetCurrentPosition(), Player.FrameTime(last));
    // Most of the burst was coalesced away.
    EXPECT_LT(Sink.Count(), 100u);
}

TEST_F(PlayerSeekTest, TheNextFileStartsAtItsFirstFrameOnly) {
    SeekTo(Player.FrameTime(90), 90);
    Sink.Clear();
    ASSERT_EQ(Player.RenderFile(Source), ResultOk);
    ASSERT_TRUE(Sink.WaitForFrame(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(Sink.FrameNumbers(), std::vector<int64_t>{0}); // no seek left over from before
    EXPECT_EQ(Player.GetCurrentPosition(), 0);
}

// With B-frames and an open GOP, stepping on and back across a key frame shows ffmpeg's picture
// of every slot.
TEST(PlayerReordered, FrameStepsShowEverySlotsPicture) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const std::string source = dir.File("open.avi");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=96x64:rate=25 -t 3 -c:v mpeg4 -bf 2 -g 25 " +
                          ShellQuote(source)));
    const std::vector<uint64_t> ref = FfmpegSlotHashes(source, 96, 64, "bgra");
    ASSERT_EQ(ref.size(), 75u);
    TCollectingSink sink;
    TMediaPlayer player{TNullAudioSink::Factory()};
    player.SetVideoSink(&sink);
    ASSERT_EQ(player.RenderFile(source), ResultOk);
    ASSERT_EQ(player.Pause(), ResultOk);
    std::string wrong;
    const auto step = [&](int64_t by, int64_t expected) {
        player.SetPositions(player.GetCurrentPosition() + by * player.FrameTime(1));
        const TVideoFramePtr f = sink.WaitForFrame(expected);
        if (!f || HashBytes(f->Pixels.data(), f->Pixels.size()) != ref[size_t(expected)])
            wrong += " " + std::to_string(expected);
    };
    for (int64_t k = 1; k < 60; ++k)
        step(1, k);
    for (int64_t k = 58; k >= 0; --k)
        step(-1, k);
    EXPECT_EQ(wrong, "");
}

namespace {

// Keeps the number and the picture's hash of everything shown.
class THashingSink : public TVideoSink {
public:
    void Deliver(TVideoFramePtr frame) override {
        std::lock_guard lock(Mutex);
        Shown.emplace_back(frame->FrameNumber,
                           HashBytes(frame->Pixels.data(), frame->Pixels.size()));
        Changed.notify_all();
    }
    bool WaitFor(int64_t frame) {
        std::unique_lock lock(Mutex);
        return Changed.wait_for(lock, std::chrono::seconds(30),
                                [&] { return !Shown.empty() && Shown.back().first == frame; });
    }
    std::mutex Mutex;
    std::condition_variable Changed;
    std::vector<std::pair<int64_t, uint64_t>> Shown;
};

} // namespace

// Sparse key frames, with and without B-frames (some skipped on the way to the frame sought):
// random seeks, then a drag whose seeks come faster than they decode, so that a walk to one
// position goes on to a newer one and shows those it passes. Every picture is ffmpeg's of a
// position asked for.
TEST(PlayerSparseKeys, RandomSeeksAndADragShowExactPictures) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    for (const char* bf : {"0", "2"}) {
        SCOPED_TRACE(bf);
        const std::string source = dir.File(std::string("bf") + bf + ".avi");
        ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=320x240:rate=25 -t 12 -c:v mpeg4 -bf " +
                              std::string(bf) + " -g 250 -sc_threshold 1000000000 " +
                              ShellQuote(source)));
        const std::vector<uint64_t> ref = FfmpegSlotHashes(source, 320, 240, "bgra");
        ASSERT_EQ(ref.size(), 300u);
        THashingSink sink;
        TMediaPlayer player{TNullAudioSink::Factory()};
        player.SetVideoSink(&sink);
        ASSERT_EQ(player.RenderFile(source), ResultOk);
        ASSERT_EQ(player.Pause(), ResultOk);
        std::set<int64_t> asked{0};
        std::mt19937 random(5);
        for (int i = 0; i < 20; ++i) {
            const int64_t k = std::uniform_int_distribution<int64_t>(1, 299)(random);
            asked.insert(k);
            player.SetPositions(player.FrameTime(k));
            ASSERT_TRUE(sink.WaitFor(k)) << k;
        }
        int64_t k = 0, step = 23;
        for (int i = 0; i < 200; ++i) {
            step = k + step < 0 || k + step >= 300 ? -step : step;
            k += step;
            asked.insert(k);
            player.SetPositions(player.FrameTime(k));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(sink.WaitFor(k));
        std::lock_guard lock(sink.Mutex);
        std::string wrong;
        for (const auto& [frame, hash] : sink.Shown)
            if ((!asked.count(frame) || hash != ref[size_t(frame)]) && wrong.size() < 100)
                wrong += " " + std::to_string(frame);
        EXPECT_EQ(wrong, "");
    }
}
