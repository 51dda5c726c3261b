// The export and codecs commands of zarvex-cli.
#include "fixtures/MediaFixture.h"

#include "avi_input/FileLib.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

int RunCli(const std::string& args) {
    return RunCapture(CliPath() + " " + args + " </dev/null >/dev/null 2>&1").ExitCode;
}

} // namespace

TEST(RenderCliTest, ExportWritesTheAskedFormat) {
    ZARVEX_REQUIRE_TOOL("ffprobe");
    TTempDir dir;
    const std::string src = MakeMpeg4Avi(dir, "src.avi", 2.0, 25);
    ASSERT_FALSE(src.empty());
    const std::string out = dir.File("out.avi");
    ASSERT_EQ(RunCli("export " + ShellQuote(src) + " --from 0.5 --to 9 -o " + ShellQuote(out) +
                     " --vcodec mpeg4 --acodec libmp3lame --width 320 --height 180 --fps 12.5"
                     " --stretch letterbox --vquality 3 --keyint 10"),
              0);
    const TCommandResult r =
        RunCapture("ffprobe -v error -count_packets -show_entries "
                   "stream=codec_name,width,height,r_frame_rate,nb_read_packets -of csv=p=0 " +
                   ShellQuote(out));
    // An end past the source is its end: 1.5 s at 12.5 frames per second.
    EXPECT_EQ(r.Output.substr(0, r.Output.find('\n')), "mpeg4,320,180,25/2,19");

    const int64_t size = FileSizeOf(out);
    EXPECT_EQ(RunCli("export " + ShellQuote(src) + " --from 0 --to 1 -o " + ShellQuote(out)), 3)
        << "no terminal to confirm the overwrite on";
    EXPECT_EQ(FileSizeOf(out), size);
    EXPECT_EQ(
        RunCli("export " + ShellQuote(src) + " --from 0 --to 1 -o " + ShellQuote(src) + " --yes"),
        1);
    // Refused before anything is written: a compressor that ignores the quality, quality
    // without a compressor, and an encoder that does not take 320x240 pictures.
    for (const char* bad :
         {" --from 0 --to 1 -o x.avi --vcodec libtheora --vquality 3",
          " --from 0 --to 1 -o x.avi --vquality 3", " --from 0 --to 1 -o x.avi --vcodec h261",
          " --from 1 --to 0.5 -o x.avi", " --from 0 --to 1",
          " --from 0 --to 1 -o x.avi --stretch wide", " --from 0 --to 1 -o x.avi --vcodec nosuch",
          " --from 0 --to 1 -o x.avi --fps 0", " --from 5 --to 6 -o x.avi"})
        EXPECT_EQ(RunCli("export " + ShellQuote(src) + bad), 2) << bad;
    EXPECT_FALSE(std::filesystem::exists("x.avi"));
}

// FFmpeg's own lines stay off the terminal unless asked for: an MJPEG source (full-range
// pictures, which swscale warns about) prints nothing; audio that cannot be decoded is a
// warning of ours.
TEST(RenderCliTest, ExportSaysOnlyWhatMatters) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const std::string mjpeg = dir.File("mjpeg.avi");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=160x120:rate=25 -t 1 -c:v mjpeg " +
                          ShellQuote(mjpeg)));
    const auto stderrOf = [&](const std::string& args) {
        return RunCapture(CliPath() + " " + args + " --yes --quiet 2>&1 >/dev/null </dev/null")
            .Output;
    };
    const std::string out = ShellQuote(dir.File("out.avi"));
    EXPECT_EQ(
        stderrOf("export " + ShellQuote(mjpeg) + " --from 0 --to 1 -o " + out + " --vcodec mjpeg"),
        "");
    EXPECT_NE(stderrOf("--verbose export " + ShellQuote(mjpeg) + " --from 0 --to 1 -o " + out), "");
    const std::string unknown = MakeUnknownAudioAvi(dir, "unknown.avi", 1.0);
    ASSERT_FALSE(unknown.empty());
    const std::string said =
        stderrOf("export " + ShellQuote(unknown) + " --from 0 --to 1 -o " + out);
    EXPECT_EQ(
        said.rfind("zarvex-cli export: warning: The audio of the source cannot be decoded", 0), 0u)
        << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
}

TEST(RenderCliTest, CodecsListsBothCategories) {
    const TCommandResult r = RunCapture(CliPath() + " codecs");
    ASSERT_EQ(r.ExitCode, 0);
    const size_t audio = r.Output.find("Audio compressors:\n");
    ASSERT_EQ(r.Output.rfind("Video compressors:\n", 0), 0u);
    ASSERT_NE(audio, std::string::npos);
    EXPECT_LT(r.Output.find("   MPEG-4 part 2 (mpeg4)\n"), audio);
    EXPECT_GT(r.Output.find("(libmp3lame)\n"), audio);
    EXPECT_EQ(RunCli("codecs a.avi b.avi"), 2);
    // With a source, the video compressors are those that take its pictures.
    TTempDir dir;
    const std::string qcif = MakeMpeg4Avi(dir, "qcif.avi", 0.2, 25, "176x144");
    ASSERT_FALSE(qcif.empty());
    EXPECT_EQ(r.Output.find("(h261)"), std::string::npos);
    EXPECT_NE(RunCapture(CliPath() + " codecs " + ShellQuote(qcif)).Output.find("(h261)\n"),
              std::string::npos);
}
