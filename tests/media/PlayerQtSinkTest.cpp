// The Qt sound sink: it opens and takes sound where there is a device; without one the factory
// makes none and the player plays silently.
#include "media/NullAudioSink.h"
#include "media/Player.h"
#include "media/QtAudioSink.h"

#include "fixtures/MediaFixture.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace zarvex::media;
using namespace zarvex::fixtures;

TEST(PlayerQtSink, OpensOrLeavesThePlayerSilent) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    int argc = 1;
    char name[] = "player_tests";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance())
        app = std::make_unique<QCoreApplication>(argc, argv);
    TTempDir dir;
    const std::string source = MakeMpeg4Avi(dir, "av.avi", 0.5, 12);
    ASSERT_FALSE(source.empty());
    TMediaPlayer player(TQtAudioSink::Factory());
    const int32_t result = player.RenderFile(source);
    if (TQtAudioSink::HaveDevice()) {
        TQtAudioSink sink;
        if (sink.Start(48000, 2)) {
            std::vector<int16_t> tone(2 * 480);
            EXPECT_GT(sink.Write(tone.data(), 480), 0u);
            EXPECT_LE(sink.FramesHeld(), sink.Capacity());
            sink.Stop();
        }
        EXPECT_TRUE(result == ResultOk || result == ResultAudioNotRendered) << result;
    } else {
        EXPECT_EQ(result, ResultAudioNotRendered);
        EXPECT_FALSE(player.HasAudioRenderer());
        EXPECT_TRUE(player.HasVideoRenderer());
    }
    player.Run();
    int32_t code = 0;
    intptr_t p1 = 0, p2 = 0;
    EXPECT_EQ(player.GetEvent(code, p1, p2, 30000), ResultOk);
    EXPECT_EQ(code, EventComplete);
}
