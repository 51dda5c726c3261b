// Runs of frames: names, the overwrite question, progress and cancel, the end of the stream.
#include "export/DSErrors.h"
#include "export/FrameExport.h"
#include "support/Errors.h"

#include "fixtures/AviBuilder.h"
#include "fixtures/MediaFixture.h"
#include "fixtures/RiffScan.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace zarvex;
using namespace zarvex::fixtures;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Bytes(const std::string& path) {
    return FileBytes(path, 0, 1 << 24);
}

class FrameRangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        Source = MakeMpeg4Avi(Dir, "clip.avi", 12.0, 250, "160x120", 25, false);
        ASSERT_FALSE(Source.empty());
        E.SourceFileName = Source;
        E.FrameRate = 25;
        E.Folder = Dir.Path().string();
        E.FileName = "shot";
        E.ImageType = TImageType::Bmp;
    }
    std::string Name(const std::string& n) const { return Dir.File(n); }
    std::vector<std::string> Files(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& f : fs::directory_iterator(Dir.Path()))
            if (f.path().filename().string().rfind(prefix, 0) == 0)
                out.push_back(f.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    TTempDir Dir;
    std::string Source;
    TFrameExporter E;
};

} // namespace

TEST(PadNumber, PadsToTheDigitsOfTheCount) {
    EXPECT_EQ(PadNumber(3, 12), "03");
    EXPECT_EQ(PadNumber(3, 5), "3");
    EXPECT_EQ(PadNumber(7, 100), "007");
    EXPECT_EQ(PadNumber(100, 100), "100");
    EXPECT_EQ(PadNumber(12, 12), "12");
}

TEST_F(FrameRangeTest, NamesFollowTheCount) {
    E.Count = 1;
    E.ImageType = TImageType::Jpeg;
    E.Execute();
    EXPECT_EQ(Files("shot"), std::vector<std::string>{"shot.jpg"}) << "one frame: no number";

    E.ImageType = TImageType::Bmp;
    E.Count = 12;
    E.Execute();
    EXPECT_EQ(E.Written().size(), 12u);
    EXPECT_TRUE(fs::exists(Name("shot_01.bmp")));
    EXPECT_TRUE(fs::exists(Name("shot_12.bmp")));
    E.Count = 9;
    E.FileName = "nine";
    E.Execute();
    EXPECT_EQ(Files("nine").front(), "nine_1.bmp");
    EXPECT_EQ(Files("nine").back(), "nine_9.bmp");
    E.Count = 100;
    E.FileName = "hundred";
    E.Execute();
    const auto h = Files("hundred");
    ASSERT_EQ(h.size(), 100u);
    EXPECT_EQ(h.front(), "hundred_001.bmp");
    EXPECT_EQ(h.back(), "hundred_100.bmp");
    // Consecutive frames: file k is frame k of the source.
    EXPECT_NE(Bytes(Name("hundred_001.bmp")), Bytes(Name("hundred_002.bmp")));
    EXPECT_EQ(Bytes(Name("hundred_001.bmp")), Bytes(Name("shot_01.bmp")));
    EXPECT_EQ(Bytes(Name("hundred_009.bmp")), Bytes(Name("nine_9.bmp")));
}

