// The image files of a frame, read back by ImageMagick and ffmpeg.
#include "export/BitmapFile.h"
#include "export/FrameExport.h"
#include "export/JpegFile.h"
#include "support/Endian.h"
#include "support/Errors.h"

#include "fixtures/MediaFixture.h"
#include "fixtures/RiffScan.h"

#include <gtest/gtest.h>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

// The example tables of the JPEG standard, in natural order, and the zigzag order of DQT.
const int Luma[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                      14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                      18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                      49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const int Chroma[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                        24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                        99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                        99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
const int ZigZag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                        12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                        35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                        58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The table for a quality as the standard's scaling gives it, limited to baseline's 8 bits.
std::vector<int> Scaled(const int* base, int quality) {
    const int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    std::vector<int> out(64);
    for (int i = 0; i < 64; ++i)
        out[i] = std::clamp((base[ZigZag[i]] * scale + 50) / 100, 1, 255);
    return out;
}

struct TJpegInfo {
    std::vector<std::vector<int>> Tables; // in file order, as stored (zigzag)
    std::vector<int> Precisions;
    std::vector<int> Frames; // SOFn marker bytes
};

TJpegInfo ReadMarkers(const std::vector<uint8_t>& f) {
    TJpegInfo info;
    size_t p = 2;
    while (p + 4 <= f.size() && f[p] == 0xFF) {
        const int marker = f[p + 1];
        const size_t len = size_t(f[p + 2]) << 8 | f[p + 3];
        if (marker == 0xDB)
            for (size_t q = p + 4; q < p + 2 + len;) {
                const int precision = f[q] >> 4;
                info.Precisions.push_back(precision);
                std::vector<int> t(64);
                for (int i = 0; i < 64; ++i)
                    t[i] = precision ? f[q + 1 + 2 * i] << 8 | f[q + 2 + 2 * i] : f[q + 1 + i];
                info.Tables.push_back(t);
                q += 1 + 64 * (precision ? 2 : 1);
            }
        if (marker >= 0xC0 && marker <= 0xC2)
            info.Frames.push_back(marker);
        if (marker == 0xDA)
            break;
        p += 2 + len;
    }
    return info;
}

TBitmap24 Gradient(int w, int h) {
    TBitmap24 b;
    b.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* px = b.Bits.data() + y * b.Stride() + x * 3;
            px[0] = uint8_t(x * 4);       // blue grows to the right
            px[1] = uint8_t(128);         // green flat
            px[2] = uint8_t(y * 255 / h); // red grows upwards (rows are bottom-up)
        }
    return b;
}

} // namespace

TEST(BitmapFile, LayoutFieldByField) {
    const TBitmap24 b = Gradient(3, 2); // 9 bytes of pixels per row, padded to 12
    const std::vector<uint8_t> f = BitmapFileBytes(b);
    ASSERT_EQ(f.size(), 54u + 24u);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(GetU32(&f[2]), 78u);
    EXPECT_EQ(GetU32(&f[6]), 0u);
    EXPECT_EQ(GetU32(&f[10]), 54u);
    EXPECT_EQ(GetU32(&f[14]), 40u);
    EXPECT_EQ(GetI32(&f[18]), 3);
    EXPECT_EQ(GetI32(&f[22]), 2);
    EXPECT_EQ(GetU16(&f[26]), 1);
    EXPECT_EQ(GetU16(&f[28]), 24);
    EXPECT_EQ(GetU32(&f[30]), 0u);
    EXPECT_EQ(GetU32(&f[34]), 24u);
    for (int i = 38; i < 54; ++i)
        EXPECT_EQ(f[i], 0) << i;
    EXPECT_TRUE(std::equal(b.Bits.begin(), b.Bits.end(), f.begin() + 54));
}

TEST(JpegFile, QualityTablesAndScanKinds) {
    const TBitmap24 b = Gradient(64, 48);
    for (int q : {5, 50, 85, 100}) {
        SCOPED_TRACE(q);
        for (bool progressive : {false, true}) {
            const TJpegInfo info = ReadMarkers(JpegFileBytes(b, q, progressive));
            EXPECT_EQ(info.Frames, std::vector<int>{progressive ? 0xC2 : 0xC0});
            ASSERT_EQ(info.Tables.size(), 2u);
            EXPECT_EQ(info.Precisions, (std::vector<int>{0, 0})) << "baseline 8-bit tables";
            EXPECT_EQ(info.Tables[0], Scaled(Luma, q));
            EXPECT_EQ(info.Tables[1], Scaled(Chroma, q));
        }
    }
    EXPECT_THROW(JpegFileBytes(b, 0, false), EZarvexError);
}

class FrameFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        ZARVEX_REQUIRE_TOOL("identify");
        Source = MakeMpeg4Avi(Dir, "clip.avi", 2.0, 250, "322x240", 25, false);
        ASSERT_FALSE(Source.empty());
        E.SourceFileName = Source;
        E.Position = 17 * 400000LL;
        E.Folder = Dir.Path().string();
        E.FileName = "frame";
    }
    std::string Identify(const std::string& format, const std::string& path) {
        return RunCapture("identify -format '" + format + "' " + ShellQuote(path)).Output;
    }
    TTempDir Dir;
    std::string Source;
    TFrameExporter E;
};

TEST_F(FrameFilesTest, BmpOpensWithTheFramesPixels) {
    E.ImageType = TImageType::Bmp;
    E.Execute();
    const std::string path = Dir.File("frame.bmp");
    EXPECT_EQ(Identify("%m %w %h", path), "BMP3 322 240");
    // ImageMagick's own decode of the file is ffmpeg's frame 17.
    const TCommandResult px = RunCapture("convert " + ShellQuote(path) + " bgr:-");
    const std::vector<uint8_t> ref = FfmpegFrameBgr24(Source, 17);
    ASSERT_EQ(px.Output.size(), ref.size());
    EXPECT_TRUE(std::equal(ref.begin(), ref.end(), px.Output.begin(),
                           [](uint8_t a, char b) { return a == uint8_t(b); }));
}

TEST_F(FrameFilesTest, JpegDecodesAtTheAskedQuality) {
    const std::vector<uint8_t> ref = FfmpegFrameBgr24(Source, 17);
    for (bool progressive : {true, false}) {
        SCOPED_TRACE(progressive);
        E.Quality = 90;
        E.Progressive = progressive;
        E.Execute();
        const std::string path = Dir.File("frame.jpg");
        EXPECT_EQ(Identify("%m %w %h %Q %[jpeg:sampling-factor]", path),
                  "JPEG 322 240 90 2x2,1x1,1x1");
        EXPECT_EQ(Identify("%[interlace]", path), progressive ? "JPEG" : "None");
        const TCommandResult px = RunCapture("ffmpeg -nostdin -v error -i " + ShellQuote(path) +
                                             " -f rawvideo -pix_fmt bgr24 -");
        ASSERT_EQ(px.Output.size(), ref.size());
        double diff = 0;
        for (size_t i = 0; i < ref.size(); ++i)
            diff += std::abs(int(ref[i]) - int(uint8_t(px.Output[i])));
        EXPECT_LT(diff / double(ref.size()), 6.0) << "same picture, same colours, same way up";
    }
}
