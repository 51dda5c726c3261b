// Frame-exact cuts: exactly the frames selected, copied pictures as the source's, re-encoded ones
// close to them, files that other decoders read cleanly, sound from the first frame's time.
#include "media/ExactCut.h"
#include "avi_input/AVIRead.h"
#include "media/ExactCheck.h"
#include "media/ExactPlan.h"
#include "media/RangeCut.h"
#include "media/SlotWalker.h"
#include "splitting/ZarvexCls.h"

#include "fixtures/MediaFixture.h"
#include "fixtures/RiffScan.h"
#include "fixtures/Tools.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zarvex;
using namespace zarvex::media;
using namespace zarvex::fixtures;

namespace {

struct TExactSource {
    const char* Name;
    const char* Tool; // "ffmpeg", or "mencoder" for a file of MEncoder's from ffmpeg's pictures
    const char* Args;
    bool Pcm = true;
    bool BFrames = false; // a copy may need a re-encoded run at its end
};

// Key frames every 50 frames, 8 s at 25 fps.
const TExactSource ExactSources[] = {
    {"Mpeg4POnly", "ffmpeg", "-c:v mpeg4 -q:v 4 -g 50 -bf 0 -c:a pcm_s16le"},
    {"Mpeg4OpenGop", "ffmpeg", "-c:v mpeg4 -q:v 4 -g 50 -bf 2 -c:a pcm_s16le", true, true},
    {"Mpeg4ClosedGop", "ffmpeg",
     "-c:v mpeg4 -q:v 4 -g 50 -bf 2 -flags +cgop -sc_threshold 1000000000 -an", false, true},
    {"H264Pyramid", "ffmpeg",
     "-c:v libx264 -bf 3 -x264-params b-pyramid=normal:keyint=50:min-keyint=50:scenecut=0 "
     "-c:a libmp3lame",
     false, true},
    {"MsMpeg4v3", "ffmpeg", "-c:v msmpeg4 -q:v 4 -g 50 -c:a pcm_s16le"},
    {"XvidPacked", "mencoder",
     "-ovc xvid -xvidencopts bitrate=600:max_bframes=2:packed:max_key_interval=50 -nosound", false,
     true},
    {"XvidGmcQpel", "mencoder",
     "-ovc xvid -xvidencopts bitrate=600:qpel:gmc:max_bframes=1:packed:max_key_interval=50 "
     "-nosound",
     false, true},
    // Packed, with the key frame's I-VOP and a B-VOP shown before it in one chunk.
    {"LibxvidPacked", "ffmpeg", "-c:v libxvid -bf 2 -g 50 -c:a pcm_s16le", true, true},
    // Every frame a key frame: a plain copy from the first frame.
    {"Mjpeg", "ffmpeg", "-c:v mjpeg -q:v 3 -c:a pcm_s16le"},
};

class ExactCutTest : public ::testing::TestWithParam<TExactSource> {
protected:
    std::string Make() {
        const TExactSource& f = GetParam();
        return MakeWriterFile(Dir, std::string(f.Name) + ".avi", f.Tool,
                              "-f lavfi -i testsrc2=size=160x120:rate=25 -t 8",
                              "-f lavfi -i sine=sample_rate=44100 -t 8", f.Args);
    }
    TTempDir Dir;
};

// Frames of the output equal to the source's pictures, and the worst PSNR of the others.
struct TComparison {
    int64_t Frames = 0;
    int64_t Identical = 0;
    double WorstPsnr = 100.0;
};

TComparison Compare(const std::string& source, const std::string& output, int64_t first) {
    TComparison c;
    TAVIFileReader reader;
    reader.Open(output);
    c.Frames = reader.VideoStream()->EntryCount();
    TVideoDecoder in(source), out(output);
    TSlotWalker s(in), o(out);
    // The source from its start, in file order: a seek could share a fault with the cut's own.
    s.Start(0);
    o.Start(0);
    for (int64_t slot = 0; slot < c.Frames; ++slot) {
        s.MoveTo(first + slot);
        o.MoveTo(slot);
        const double psnr = LumaPsnr(*o.Current.Frame, *s.Current.Frame);
        c.Identical += psnr >= 100.0;
        c.WorstPsnr = std::min(c.WorstPsnr, psnr);
    }
    return c;
}

std::string Cut(const std::string& source, const std::string& output, int32_t first, int32_t last,
                TExactCounts* counts = nullptr) {
    TAVIFileReader reader;
    reader.Open(source);
    TZarvex copier(reader);
    copier.FileName = output;
    return CopySegmentExact(copier, first, last, counts);
}

} // namespace

