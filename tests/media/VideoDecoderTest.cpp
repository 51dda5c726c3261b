// Exact decoding: the picture at a time is the frame whose interval holds it, from any direction.
#include "media/VideoDecoder.h"
#include "avi_input/AVIRead.h"
#include "avi_input/RepairedLayout.h"
#include "export/DSErrors.h"
#include "export/FrameExport.h"
#include "media/MediaInput.h"
#include "media/PictureConverter.h"
#include "support/Endian.h"
#include "support/FrameClock.h"

#include "fixtures/AviBuilder.h"
#include "fixtures/MediaFixture.h"
#include "fixtures/RiffScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

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

TEST(FrameClock, OneRuleForTimesAndFrames) {
    const TFrameClock ntsc(30000, 1001);
    EXPECT_EQ(ntsc.FrameStep(), 333667);
    EXPECT_EQ(ntsc.FrameStart(30), 10010000);
    EXPECT_EQ(ntsc.FrameStart(1), 333667); // 333666.67 rounded
    for (int64_t k : {0, 1, 29, 30, 1799, 107892}) {
        EXPECT_EQ(ntsc.FrameAt(ntsc.FrameStart(k)), k);
        EXPECT_EQ(ntsc.FrameAt(ntsc.FrameStart(k + 1) - 1), k);
        EXPECT_EQ(ntsc.NearestFrame(ntsc.FrameStart(k)), k);
    }
    EXPECT_EQ(ntsc.FrameAt(-5), 0);
    EXPECT_EQ(ntsc.NearestFrame(-30000000), -90);
    // Typed times: the frame shown then, or one starting within half a millisecond after.
    EXPECT_EQ(ntsc.TypedFrame(1.0), 29);
    EXPECT_EQ(ntsc.TypedFrame(1.001), 30);
    EXPECT_EQ(ntsc.TypedFrame(1.0005), 29);
    EXPECT_EQ(ntsc.TypedFrame(0), 0);
    const TFrameClock pal(25, 1);
    EXPECT_EQ(pal.TypedFrame(0.04), 1);
    EXPECT_EQ(pal.TypedFrame(0.0794), 1);
    EXPECT_EQ(pal.TypedFrame(0.0796), 2);
    // A half goes to the even frame, as the viewer names positions.
    EXPECT_EQ(pal.NearestFrame(200000), 0);
    EXPECT_EQ(pal.NearestFrame(600000), 2);
    EXPECT_EQ(TFrameClock(0, 0).FrameStep(), 400000);
}

namespace {

struct TReorderedFile {
    const char* Name;
    const char* Tool; // "ffmpeg", or "mencoder" for a file of MEncoder's from ffmpeg's pictures
    const char* Args;
    int Rate = 25; // of the pattern
};

// Files whose pictures are stored out of display order, as different writers make them, and
// palettised pictures, whose palette the reader hands on only once.
const TReorderedFile ReorderedFiles[] = {
    {"RawPal8", "ffmpeg", "-c:v rawvideo -pix_fmt pal8"},
    {"Mpeg4OpenGop", "ffmpeg", "-c:v mpeg4 -bf 2 -g 25"},
    {"Mpeg4ClosedGop", "ffmpeg", "-c:v mpeg4 -bf 2 -g 25 -flags +cgop -sc_threshold 1000000000"},
    {"H264Pyramid", "ffmpeg", "-c:v libx264 -bf 3 -x264-params b-pyramid=normal -g 25"},
    {"H264OpenGop", "ffmpeg", "-c:v libx264 -bf 3 -x264-params open-gop=1 -g 25"},
    // 24 pictures a second on a 29.97 time line: every fifth chunk is empty.
    {"Mpeg4DropFrames", "ffmpeg",
     "-vf settb=1001/30000 -r 30000/1001 -vsync passthrough -c:v mpeg4 -bf 2 -g 25", 24},
    {"XvidPacked", "mencoder", "-ovc xvid -xvidencopts bitrate=300:max_bframes=2:packed"},
    {"LavcBFrames", "mencoder", "-ovc lavc -lavcopts vcodec=mpeg4:vmax_b_frames=2:keyint=25"},
    // One IDR picture, then recovery points whose pictures the decoder marks unrecovered.
    {"H264IntraRefresh", "ffmpeg", "-c:v libx264 -bf 0 -g 30 -x264-params intra-refresh=1", 30},
    // After a seek the decoder drops every B-frame of the first group, unless fed differently.
    {"Mpeg4InterlacedB", "ffmpeg", "-c:v mpeg4 -flags +ildct+ilme -bf 1 -vtag DX50"},
};

class ReorderedFramesTest : public ::testing::TestWithParam<TReorderedFile> {
protected:
    std::string Make() {
        const TReorderedFile& f = GetParam();
        return MakeWriterFile(Dir, std::string(f.Name) + ".avi", f.Tool,
                              "-f lavfi -i testsrc2=size=96x64:rate=" + std::to_string(f.Rate) +
                                  " -t 12",
                              "", f.Args);
    }
    TTempDir Dir;
};

uint64_t PictureHash(const TVideoPicture& p) {
    const std::vector<uint8_t> bgr = ToBgr(p);
    return HashBytes(bgr.data(), bgr.size());
}

// The slots, in the order asked, whose picture is not ffmpeg's; "" when all are.
std::string WrongSlots(TVideoDecoder& dec, const std::vector<uint64_t>& ref,
                       const std::vector<int64_t>& order) {
    std::string wrong;
    for (int64_t k : order) {
        TVideoPicture p;
        if (!dec.DecodeAt(dec.FrameTime(k), p) || PictureHash(p) != ref[size_t(k)] ||
            p.FrameNumber > k || dec.TimeToFrame(p.Position) != p.FrameNumber)
            wrong += wrong.size() < 100 ? " " + std::to_string(k) : "";
    }
    return wrong;
}

// Plays on from a frame up to another: each picture covers the slots up to the next one's.
std::string WrongPlaying(TVideoDecoder& dec, const std::vector<uint64_t>& ref, int64_t from,
                         int64_t until) {
    TVideoPicture p;
    if (!dec.DecodeAt(dec.FrameTime(from), p))
        return "no picture";
    std::string wrong;
    int64_t slot = from;
    for (bool more = true; more && slot < until;) {
        TVideoPicture next;
        more = dec.DecodeNext(next);
        for (const int64_t end = more ? next.FrameNumber : until; slot < end && slot < until;
             ++slot)
            if (PictureHash(p) != ref[size_t(slot)] && wrong.size() < 100)
                wrong += " " + std::to_string(slot);
        if (more)
            p = std::move(next);
    }
    return slot < until ? wrong + " ended at " + std::to_string(slot) : wrong;
}

} // namespace

