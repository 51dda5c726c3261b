// zarvex-cli frames: names, formats, questions and the source's safety.
#include "fixtures/AviBuilder.h"
#include "fixtures/MediaFixture.h"
#include "fixtures/RiffScan.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using namespace zarvex;
using namespace zarvex::fixtures;
namespace fs = std::filesystem;

namespace {

class CliFramesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        Source = MakeMpeg4Avi(Dir, "clip.avi", 2.0, 250, "96x64", 25, false);
        ASSERT_FALSE(Source.empty());
    }
    TCommandResult Run(const std::string& args) {
        return RunCapture(CliPath() + " frames " + ShellQuote(Source) + " " + args +
                          " </dev/null 2>/dev/null");
    }
    // The first bytes after the SOI marker's segments tell baseline (C0) from progressive (C2).
    bool Progressive(const std::string& path) {
        const auto f = FileBytes(path, 0, 1 << 20);
        for (size_t i = 0; i + 1 < f.size(); ++i)
            if (f[i] == 0xFF && (f[i + 1] == 0xC0 || f[i + 1] == 0xC2))
                return f[i + 1] == 0xC2;
        return false;
    }
    TTempDir Dir;
    std::string Source;
};

} // namespace

TEST_F(CliFramesTest, WritesNamedFilesInTheAskedFormat) {
    const std::string out = Dir.File("new/folder/shot");
    TCommandResult r = Run("--at 0:00.4 -o " + out + " --yes");
    ASSERT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Output, out + ".jpg\n");
    EXPECT_TRUE(Progressive(out + ".jpg")) << "progressive by default";

    r = Run("--at 1 --count 3 --format bmp -o " + out);
    ASSERT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Output, out + "_1.bmp\n" + out + "_2.bmp\n" + out + "_3.bmp\n");
    // The file of --at 1 is frame 25, the same picture as ffmpeg's frame 25.
    const auto ref = FfmpegFrameBgr24(Source, 25);
    const auto bmp = FileBytes(out + "_1.bmp", 54, 1 << 20);
    ASSERT_EQ(bmp.size(), ref.size());
    EXPECT_TRUE(std::equal(ref.end() - 96 * 3, ref.end(), bmp.begin()));

    ASSERT_EQ(Run("--at 1 --baseline --quality 40 -o " + Dir.File("b.JPEG")).ExitCode, 0);
    EXPECT_FALSE(Progressive(Dir.File("b.jpg"))) << "the extension picks the type";
    ASSERT_EQ(Run("--at 1.96 --count 5 -o " + Dir.File("end")).ExitCode, 0);
    EXPECT_TRUE(fs::exists(Dir.File("end_1.jpg")));
    EXPECT_FALSE(fs::exists(Dir.File("end_2.jpg"))) << "the run ends with the video";
}

TEST_F(CliFramesTest, QuestionsAndRefusals) {
    for (const std::string& bad :
         {std::string("--at 1"), "-o " + Dir.File("x"),
          "--at 1 -o " + Dir.File("x") + " --quality 0",
          "--at 1 -o " + Dir.File("x") + " --quality 101",
          "--at 1 -o " + Dir.File("x.bmp") + " --format jpg",
          "--at 1 -o " + Dir.File("x") + " --format png",
          "--at 1 -o " + Dir.File("x") + " --count 0", "--at 2 -o " + Dir.File("x"),
          "--at 1 -o " + Dir.Path().string() + "/"})
        EXPECT_EQ(Run(bad).ExitCode, 2) << bad;
    EXPECT_EQ(Run("--at 1 -o " + Dir.File("no/such/folder/x")).ExitCode, 3)
        << "creating the folder is asked, and there is no terminal";

    WriteFileBytes(Dir.File("keep.jpg"), {'k'});
    EXPECT_EQ(Run("--at 1 -o " + Dir.File("keep")).ExitCode, 3);
    EXPECT_EQ(FileBytes(Dir.File("keep.jpg"), 0, 10), std::vector<uint8_t>{'k'});
    WriteFileBytes(Dir.File("keep_2.jpg"), {'k'});
    const TCommandResult r = Run("--at 1 --count 3 -o " + Dir.File("keep"));
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Output, Dir.File("keep_1.jpg") + "\n" + Dir.File("keep_3.jpg") + "\n")
        << "without a terminal an existing file is kept and the run goes on";
    EXPECT_EQ(FileBytes(Dir.File("keep_2.jpg"), 0, 10), std::vector<uint8_t>{'k'});

    const std::string jpgSource = Dir.File("clip.jpg");
    fs::copy_file(Source, jpgSource);
    Source = jpgSource;
    const auto before = FileBytes(Source, 0, 1 << 24);
    EXPECT_EQ(Run("--at 1 --yes -o " + Dir.File("clip")).ExitCode, 1);
    EXPECT_EQ(FileBytes(Source, 0, 1 << 24), before) << "the source is never written";
}