TEST_P(ExactCutTest, CopiesWhatItCanAndReEncodesTheRest) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    if (std::string(GetParam().Tool) == "mencoder" && !HaveTool("mencoder"))
        GTEST_SKIP() << "MEncoder is not installed";
    const std::string source = Make();
    ASSERT_FALSE(source.empty());
    const std::string out = Dir.File("out.avi");
    // Starting and ending inside groups, inside one group, on a key frame, one frame.
    for (const auto& [first, last, copiedAtLeast] :
         {std::tuple{30, 170, 95}, {35, 45, 0}, {0, 120, 70}, {60, 60, 0}}) {
        SCOPED_TRACE(std::to_string(first) + ".." + std::to_string(last));
        TExactCounts counts;
        EXPECT_EQ(Cut(source, out, first, last, &counts), "");
        const TComparison c = Compare(source, out, first);
        EXPECT_EQ(c.Frames, last - first + 1);
        EXPECT_EQ(counts.Recoded + counts.Copied, c.Frames);
        EXPECT_GE(c.Identical, copiedAtLeast);
        if (first == 0 && !GetParam().BFrames) {
            EXPECT_EQ(counts.Recoded, 0); // from a key frame, nothing to re-encode
        }
        EXPECT_GE(c.WorstPsnr, LeastPsnr);
        if (first != 30)
            continue;
        EXPECT_EQ(
            RunCapture("ffmpeg -v error -xerror -i " + ShellQuote(out) + " -f null - 2>&1").Output,
            "");
        if (HaveTool("gst-launch-1.0")) {
            // playbin links every stream: decodebin with one sink may stall on the other.
            const auto gst = RunCapture(
                "timeout 300 gst-launch-1.0 -q playbin uri=" + ShellQuote("file://" + out) +
                " video-sink=fakesink audio-sink=fakesink 2>&1");
            EXPECT_EQ(gst.ExitCode, 0);
            EXPECT_EQ(gst.Output, "");
        }
        if (!GetParam().Pcm)
            continue;
        // The sound starts with the sample at the first frame's time and lasts as long.
        const auto pcm = [&](const std::string& file) {
            return RunCapture("ffmpeg -v error -i " + ShellQuote(file) + " -map 0:a -f s16le -")
                .Output;
        };
        const std::string all = pcm(source), cut = pcm(out);
        const size_t from = size_t(first) * 44100 / 25 * 2;
        EXPECT_EQ(cut.size(), size_t(last - first + 1) * 44100 / 25 * 2);
        EXPECT_TRUE(all.compare(from, cut.size(), cut) == 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, ExactCutTest, ::testing::ValuesIn(ExactSources),
                         [](const auto& info) { return std::string(info.param.Name); });

// A codec without a matching encoder: the key-frame copy, and the message says so.
TEST(ExactCutFallbackTest, AnUnknownCodecIsCopiedFromTheKeyFrame) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const std::string source = dir.File("ffv1.avi"), out = dir.File("out.avi");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=160x120:rate=25 -t 4 -c:v ffv1 -g 50 " +
                          ShellQuote(source)));
    TAVIFileReader reader;
    reader.Open(source);
    EXPECT_EQ(ExactCutRefusal(reader),
              "Pictures of the video codec FFV1 cannot be re-encoded to match.");
    EXPECT_EQ(Cut(source, out, 60, 80),
              "The video cannot be cut exactly; the copy starts at frame 50, the key frame "
              "before the selection.\nPictures of the video codec FFV1 cannot be re-encoded "
              "to match.");
    TAVIFileReader written;
    written.Open(out);
    EXPECT_EQ(written.VideoStream()->EntryCount(), 31u);
    const TCommandResult cli =
        RunCapture(CliPath() + " cut " + ShellQuote(source) + " --from-frame 60 --to-frame 80 -o " +
                   ShellQuote(out) + " --exact --yes --quiet 2>&1");
    EXPECT_EQ(cli.ExitCode, 0);
    EXPECT_NE(cli.Output.find("warning: The video cannot be cut exactly; the copy starts at frame "
                              "50"),
              std::string::npos)
        << cli.Output;
}

