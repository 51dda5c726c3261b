// The detector: streams of a real file, and the exact picture at a time as bitmap bits.
#include "media/MediaDet.h"
#include "export/BitmapFile.h"
#include "export/DSErrors.h"
#include "media/FFmpegPtr.h"
#include "support/Endian.h"

#include "fixtures/MediaFixture.h"

#include <gtest/gtest.h>

using namespace zarvex;
using namespace zarvex::media;
using namespace zarvex::fixtures;

namespace {

constexpr int W = 318, H = 240; // rows of 954 bytes: two bytes of padding each

// ffmpeg's top-down BGR rows as a bitmap holds them: bottom-up, padded to 4 bytes.
std::vector<uint8_t> AsBitmapRows(const std::vector<uint8_t>& topDown, int w, int h) {
    const size_t row = size_t(w) * 3, stride = size_t(BitmapRowStride(w));
    std::vector<uint8_t> out(stride * h, 0);
    for (int y = 0; y < h && topDown.size() >= row * h; ++y)
        std::copy_n(topDown.begin() + (h - 1 - y) * row, row, out.begin() + y * stride);
    return out;
}

class MediaDetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        Source = MakeMpeg4Avi(Dir, "gop250.avi", 12.0, 250, std::to_string(W) + "x240");
        ASSERT_FALSE(Source.empty());
        ASSERT_EQ(Det.SetFilename(Source), 0);
        ASSERT_EQ(Det.SetCurrentStream(0), 0);
    }
    std::vector<uint8_t> Bits(double seconds, int w = W, int h = H) {
        int64_t size = 0;
        EXPECT_EQ(Det.GetBitmapBits(seconds, size, nullptr, w, h), 0);
        std::vector<uint8_t> buf(static_cast<size_t>(size));
        EXPECT_EQ(Det.GetBitmapBits(seconds, size, buf.data(), w, h), 0);
        return buf;
    }
    TTempDir Dir;
    std::string Source;
    TMediaDet Det;
};

} // namespace

TEST_F(MediaDetTest, StreamsInFileOrder) {
    int count = 0;
    ASSERT_EQ(Det.GetOutputStreams(count), 0);
    ASSERT_EQ(count, 2);
    TStreamMediaType t;
    ASSERT_EQ(Det.GetStreamMediaType(t), 0);
    EXPECT_EQ(t.MajorType, TMajorType::Video);
    EXPECT_TRUE(t.VideoInfo);
    EXPECT_EQ(t.Width, W);
    EXPECT_EQ(t.Height, H);
    EXPECT_EQ(t.Compression, GetU32(reinterpret_cast<const uint8_t*>("FMP4")));
    double v = 0;
    ASSERT_EQ(Det.GetStreamLength(v), 0);
    EXPECT_DOUBLE_EQ(v, 12.0);
    ASSERT_EQ(Det.GetFrameRate(v), 0);
    EXPECT_DOUBLE_EQ(v, 25.0);

    ASSERT_EQ(Det.SetCurrentStream(1), 0);
    TMajorType type = TMajorType::Video;
    ASSERT_EQ(Det.GetStreamType(type), 0);
    EXPECT_EQ(type, TMajorType::Audio);
    ASSERT_EQ(Det.GetStreamMediaType(t), 0);
    EXPECT_FALSE(t.VideoInfo);
    ASSERT_EQ(Det.GetStreamLength(v), 0);
    EXPECT_NEAR(v, 12.0, 0.05);
    int64_t size = 0;
    EXPECT_NE(Det.GetBitmapBits(1.0, size, nullptr, W, H), 0) << "audio has no pictures";
    EXPECT_NE(Det.GetFrameRate(v), 0);
    EXPECT_NE(Det.SetCurrentStream(2), 0);
    EXPECT_NE(Det.SetCurrentStream(-1), 0);

    TMediaDet none;
    EXPECT_NE(none.GetOutputStreams(count), 0);
    EXPECT_NE(none.SetFilename(Dir.File("missing.avi")), 0);
}

TEST_F(MediaDetTest, BitmapsAreTheExactFramesAroundKeyFrames) {
    // Out of order on purpose, so that the kept decoder has to seek back as well as go on.
    for (int k : {250, 251, 249, 299, 0, 1}) {
        SCOPED_TRACE(k);
        const std::vector<uint8_t> buf = Bits(k * 0.04);
        ASSERT_EQ(buf.size(), size_t(BitmapInfoHeaderSize + BitmapRowStride(W) * H));
        const uint8_t* h = buf.data();
        EXPECT_EQ(GetU32(h), 40u);
        EXPECT_EQ(GetI32(h + 4), W);
        EXPECT_EQ(GetI32(h + 8), H) << "positive: bottom-up";
        EXPECT_EQ(GetU16(h + 12), 1);
        EXPECT_EQ(GetU16(h + 14), 24);
        EXPECT_EQ(GetU32(h + 16), 0u);
        EXPECT_EQ(GetU32(h + 20), uint32_t(BitmapRowStride(W) * H));
        const std::vector<uint8_t> rows(buf.begin() + 40, buf.end());
        EXPECT_EQ(rows, AsBitmapRows(FfmpegFrameBgr24(Source, k), W, H));
    }
    // Inside an interval it is still that frame.
    EXPECT_EQ(Bits(10 * 0.04 + 0.039), Bits(10 * 0.04));
}

TEST_F(MediaDetTest, ScalesToTheAskedSize) {
    const std::vector<uint8_t> buf = Bits(4.0, 161, 121);
    ASSERT_EQ(buf.size(), size_t(40 + BitmapRowStride(161) * 121));
    EXPECT_EQ(GetI32(buf.data() + 4), 161);
    EXPECT_EQ(GetI32(buf.data() + 8), 121);
    const TCommandResult ref = RunCapture(
        "ffmpeg -nostdin -v error -ss 4 -i " + ShellQuote(Source) +
        " -frames:v 1 -vf scale=161:121 -sws_flags bicubic -pix_fmt bgr24 -f rawvideo -");
    ASSERT_EQ(ref.ExitCode, 0);
    const std::vector<uint8_t> want =
        AsBitmapRows(std::vector<uint8_t>(ref.Output.begin(), ref.Output.end()), 161, 121);
    ASSERT_EQ(want.size(), buf.size() - 40);
    long diff = 0;
    for (size_t i = 0; i < want.size(); ++i)
        diff += std::abs(int(want[i]) - int(buf[40 + i]));
    EXPECT_LT(double(diff) / double(want.size()), 2.0);
}

// The length is 12 s: the last frame starts at 11.96; 12.0 and later has no frame.
TEST_F(MediaDetTest, TimesAtOrPastTheLengthFail) {
    int64_t size = 0;
    EXPECT_EQ(Det.GetBitmapBits(11.96, size, nullptr, W, H), 0);
    EXPECT_EQ(Det.GetBitmapBits(11.9999, size, nullptr, W, H), 0);
    EXPECT_EQ(Det.GetBitmapBits(12.0, size, nullptr, W, H), AVERROR_EOF);
    EXPECT_EQ(Det.GetBitmapBits(99.0, size, nullptr, W, H), AVERROR_EOF);
    EXPECT_EQ(Det.GetBitmapBits(-0.01, size, nullptr, W, H), AVERROR_EOF);
    EXPECT_NE(Det.GetBitmapBits(1.0, size, nullptr, 0, H), 0);
    std::vector<uint8_t> small(100);
    size = int64_t(small.size());
    EXPECT_NE(Det.GetBitmapBits(1.0, size, small.data(), W, H), 0) << "buffer too small";
}
