// Palettised video: the format's palette and palette change chunks, however a frame is reached.
#include "avi_input/AVIRead.h"
#include "avi_input/FourCC.h"
#include "media/PictureConverter.h"
#include "media/VideoDecoder.h"
#include "splitting/Joiner.h"
#include "splitting/PartPlan.h"
#include "splitting/ZarvexCls.h"
#include "support/Endian.h"

#include "fixtures/AviBuilder.h"
#include "fixtures/MediaFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace zarvex;
using namespace zarvex::media;
using namespace zarvex::fixtures;

namespace {

constexpr int Side = 16; // 8-bit rows of 16 pixels need no padding
constexpr int Frames = 12;
constexpr int ChangeAt = 6; // the palette change chunk stands before this frame

// Twelve pictures of the same pixels; a palette change chunk before the seventh gives entries
// 2 to 5 new colours.
std::vector<uint8_t> PaletteChangeAvi(TIndexStyle style = TIndexStyle::Idx1Relative) {
    std::vector<uint8_t> format = VideoFormat(Side, Side, 0);
    PutU16(format.data() + 14, 8);
    PutU32(format.data() + 20, Side * Side);
    PutU32(format.data() + 32, 256);
    for (int k = 0; k < 256; ++k)
        for (int c : {k * 16, 255 - k * 16, k * 8, 0}) // blue, green, red, reserved
            format.push_back(uint8_t(c));
    TAviLayout layout;
    layout.Index = style;
    layout.Streams.push_back({VideoHeader(25, 1, 0), format, true});
    for (int f = 0; f < Frames; ++f) {
        if (f == ChangeAt)
            layout.Chunks.push_back({0, 4 + 4 * 4, false, MakeFourCC('0', '0', 'p', 'c')});
        layout.Chunks.push_back({0, Side * Side, true});
    }
    TBuiltAvi avi = BuildAvi(layout);
    for (size_t i = 0; i < avi.Entries[0].size(); ++i) {
        uint8_t* p = avi.Bytes.data() + avi.Entries[0][i].Offset;
        if (int(i) == ChangeAt) {
            const uint8_t change[] = {2,  4,   0,  0, // bFirstEntry, bNumEntries, wFlags
                                      10, 200, 30, 0, 250, 20,  90,  0, // r, g, b, flags
                                      0,  0,   0,  0, 255, 255, 255, 0};
            std::copy(std::begin(change), std::end(change), p);
        } else {
            for (int y = 0; y < Side; ++y)
                for (int x = 0; x < Side; ++x)
                    p[y * Side + x] = uint8_t((x + y) % 8);
        }
    }
    return avi.Bytes;
}

uint64_t PictureHash(const TVideoPicture& p) {
    TPictureConverter conv;
    const int w = p.Frame->width, h = p.Frame->height;
    std::vector<uint8_t> bgr(size_t(w) * h * 3);
    conv.Convert(*p.Frame, AV_PIX_FMT_BGR24, bgr.data(), w * 3, false);
    return HashBytes(bgr.data(), bgr.size());
}

// A copy holding frames from..to of the source (and, for a join, more) shows ffmpeg's pictures
// of those slots, decodes cleanly, and reads back with as many frames as ffprobe counts.
void ExpectPictures(const std::string& out, const std::vector<uint64_t>& want) {
    SCOPED_TRACE(out);
    EXPECT_EQ(FfmpegSlotHashes(out, Side, Side), want);
    const std::string decode = "ffmpeg -v error -xerror -i " + ShellQuote(out) + " -f null - 2>&1";
    EXPECT_EQ(RunCapture(decode).Output, "");
    // Through 'idx1' alone, ffmpeg sees the same pictures.
    const auto hashes = [&](const std::string& options) {
        return RunCapture("ffmpeg -v error " + options + " -i " + ShellQuote(out) +
                          " -pix_fmt bgr24 -f framemd5 -")
            .Output;
    };
    EXPECT_EQ(hashes("-use_odml 0"), hashes(""));
    const TCommandResult count =
        RunCapture("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of "
                   "csv=p=0 " +
                   ShellQuote(out));
    TAVIFileReader copy;
    copy.Open(out);
    EXPECT_EQ(std::to_string(copy.VideoStream()->EntryCount()) + "\n", count.Output);
    EXPECT_EQ(copy.VideoStream()->EntryCount(), want.size());
}

std::vector<uint64_t> Slots(const std::vector<uint64_t>& ref, int from, int to) {
    return {ref.begin() + from, ref.begin() + to + 1};
}

} // namespace

TEST(PaletteTest, PaletteChangesHoldWhereverDecodingStarts) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const std::string path = dir.File("change.avi");
    WriteFileBytes(path, PaletteChangeAvi());
    const std::vector<uint64_t> ref = FfmpegSlotHashes(path, Side, Side);
    ASSERT_EQ(ref.size(), size_t(Frames));
    // Only the palette tells the pictures apart.
    EXPECT_EQ(ref[ChangeAt - 1], ref[0]);
    EXPECT_NE(ref[ChangeAt], ref[0]);
    EXPECT_EQ(ref[Frames - 1], ref[ChangeAt]);

    TVideoDecoder dec(path);
    for (int64_t k : {11, 0, 7, 5, 6, 3, 10, 1, 9}) {
        SCOPED_TRACE(k);
        TVideoPicture p;
        ASSERT_TRUE(dec.DecodeAt(dec.FrameTime(k), p));
        EXPECT_EQ(p.FrameNumber, k);
        EXPECT_EQ(PictureHash(p), ref[size_t(k)]);
    }
}

