// The viewer on real ffmpeg-made files: opening, the positions of frame and key-frame steps,
// the picture's placement, the end of playback and the codec advice error.
#include "viewing/VideoView.h"

#include "info/CodecAdvice.h"
#include "media/NullAudioSink.h"
#include "viewing/VideoWindow.h"

#include "fixtures/MediaFixture.h"

#include <QTest>

#include <gtest/gtest.h>

#include <vector>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

class VideoViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        Panel.resize(400, 200);
        Viewer.setGeometry(0, 0, 400, 200);
        Viewer.OnPlayStateChange = [this](TAVIViewer&, bool playing) { States.push_back(playing); };
    }
    // Waits until the viewer has shown the frame starting at the position.
    bool Shows(int64_t position) {
        return QTest::qWaitFor(
            [&] {
                const auto f = Viewer.VideoWindow()->Frame();
                return f && f->Position == position;
            },
            30000);
    }

    TTempDir Dir;
    std::vector<bool> States;
    QWidget Panel;
    TAVIViewer Viewer{&Panel, media::TNullAudioSink::Factory()};
};

} // namespace

TEST_F(VideoViewTest, StepsLandWhereTheFrameRateAndKeyFramesSay) {
    // 12 s at 25 fps with a key frame every 2 s.
    Viewer.Open(MakeMpeg4Avi(Dir, "clip.avi", 12.0, 50));
    EXPECT_EQ(Viewer.Duration, 300 * 400000LL);
    EXPECT_DOUBLE_EQ(Viewer.FrameRate, 25.0);
    EXPECT_FALSE(Viewer.Playing);
    std::vector<int64_t> reported;
    Viewer.OnPosition = [&](TAVIViewer&, int64_t p) { reported.push_back(p); };
    Viewer.NextFrame();
    EXPECT_EQ(Viewer.Position(), 400000);
    ASSERT_TRUE(Shows(400000));
    Viewer.PrevFrame();
    EXPECT_EQ(Viewer.Position(), 0);
    Viewer.FastBackward(); // within the first three seconds
    EXPECT_EQ(Viewer.Position(), 0);
    Viewer.FastForward(); // frame 75, then the key frame after it: 100
    EXPECT_EQ(Viewer.Position(), 4 * 10000000LL);
    Viewer.SetPosition(10 * 10000000LL);
    Viewer.FastBackward(); // frame 175, then the key frame before it: 150
    EXPECT_EQ(Viewer.Position(), 6 * 10000000LL);
    Viewer.SetPosition(11 * 10000000LL);
    Viewer.FastForward(); // after the last key frame: the end
    EXPECT_EQ(reported.back(), Viewer.Position());
    ASSERT_TRUE(Shows(299 * 400000LL)); // the end shows the last frame
    EXPECT_EQ(reported.size(), 8u);
}

TEST_F(VideoViewTest, AFrameAt2997IsOneRoundedFrameTime) {
    const std::string path = Dir.File("ntsc.avi");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=160x120:rate=30000/1001 -t 1 -c:v mpeg4 " +
                          ShellQuote(path)));
    Viewer.Open(path);
    Viewer.NextFrame();
    EXPECT_EQ(Viewer.Position(), 333667);
    EXPECT_EQ(Viewer.TimeToFrame(333667), 1);
}

TEST_F(VideoViewTest, ThePictureKeepsItsAspectInsideTheBevel) {
    Viewer.Open(MakeMpeg4Avi(Dir, "clip.avi", 0.4, 5));
    EXPECT_EQ(Viewer.VideoWindow()->parentWidget(), &Panel);
    EXPECT_EQ(Viewer.VideoWindow()->geometry(), QRect(69, 2, 266, 199));
    Viewer.resize(400, 600); // taller than wide: bars above and below
    Viewer.UpdateVideoRect();
    EXPECT_EQ(Viewer.VideoWindow()->geometry(), QRect(2, 152, 399, 299));

    // ffmpeg's uncompressed RGB is stored top-down, with a negative height: the same placement,
    // and the picture the right way up.
    const std::string topDown = Dir.File("top-down.avi");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=320x240:rate=25 -t 0.2 -c:v rawvideo "
                          "-pix_fmt bgr24 " +
                          ShellQuote(topDown)));
    Viewer.resize(400, 200);
    Viewer.Open(topDown);
    EXPECT_EQ(Viewer.VideoHeight, 240);
    EXPECT_EQ(Viewer.VideoWindow()->geometry(), QRect(69, 2, 266, 199));
    ASSERT_TRUE(Shows(0));
    EXPECT_EQ(Viewer.VideoWindow()->Frame()->Pixels, FfmpegFramePixels(topDown, 0, "bgra"));
}

TEST_F(VideoViewTest, TheEndOfPlaybackPausesAtTheStart) {
    Viewer.Open(MakeMpeg4Avi(Dir, "clip.avi", 1.0, 25));
    Viewer.PlayPause();
    EXPECT_TRUE(Viewer.Playing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Viewer.Playing; }, 30000));
    EXPECT_EQ(Viewer.Position(), 0);
    EXPECT_EQ(States, (std::vector<bool>{false, true, false}));
    ASSERT_TRUE(Shows(0));
    // Close on a closed viewer only reports "not playing".
    Viewer.Close();
    Viewer.Close();
    EXPECT_EQ(States.size(), 5u);
    EXPECT_TRUE(Viewer.FileName().empty());
    EXPECT_FALSE(Viewer.Reader().IsOpen());
}

TEST_F(VideoViewTest, FilesThatCannotBeShown) {
    const std::string audio = Dir.File("audio.avi");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i sine -t 0.5 -c:a pcm_s16le " + ShellQuote(audio)));
    try {
        Viewer.Open(audio);
        FAIL() << "opened a file without video";
    } catch (const EZarvexError& e) {
        EXPECT_STREQ(e.what(), "The video stream is not found in the selected file.");
    }
    EXPECT_FALSE(Viewer.Reader().IsOpen());

    // The video's FourCC, in the stream header and the format, patched to one nobody decodes.
    const std::string unknown = MakeUnknownVideoAvi(Dir, "zzzz.avi");
    ASSERT_FALSE(unknown.empty());
    try {
        Viewer.Open(unknown);
        FAIL() << "opened a file without a video decoder";
    } catch (const TDSOpenError& e) {
        EXPECT_EQ(e.VideoCodec, 0x5A5A5A5Au);
        EXPECT_EQ(e.AudioFormat, 0x55);
        EXPECT_EQ(e.ErrorCode, 0x00040257u);
        EXPECT_TRUE(e.SuspectVideo);
        EXPECT_FALSE(e.SuspectAudio);
    }
    EXPECT_TRUE(Viewer.FileName().empty());
    EXPECT_FALSE(Viewer.Reader().IsOpen());
}