// Cancelled in any stage, at once or later: a complete, shorter file of what was done, readers
// read it cleanly, and the job says it was cancelled. Cancelled during the check, the exact cut
// stays whole and does not become the key-frame copy.
TEST(ExactCutCancelTest, EveryStageLeavesACompleteFile) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const std::string source = MakeWriterFile(
        dir, "b.avi", "ffmpeg", "-f lavfi -i testsrc2=size=160x120:rate=25 -t 8",
        "-f lavfi -i sine=sample_rate=44100 -t 8",
        "-c:v mpeg4 -q:v 4 -g 50 -bf 2 -flags +cgop -sc_threshold 1000000000 -c:a pcm_s16le");
    ASSERT_FALSE(source.empty());
    const std::string out = dir.File("out.avi");
    // From inside a group to a B-frame, whose reference after it calls for a closing run.
    constexpr int32_t First = 10, Last = 181;
    {
        TAVIFileReader reader;
        reader.Open(source);
        const TVideoPlan plan = PlanExactVideo(reader, First, Last, nullptr);
        ASSERT_FALSE(plan.Head.empty());
        ASSERT_FALSE(plan.Tail.empty());
    }
    // The bar: the head to 10 %, the walk to where the copy ends to 21.25, the closing run to 25,
    // the copy to 85 (which it reports at its last picture), the check to 100.
    const struct {
        const char* Stage;
        double From, To;
    } stages[] = {{"at once", 0, 100},        {"head", 1, 10},  {"walk", 10, 21.25},
                  {"closing run", 21.25, 25}, {"copy", 30, 80}, {"check", 85.1, 100}};
    for (const auto& stage : stages) {
        SCOPED_TRACE(stage.Stage);
        TAVIFileReader reader;
        reader.Open(source);
        TZarvex copier(reader);
        copier.FileName = out;
        bool reached = false;
        copier.OnProgress = [&](TZarvex&, bool& cancel, double percent) {
            reached = reached || (percent >= stage.From && percent <= stage.To);
            cancel = reached;
        };
        EXPECT_EQ(CopySegmentExact(copier, First, Last), "");
        EXPECT_TRUE(reached);
        EXPECT_TRUE(copier.Cancelled());
        TAVIFileReader written;
        written.Open(out);
        const auto frames = int64_t(written.VideoStream()->EntryCount());
        EXPECT_GE(frames, 1);
        if (std::string(stage.Stage) == "check")
            EXPECT_EQ(frames, Last - First + 1);
        else
            EXPECT_LT(frames, Last - First + 1);
        EXPECT_EQ(RunCapture("ffprobe -v error -count_frames -show_entries stream=nb_read_frames "
                             "-of csv=p=0 " +
                             ShellQuote(out) + " 2>&1 >/dev/null")
                      .Output,
                  "");
        EXPECT_EQ(
            RunCapture("ffmpeg -v error -xerror -i " + ShellQuote(out) + " -f null - 2>&1").Output,
            "");
    }
}