// Frame N is the picture ffmpeg shows in slot N, however it is reached.
TEST_P(ReorderedFramesTest, EveryFrameIsFfmpegsPictureOfItsSlot) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    if (std::string(GetParam().Tool) == "mencoder" && !HaveTool("mencoder"))
        GTEST_SKIP() << "MEncoder is not installed";
    const std::string source = Make();
    ASSERT_FALSE(source.empty());
    const std::vector<uint64_t> ref = FfmpegSlotHashes(source, 96, 64);
    ASSERT_GE(ref.size(), 280u);
    const int64_t count = int64_t(ref.size());

    TVideoDecoder stepper(source);
    EXPECT_EQ(WrongPlaying(stepper, ref, 0, count), "") << "playing";

    std::vector<int64_t> order(static_cast<size_t>(count));
    for (int64_t k = 0; k < count; ++k)
        order[size_t(k)] = k;
    EXPECT_EQ(WrongSlots(stepper, ref, order), "") << "next frame, one at a time";
    std::reverse(order.begin(), order.end());
    TVideoDecoder single(source, 1);
    EXPECT_EQ(WrongSlots(single, ref, order), "") << "previous frame, one thread";
    // Pictures kept from the walks before, some fifty of this size, and three decoders: stepping
    // back through them, playing on from them into what was not kept, and random seeks.
    TVideoDecoder keeper(source);
    keeper.KeepRecent(size_t(1) << 20);
    keeper.KeepWalkers(3);
    EXPECT_EQ(WrongSlots(keeper, ref, order), "") << "previous frame, kept pictures";
    EXPECT_EQ(WrongPlaying(keeper, ref, 10, count), "") << "playing from kept pictures";
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    EXPECT_EQ(WrongSlots(stepper, ref, order), "") << "random seeks";
    EXPECT_EQ(WrongSlots(keeper, ref, order), "") << "random seeks, kept pictures";

    // The command line's run of frames, as bitmaps (bottom-up rows of 288 bytes).
    const std::string out = Dir.File("f");
    const TCommandResult r = RunCapture(CliPath() + " frames " + ShellQuote(source) +
                                        " --at 0 --quiet --yes --format bmp --count " +
                                        std::to_string(count) + " -o " + ShellQuote(out));
    ASSERT_EQ(r.ExitCode, 0);
    std::string wrong;
    for (int64_t k = 0; k < count; ++k) {
        const auto bmp = FileBytes(out + "_" + PadNumber(k + 1, count) + ".bmp", 54, 1 << 20);
        std::vector<uint8_t> rows;
        for (size_t y = bmp.size() / 288; y-- > 0;)
            rows.insert(rows.end(), bmp.begin() + std::ptrdiff_t(y * 288),
                        bmp.begin() + std::ptrdiff_t(y * 288 + 288));
        if ((rows.size() != 96 * 64 * 3 || HashBytes(rows.data(), rows.size()) != ref[size_t(k)]) &&
            wrong.size() < 100)
            wrong += " " + std::to_string(k);
    }
    EXPECT_EQ(wrong, "") << "zarvex-cli frames";
}