// A recompressed palettised file holds the source's pictures, as ffmpeg compares them.
TEST(PaletteTest, ExportShowsThePalettisedPictures) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const std::string src = dir.File("pal8.avi"), out = dir.File("out.avi");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=160x120:rate=25 -t 2 -c:v rawvideo "
                          "-pix_fmt pal8 " +
                          ShellQuote(src)));
    ASSERT_EQ(RunCapture(CliPath() + " export " + ShellQuote(src) + " --from 1 --to 2 -o " +
                         ShellQuote(out) + " --vcodec mpeg4 --vquality 2 --yes --quiet")
                  .ExitCode,
              0);
    const TCommandResult r = RunCapture(
        "ffmpeg -v info -i " + ShellQuote(out) + " -i " + ShellQuote(src) +
        " -lavfi \"[1:v]trim=start_frame=25,setpts=PTS-STARTPTS[r];[0:v][r]psnr\" -f null - 2>&1");
    const size_t at = r.Output.find(" min:");
    ASSERT_NE(at, std::string::npos) << r.Output;
    // Black pictures, or the wrong ones, are far below this.
    EXPECT_GT(std::stod(r.Output.substr(at + 5)), 30.0) << r.Output;
}

// Copies, splits and joins keep the palette in effect at their start and the changes inside
// them, whether the source's index was read, rebuilt by scanning, or is an OpenDML index that
// lists the change among the frames.
TEST(PaletteTest, CopiesKeepThePalettes) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    ZARVEX_REQUIRE_TOOL("ffprobe");
    TTempDir dir;
    const std::vector<uint8_t> bytes = PaletteChangeAvi();
    const std::string src = dir.File("change.avi"), scanned = dir.File("scanned.avi");
    const std::string odml = dir.File("odml.avi");
    WriteFileBytes(src, bytes);
    WriteFileBytes(odml, PaletteChangeAvi(TIndexStyle::OpenDML));
    const char idx1[] = "idx1";
    const auto cut = std::search(bytes.begin(), bytes.end(), idx1, idx1 + 4);
    ASSERT_NE(cut, bytes.end());
    WriteFileBytes(scanned, {bytes.begin(), cut});
    const std::vector<uint64_t> ref = FfmpegSlotHashes(src, Side, Side);
    ASSERT_EQ(ref.size(), size_t(Frames));

    for (const std::string& path : {src, scanned, odml}) {
        SCOPED_TRACE(path);
        TAVIFileReader reader;
        reader.IndexRebuild = TIndexRebuild::Always;
        reader.Open(path);
        ASSERT_EQ(reader.ScanReport().Rebuilt, path == scanned);
        ASSERT_EQ(reader.VideoStream()->EntryCount(), uint32_t(Frames));
        ASSERT_EQ(reader.VideoStream()->PaletteChanges().size(), 1u);
        EXPECT_EQ(reader.VideoStream()->PaletteChanges()[0].Before, ChangeAt);

        if (path != src) { // the change is placed as in the file's own 'idx1'
            TZarvex copier(reader);
            copier.FileName = path + ".cut.avi";
            copier.CopySegment(3, 9);
            ExpectPictures(copier.FileName, Slots(ref, 3, 9));
            continue;
        }
        // Before, across, from and after the change.
        for (auto [from, to] : {std::pair{1, 4}, {3, 9}, {ChangeAt, 8}, {7, 11}}) {
            TZarvex copier(reader);
            copier.FileName = dir.File("cut" + std::to_string(from) + ".avi");
            copier.CopySegment(from, to);
            ExpectPictures(copier.FileName, Slots(ref, from, to));
        }
        { // our copy lists the change in 'idx1' only, beside its OpenDML index
            TAVIFileReader copy;
            copy.Open(dir.File("cut3.avi"));
            TZarvex copier(copy);
            copier.FileName = dir.File("recut.avi");
            copier.CopySegment(1, 5);
            ExpectPictures(copier.FileName, Slots(ref, 4, 8));
        }
        TZarvex splitter(reader);
        ASSERT_TRUE(splitter.SplitIntoParts(3, dir.Path().string(), "part"));
        for (const TPart& part : PlanParts(*reader.VideoStream(), 3, dir.Path().string(), "part"))
            ExpectPictures(part.FileName, Slots(ref, part.FirstFrame, part.LastFrame));

        // A piece after the change, then one before it: each brings its palette.
        const std::string joined = dir.File("joined.avi");
        TJoiner().Write({{&reader, {8, 9}}, {&reader, {2, 3}}}, joined);
        std::vector<uint64_t> want = Slots(ref, 8, 9);
        for (uint64_t h : Slots(ref, 2, 3))
            want.push_back(h);
        ExpectPictures(joined, want);
    }
}