// A list of frame-exact ranges cancelled while its second range is planned: the file holds the
// first range and what was planned of the second, complete, and the save says it was cancelled.
TEST(ExactCutCancelTest, AListCancelledWhilePlanningKeepsWhatWasPlanned) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const std::string source =
        MakeWriterFile(dir, "b.avi", "ffmpeg", "-f lavfi -i testsrc2=size=160x120:rate=25 -t 8", "",
                       "-c:v mpeg4 -q:v 4 -g 50 -bf 2");
    ASSERT_FALSE(source.empty());
    TAVIFileReader reader;
    reader.Open(source);
    TRangeSave save;
    save.Pieces = {{&reader, {10, 60}, nullptr}, {&reader, {110, 180}, nullptr}};
    save.Output = dir.File("out.avi");
    save.Mode = TCutMode::Exact;
    double last = 0;
    save.OnProgress = [&](bool& cancel, double percent) {
        last = percent;
        cancel = percent > 12; // in the second range's plan
    };
    std::vector<std::string> messages;
    bool cancelled = false;
    ASSERT_TRUE(media::SaveRanges(save, messages, cancelled));
    EXPECT_TRUE(cancelled);
    EXPECT_LT(last, 20);
    TAVIFileReader written;
    written.Open(save.Output);
    const auto frames = int64_t(written.VideoStream()->EntryCount());
    EXPECT_GT(frames, 60 - 10 + 1);
    EXPECT_LT(frames, 60 - 10 + 1 + 180 - 110 + 1);
    EXPECT_EQ(
        RunCapture("ffmpeg -v error -xerror -i " + ShellQuote(save.Output) + " -f null - 2>&1")
            .Output,
        "");
}

// H.264 whose key frames are not IDR pictures: an intra refresh (one IDR, then recovery points),
// which a copy cannot start on after re-encoded pictures, and open groups, which it starts on
// once the re-encoded run closes on an IDR picture, even a run shorter than the I picture's
// frame number. The cut holds exactly the selected pictures, and its check tells when they are
// not, here by checking against the wrong source frames.
TEST(ExactCutRecoveryTest, HoldsTheSelectedPicturesAndTheCheckTellsAShift) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    const std::string refresh = "-c:v libx264 -g 60 -bf 0 -x264-params intra-refresh=1";
    const std::string openGop = "-c:v libx264 -bf 3 -x264-params "
                                "open-gop=1:keyint=60:min-keyint=60:scenecut=0";
    for (const std::string& args :
         {refresh, openGop, "-coder 0 " + openGop + ":slices=2:b-pyramid=none"}) {
        SCOPED_TRACE(args);
        TTempDir dir;
        const std::string source = dir.File("src.avi"), out = dir.File("out.avi");
        ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=160x120:rate=30 -t 6 " + args + " " +
                              ShellQuote(source)));
        TAVIFileReader reader;
        reader.Open(source);
        const int32_t key = int32_t(reader.VideoStream()->NextKeyFrame(100));
        for (const int32_t first : {72, key - 2}) {
            SCOPED_TRACE(first);
            const TVideoPlan plan = PlanExactVideo(reader, first, 144, nullptr);
            EXPECT_EQ(plan.CopiedCount() > 0, args != refresh);
            TZarvex copier(reader);
            copier.FileName = out;
            copier.CopySegmentPlanned(first, int32_t(first + plan.Count() - 1), plan);
            EXPECT_EQ(CheckExactOutput(out, reader, first, plan), "");
            EXPECT_NE(CheckExactOutput(out, reader, first + 3, plan)
                          .find("is not the source's "
                                "picture"),
                      std::string::npos);
            const TComparison c = Compare(source, out, first);
            EXPECT_EQ(c.Frames, 144 - first + 1);
            EXPECT_GE(c.WorstPsnr, LeastPsnr);
            EXPECT_EQ(
                RunCapture("ffmpeg -v error -xerror -i " + ShellQuote(out) + " -f null - 2>&1")
                    .Output,
                "");
            EXPECT_EQ(RunCapture("ffmpeg -v error -i " + ShellQuote(out) +
                                 " -f framemd5 - 2>&1 >/dev/null")
                          .Output,
                      "");
        }
    }
}