// A typed time names the frame shown at it, for a single frame and an export's segment alike;
// a time typed to the millisecond takes a frame starting within half a millisecond after it.
TEST(CliTypedTimes, NameTheFrameShownThen) {
    ZARVEX_REQUIRE_TOOL("ffprobe");
    TTempDir dir;
    const std::string src = dir.File("ntsc.avi");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=96x64:rate=30000/1001 -t 2 -c:v mpeg4 -bf 2 " +
                          ShellQuote(src)));
    const auto cli = [&](const std::string& args) {
        return RunCapture(CliPath() + " " + args + " --yes </dev/null >/dev/null 2>&1").ExitCode;
    };
    const auto bottomRow = [](const std::vector<uint8_t>& picture) {
        return std::vector<uint8_t>(picture.end() - 96 * 3, picture.end());
    };
    // Frame 29 runs from 0.967 s to 1.001001 s.
    for (const auto& [at, frame] : {std::pair{"1", 29}, {"1.001", 30}, {"0:00:00.968", 29}}) {
        SCOPED_TRACE(at);
        const std::string out = dir.File(std::string("at") + at + ".bmp");
        ASSERT_EQ(cli("frames " + ShellQuote(src) + " --at " + at + " -o " + ShellQuote(out)), 0);
        const auto bmp = FileBytes(out, 54, 96 * 3);
        EXPECT_EQ(bmp, bottomRow(FfmpegFrameBgr24(src, frame)));
    }
    // 1 s to 1.2 s: frames 29 to 34, the one shown at 1.2 s being 35.
    const std::string cut = dir.File("cut.avi");
    ASSERT_EQ(cli("export " + ShellQuote(src) + " --from 1 --to 1.2 -o " + ShellQuote(cut)), 0);
    const TCommandResult probe = RunCapture("ffprobe -v error -select_streams v:0 -count_packets "
                                            "-show_entries stream=nb_read_packets -of csv=p=0 " +
                                            ShellQuote(cut));
    EXPECT_EQ(probe.Output, "6\n");
    EXPECT_EQ(FfmpegFrameBgr24(cut, 0), FfmpegFrameBgr24(src, 29));
}

// Through zarvex-cli-media: "--" ends the options, a missing folder is named as missing, and an
// export that would hold no frame is refused before anything is written.
TEST_F(CliFramesTest, DashNamesMissingFoldersAndEmptyExports) {
    fs::copy_file(Source, Dir.File("-x.avi"));
    const auto cli = [&](const std::string& args) {
        return RunCapture("cd " + ShellQuote(Dir.Path().string()) + " && " + CliPath() + " " +
                          args + " </dev/null 2>&1");
    };
    EXPECT_EQ(cli("frames --at 1 -o one.bmp --yes -- -x.avi").ExitCode, 0);
    EXPECT_TRUE(fs::exists(Dir.File("one.bmp")));
    EXPECT_EQ(cli("frames --at 1 -o one.bmp -x.avi").ExitCode, 2) << "an unknown option";

    const TCommandResult folder = cli("frames --at 1 -o new/x.bmp -- -x.avi");
    EXPECT_EQ(folder.ExitCode, 3);
    EXPECT_NE(folder.Output.find("give --yes to create the missing folder new"), std::string::npos)
        << folder.Output;

    // 0.8 s at 0.5 frames per second rounds to no frame at all.
    const TCommandResult empty = cli("export --from 1 --to 1.8 --fps 0.5 -o e.avi -- -x.avi");
    EXPECT_EQ(empty.ExitCode, 2) << empty.Output;
    EXPECT_FALSE(fs::exists(Dir.File("e.avi")));
    EXPECT_EQ(cli("export --from 1 --to 1.8 --fps 2 -o e.avi -- -x.avi").ExitCode, 0);
}