INSTANTIATE_TEST_SUITE_P(Writers, ReorderedFramesTest, ::testing::ValuesIn(ReorderedFiles),
                         [](const auto& info) { return std::string(info.param.Name); });

namespace {

// The video of an AVI file again in an OpenDML layout with a second RIFF list, whose super
// index names a standard index past the end of the file.
std::vector<uint8_t> OpenDmlWithLostIndex(const std::string& source) {
    TAVIFileReader reader;
    reader.Open(source);
    const TAVIStream& video = *reader.VideoStream();
    TAviLayout layout;
    layout.Index = TIndexStyle::OpenDML;
    layout.Streams.push_back({video.Header, video.Format, true});
    for (uint32_t i = 0; i < video.EntryCount(); ++i)
        layout.Chunks.push_back({0, video.EntrySize(i), video.IsKeyFrame(i)});
    layout.AvixFromChunk = video.EntryCount() / 2;
    layout.EntriesPerStdIndex = video.EntryCount() / 4;
    TBuiltAvi avi = BuildAvi(layout);
    for (uint32_t i = 0; i < video.EntryCount(); ++i)
        video.ReadChunk(i, avi.Bytes.data() + avi.Entries[0][i].Offset);
    PutU64(avi.Bytes.data() + avi.IndxPos[0] + 32 + 16 * 2, avi.Bytes.size() + 4096);
    return avi.Bytes;
}

} // namespace

// A damaged file is decoded through its rebuilt index: every recovered frame is the intact
// file's picture of that slot, the last one included, and an export holds all of them. Bytes
// inserted into 'movi' leave FFmpeg's own reading with a stale index.
TEST(RebuiltIndexDecodeTest, DamagedFilesShowTheIntactFilesPictures) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const std::string intact = dir.File("intact.avi");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=96x64:rate=25 -f lavfi -i sine -t 8 "
                          "-c:v mpeg4 -bf 2 -g 25 -c:a pcm_s16le " +
                          ShellQuote(intact)));
    const std::vector<uint64_t> ref = FfmpegSlotHashes(intact, 96, 64);
    const std::vector<uint8_t> bytes = FileBytes(intact, 0, std::filesystem::file_size(intact));
    const std::string text(bytes.begin(), bytes.end());
    const size_t chunk = text.find("00dc", bytes.size() / 2);
    ASSERT_NE(chunk, std::string::npos);
    std::vector<uint8_t> inserted(bytes.begin(), bytes.begin() + std::ptrdiff_t(chunk));
    inserted.resize(inserted.size() + 4096, 0x5A);
    inserted.insert(inserted.end(), bytes.begin() + std::ptrdiff_t(chunk), bytes.end());
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> damaged = {
        {"cut.avi", std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() * 6 / 10)},
        {"inserted.avi", inserted},
        {"odml.avi", OpenDmlWithLostIndex(intact)}};
    for (const auto& [name, content] : damaged) {
        SCOPED_TRACE(name);
        const std::string path = dir.File(name);
        WriteFileBytes(path, content);
        TAVIFileReader reader;
        reader.IndexRebuild = TIndexRebuild::Always;
        reader.Open(path);
        ASSERT_TRUE(reader.ScanReport().Rebuilt);
        const int64_t frames = reader.VideoStream()->EntryCount();
        const auto published = PublishRepairedLayout(TRepairedLayout::Build(reader));
        TVideoDecoder dec(path);
        EXPECT_EQ(dec.Duration(), dec.FrameTime(frames));
        // Cut inside a group of B-frames, the last slot's own picture is lost: the reference
        // picture after it comes out there, as in ffmpeg's decode of the cut file.
        const int64_t exact = name == "cut.avi" ? frames - 1 : frames;
        TVideoPicture last;
        ASSERT_TRUE(dec.DecodeAt(dec.FrameTime(frames - 1), last));
        EXPECT_EQ(last.FrameNumber, frames - 1);
        std::vector<int64_t> order; // backwards, so that every key frame is sought
        for (int64_t k = exact; k-- > 0;)
            order.push_back(k);
        EXPECT_EQ(WrongSlots(dec, ref, order), "");

        const std::string out = dir.File("export.avi");
        const TCommandResult r =
            RunCapture(CliPath() + " export " + ShellQuote(path) + " --from 0 --to 60 -o " +
                       ShellQuote(out) + " --vcodec mpeg4 --yes --quiet 2>/dev/null");
        ASSERT_EQ(r.ExitCode, 0);
        EXPECT_EQ(RunCapture("ffprobe -v error -select_streams v -count_packets -show_entries "
                             "stream=nb_read_packets -of csv=p=0 " +
                             ShellQuote(out))
                      .Output,
                  std::to_string(frames) + "\n");
    }
}
