// Exact decoding: the picture at a time is the frame whose interval holds it, from any direction.
#include "media/PictureConverter.h"
#include "media/VideoDecoder.h"
#include "export/DSErrors.h"

#include "fixtures/MediaFixture.h"

#include <gtest/gtest.h>

using namespace zarvex;
using namespace zarvex::media;
using namespace zarvex::fixtures;

namespace {

std::vector<uint8_t> ToBgr(const TVideoPicture& p) {
    TPictureConverter conv;
    const int w = p.Frame->width, h = p.Frame->height;
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
    conv.Convert(*p.Frame, AV_PIX_FMT_BGR24, out.data(), w * 3, false);
    return out;
}

class VideoDecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        Source = MakeMpeg4Avi(Dir, "gop250.avi", 12.0, 250);
        ASSERT_FALSE(Source.empty());
    }
    TTempDir Dir;
    std::string Source;
};

} // namespace

TEST_F(VideoDecoderTest, FramesAroundKeyFramesMatchFfmpeg) {
    TVideoDecoder dec(Source);
    EXPECT_EQ(dec.Width(), 320);
    EXPECT_EQ(dec.Height(), 240);
    EXPECT_DOUBLE_EQ(dec.FrameRate(), 25.0);
    EXPECT_EQ(dec.Duration(), 300 * 400000LL);
    // Out of order on purpose: backwards, across key frames, and the last frame.
    for (int64_t k : {251, 249, 250, 0, 1, 299, 17, 18, 260}) {
        SCOPED_TRACE(k);
        TVideoPicture p;
        ASSERT_TRUE(dec.DecodeAt(dec.FrameTime(k), p));
        EXPECT_EQ(p.FrameNumber, k);
        EXPECT_EQ(p.Position, k * 400000);
        EXPECT_EQ(ToBgr(p), FfmpegFrameBgr24(Source, k));
    }
}

TEST_F(VideoDecoderTest, TimesInsideAndPastTheIntervals) {
    TVideoDecoder dec(Source);
    TVideoPicture p;
    ASSERT_TRUE(dec.DecodeAt(10 * 400000 + 399999, p));
    EXPECT_EQ(p.FrameNumber, 10);
    ASSERT_TRUE(dec.DecodeAt(-5, p));
    EXPECT_EQ(p.FrameNumber, 0);
    ASSERT_TRUE(dec.DecodeAt(3600LL * TimeUnits, p));
    EXPECT_EQ(p.FrameNumber, 299);
    // Stepping on from there still works after the end was reached.
    ASSERT_TRUE(dec.DecodeAt(dec.FrameTime(5), p));
    EXPECT_EQ(p.FrameNumber, 5);
    ASSERT_TRUE(dec.DecodeNext(p));
    EXPECT_EQ(p.FrameNumber, 6);
}

TEST(VideoDecoderOpen, FailuresCarryTheirMessages) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const std::string wav = dir.File("tone.wav");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i sine -t 0.2 " + ShellQuote(wav)));
    try {
        TVideoDecoder dec(wav);
        FAIL() << "opened a file without video";
    } catch (const EZarvexError& e) {
        EXPECT_STREQ(e.what(), "Video stream is not found");
    }
    EXPECT_THROW(TVideoDecoder(dir.File("missing.avi")), EMediaError);
}