TEST_F(FrameRangeTest, NoKeepsAFileAndGoesOnCancelStops) {
    E.Count = 6;
    WriteFileBytes(Name("shot_3.bmp"), {'k', 'e', 'e', 'p'});
    WriteFileBytes(Name("shot_5.bmp"), {'c', 'u', 't'});
    std::vector<std::string> asked;
    std::vector<double> percents;
    E.OnConfirmOverwrite = [&](const std::string& q) {
        asked.push_back(q);
        return asked.size() == 1 ? TOverwriteAnswer::No : TOverwriteAnswer::Cancel;
    };
    E.OnProgress = [&](bool&, double p) { percents.push_back(p); };
    E.Execute();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], "The file \"" + Name("shot_3.bmp") +
                            "\" already exists. Do you want to overwrite it?");
    EXPECT_EQ(Bytes(Name("shot_3.bmp")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(Bytes(Name("shot_5.bmp")), (std::vector<uint8_t>{'c', 'u', 't'}));
    EXPECT_TRUE(fs::exists(Name("shot_4.bmp"))) << "No goes on with the next number";
    EXPECT_FALSE(fs::exists(Name("shot_6.bmp"))) << "Cancel ends the run";
    EXPECT_TRUE(E.Stopped());
    EXPECT_EQ(percents, (std::vector<double>{0, 20, 60})) << "no progress for a skipped frame";

    // Yes replaces; without a handler nothing existing is touched.
    E.OnConfirmOverwrite = [](const std::string&) { return TOverwriteAnswer::Yes; };
    E.Execute();
    EXPECT_GT(Bytes(Name("shot_5.bmp")).size(), 1000u);
    E.OnConfirmOverwrite = nullptr;
    const auto before = Bytes(Name("shot_2.bmp"));
    E.FrameRate = 12.5; // other frames now, to see that nothing is rewritten
    E.Execute();
    EXPECT_EQ(Bytes(Name("shot_2.bmp")), before);
    EXPECT_TRUE(E.Written().empty());
}

TEST_F(FrameRangeTest, ProgressCancelAndTheEndOfTheStream) {
    E.Count = 10;
    int calls = 0;
    E.OnProgress = [&](bool& cancel, double) { cancel = ++calls == 3; };
    E.Execute();
    EXPECT_TRUE(E.Cancelled());
    EXPECT_EQ(Files("shot").size(), 3u);

    // From frame 295 of 300, ten frames reach past the end: five files, no failure.
    E.OnProgress = nullptr;
    E.FileName = "tail";
    E.Position = 295 * 400000LL;
    EXPECT_NO_THROW(E.Execute());
    EXPECT_EQ(Files("tail"), (std::vector<std::string>{"tail_01.bmp", "tail_02.bmp", "tail_03.bmp",
                                                       "tail_04.bmp", "tail_05.bmp"}));
    // At the end position the viewer still shows the last frame: that is what is saved, alone
    // or as a run of one.
    const std::vector<uint8_t> last = Bytes(Name("tail_05.bmp"));
    E.Position = 300 * 400000LL;
    E.FileName = "end";
    for (int64_t count : {1, 4}) {
        E.Count = count;
        ASSERT_NO_THROW(E.Execute());
        ASSERT_EQ(E.Written().size(), 1u);
        EXPECT_EQ(Bytes(E.Written()[0]), last);
    }
}

TEST_F(FrameRangeTest, TheSourceIsNeverAnOutput) {
    const std::string clip = Dir.File("clip.bmp");
    fs::rename(Source, clip);
    E.SourceFileName = clip;
    E.FileName = "clip";
    const auto before = Bytes(clip);
    try {
        E.Execute();
        FAIL() << "wrote over the source";
    } catch (const EZarvexError& e) {
        EXPECT_STREQ(e.what(), "The output file is the source file.");
    }
    // The second file of a run would be the source.
    const std::string clip2 = Dir.File("clip_2.bmp");
    fs::rename(clip, clip2);
    E.SourceFileName = clip2;
    E.Count = 3;
    E.OnConfirmOverwrite = [](const std::string&) { return TOverwriteAnswer::Yes; };
    EXPECT_THROW(E.Execute(), EZarvexError);
    EXPECT_EQ(Bytes(clip2), before);
    EXPECT_TRUE(fs::exists(Dir.File("clip_1.bmp")));
}

TEST_F(FrameRangeTest, FailuresAreReported) {
    const std::string wav = Dir.File("tone.wav");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i sine -t 0.2 " + ShellQuote(wav)));
    E.SourceFileName = wav;
    try {
        E.Execute();
        FAIL();
    } catch (const EZarvexError& e) {
        EXPECT_STREQ(e.what(), "Video stream is not found");
    }
    E.SourceFileName = Source;
    E.Folder = Dir.File("missing");
    EXPECT_THROW(E.Execute(), EOSError) << "a file that cannot be created";
}

// At 30 fps a step of 10^7 / 30 rounded down falls short of frame 2's start; every file must
// still be its own frame.
TEST(FrameRange30, EveryFileIsTheNextFrame) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const std::string src = MakeMpeg4Avi(dir, "thirty.avi", 1.0, 250, "64x48", 30, false);
    ASSERT_FALSE(src.empty());
    TFrameExporter e;
    e.SourceFileName = src;
    e.FrameRate = 30;
    e.Position = 333333; // frame 1
    e.Folder = dir.Path().string();
    e.FileName = "f";
    e.ImageType = TImageType::Bmp;
    e.Count = 6;
    e.Execute();
    ASSERT_EQ(e.Written().size(), 6u);
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        const std::vector<uint8_t> bmp = FileBytes(e.Written()[k], 54, 1 << 20);
        const std::vector<uint8_t> ref = FfmpegFrameBgr24(src, k + 1);
        ASSERT_EQ(ref.size(), 64u * 48 * 3);
        // The bitmap's bottom row is the picture's last.
        EXPECT_TRUE(std::equal(ref.end() - 64 * 3, ref.end(), bmp.begin()));
        EXPECT_TRUE(std::equal(ref.begin(), ref.begin() + 64 * 3, bmp.end() - 64 * 3));
    }
}
