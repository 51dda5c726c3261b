#include "avi_input/AVIRead.h"
#include "avi_output/AVIWrite.h"
#include "fixtures/AviBuilder.h"
#include "fixtures/MediaFixture.h"
#include "fixtures/RiffScan.h"
#include "fixtures/Tools.h"
#include "splitting/PartPlan.h"
#include "support/Endian.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

class CliCutSplitTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Ten seconds at 25 fps, every frame a key frame, so cuts start where they are asked to.
        TAviLayout layout = SimpleLayout(250, 1, true, TIndexStyle::Idx1Relative);
        WriteFileBytes(Source, BuildAvi(layout).Bytes);
        Sources.Open(Source);
    }
    int Run(const std::string& args) {
        return RunCapture(CliPath() + " " + args + " </dev/null >/dev/null 2>&1").ExitCode;
    }
    std::vector<uint8_t> Frame(const std::string& path, uint32_t i) {
        TAVIFileReader r;
        r.Open(path);
        std::vector<uint8_t> p(r.Streams(0).EntrySize(i));
        r.Streams(0).ReadChunk(i, p.data());
        return p;
    }
    uint32_t FrameCount(const std::string& path) {
        TAVIFileReader r;
        r.Open(path);
        return r.Streams(0).EntryCount();
    }
    TTempDir Dir;
    std::string Source = Dir.File("clip.avi");
    std::string Out = Dir.File("out.avi");
    TAVIFileReader Sources;
};

} // namespace

TEST_F(CliCutSplitTest, CutTakesTimesOrFrames) {
    // 2.1 s is shown in frame 52 (2.08 to 2.12 s); the end 4 s is frame 100, so 99 is last.
    ASSERT_EQ(Run("cut " + Source + " --from 2.1 --to 4 -o " + Out), 0);
    EXPECT_EQ(FrameCount(Out), 48u);
    EXPECT_EQ(Frame(Out, 0), Frame(Source, 52));

    // 0:01.5 is shown in frame 37; 0:00:03 is frame 75, and 2.9996 s is taken as its start.
    ASSERT_EQ(Run("cut " + Source + " --from 0:01.5 --to 0:00:02.9996 -o " + Out + " --yes"), 0);
    EXPECT_EQ(FrameCount(Out), 38u);
    EXPECT_EQ(Frame(Out, 0), Frame(Source, 37));

    ASSERT_EQ(Run("cut " + Source + " --from-frame 10 --to-frame 20 -o " + Out + " --yes"), 0);
    EXPECT_EQ(FrameCount(Out), 11u);
    EXPECT_EQ(Frame(Out, 10), Frame(Source, 20));

    ASSERT_EQ(Run("cut " + Source + " --from 9 --to 99 -o " + Out + " --yes"), 0);
    EXPECT_EQ(FrameCount(Out), 25u) << "an end past the video means its last frame";
}

TEST_F(CliCutSplitTest, CutRefusesWrongArgumentsAndProtectsFiles) {
    for (const std::string& bad :
         {"cut " + Source + " --from 1 --to 2", "cut " + Source + " --from 3 --to 2 -o " + Out,
          "cut " + Source + " --from 1:75 --to 2:00 -o " + Out,
          "cut " + Source + " --from x --to 2 -o " + Out,
          "cut " + Source + " --from 1 --to 2 --from-frame 1 --to-frame 2 -o " + Out,
          "cut " + Source + " --from 20 --to 30 -o " + Out, "cut --from 1 --to 2 -o " + Out,
          "cut " + Source + " --from 1 --to 2 -o " + Out + " --bogus"})
        EXPECT_EQ(Run(bad), 2) << bad;
    EXPECT_FALSE(std::filesystem::exists(Out));
    EXPECT_EQ(Run("cut " + Dir.File("missing.avi") + " --from 1 --to 2 -o " + Out), 1);

    WriteFileBytes(Out, {'k', 'e', 'e', 'p'});
    EXPECT_EQ(Run("cut " + Source + " --from 1 --to 2 -o " + Out), 3)
        << "no terminal to ask and no --yes";
    EXPECT_EQ(FileBytes(Out, 0, 10), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    const auto before = FileBytes(Source, 0, 1 << 24);
    EXPECT_EQ(Run("cut " + Source + " --from 1 --to 2 --yes -o " + Dir.File("./clip.avi")), 1);
    EXPECT_EQ(FileBytes(Source, 0, 1 << 24), before) << "the source is never written";
}

TEST_F(CliCutSplitTest, ReadFailuresExitWithAMessage) {
    // Video entry 30 points past the end of the file: the index is rebuilt from the data, with
    // a warning, and the cut has every frame. (The copier's own read failure is its test's.)
    TAviLayout layout = SimpleLayout(40, 1, false, TIndexStyle::Idx1Relative);
    TBuiltAvi built = BuildAvi(layout);
    PutU32(built.Bytes.data() + built.Idx1Pos + 8 + 16 * 30 + 8, 0x7FFFFFF0u);
    const std::string damaged = Dir.File("damaged.avi");
    WriteFileBytes(damaged, built.Bytes);
    TCommandResult cut =
        RunCapture(CliPath() + " cut " + damaged + " --from-frame 0 --to-frame 39 -o " + Out +
                   " --quiet 2>&1 </dev/null");
    EXPECT_EQ(cut.ExitCode, 0);
    EXPECT_NE(cut.Output.find("warning: index rebuilt by scanning"), std::string::npos)
        << cut.Output;
    EXPECT_EQ(FrameCount(Out), 40u);

    // A video stream without index entries has no frames to work on.
    TAviLayout silent = SimpleLayout(0, 0, true, TIndexStyle::Idx1Relative);
    silent.Chunks = {{1, 1764, true}};
    const std::string empty = Dir.File("empty.avi");
    WriteFileBytes(empty, BuildAvi(silent).Bytes);
    for (const std::string& args :
         {"cut " + empty + " --from-frame 0 --to-frame 5 -o " + Dir.File("e.avi"),
          "split " + empty + " --parts 2 --folder " + Dir.File("parts"),
          "frames " + empty + " --at 0 -o " + Dir.File("f.bmp")}) {
        TCommandResult r = RunCapture(CliPath() + " " + args + " --yes 2>&1 </dev/null");
        EXPECT_EQ(r.ExitCode, 1) << args;
        EXPECT_NE(r.Output.find("no index entries"), std::string::npos) << r.Output;
    }
}

TEST_F(CliCutSplitTest, SplitWritesNumberedPartsIntoItsFolder) {
    const std::string folder = Dir.File("new/parts");
    ASSERT_EQ(Run("split " + Source + " --parts 12 --folder " + folder), 0);
    uint32_t frames = 0;
    int parts = 0;
    for (int n = 1; n <= 13; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/clip%02d.avi", n);
        if (!std::filesystem::exists(folder + name))
            continue;
        ++parts;
        frames += FrameCount(folder + name) - (n > 1 ? 1 : 0);
    }
    EXPECT_GE(parts, 12);
    EXPECT_EQ(frames, 250u) << "the prefix defaults to the source's name";

    EXPECT_EQ(Run("split " + Source + " --parts 2 --folder " + folder + " --prefix a/b"), 2);
    EXPECT_EQ(Run("split " + Source + " --parts 2 --folder " + folder + " --prefix 'a:b'"), 2);
    EXPECT_EQ(Run("split " + Source + " --parts 0 --folder " + folder), 2);
    EXPECT_EQ(Run("split " + Source + " --parts 2"), 2);

    const auto first = FileBytes(folder + "/clip01.avi", 0, 1 << 24);
    EXPECT_EQ(Run("split " + Source + " --parts 12 --folder " + folder), 3);
    EXPECT_EQ(FileBytes(folder + "/clip01.avi", 0, 1 << 24), first);
    EXPECT_EQ(Run("split " + Source + " --parts 12 --folder " + folder + " --yes --quiet"), 0);
}

TEST_F(CliCutSplitTest, CtrlCCompletesTheFileBeingWritten) {
    // Large enough that the copy is still running when the signal comes.
    const std::string big = Dir.File("big.avi");
    {
        TAVIFileWriter w;
        w.Open(big, AVIF_HASINDEX);
        auto fmt = VideoFormat(640, 480, 0);
        w.AddStream(0, VideoHeader(25, 1, 0), fmt.data(), int32_t(fmt.size()));
        std::vector<uint8_t> frame(1 << 20, 7);
        for (int i = 0; i < 400; ++i)
            w.WriteChunk(0, frame.data(), true, int32_t(frame.size()));
        w.Close();
    }
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(CliPath().c_str(), CliPath().c_str(), "cut", big.c_str(), "--from-frame", "0",
              "--to-frame", "399", "-o", Out.c_str(), "--quiet", nullptr);
        _exit(127);
    }
    for (int i = 0; i < 5000 && !std::filesystem::exists(Out); ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "the signal must not kill the program";
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_LT(FrameCount(Out), 400u);
    EXPECT_EQ(ScanRiff(Out).back().Id, "idx1") << "the file was completed";
}

TEST_F(CliCutSplitTest, CtrlCInASplitFinishesThePartBeingWritten) {
    const std::string big = Dir.File("big.avi");
    {
        TAVIFileWriter w;
        w.Open(big, AVIF_HASINDEX);
        auto fmt = VideoFormat(640, 480, 0);
        w.AddStream(0, VideoHeader(25, 1, 0), fmt.data(), int32_t(fmt.size()));
        std::vector<uint8_t> frame(1 << 19, 7);
        for (int i = 0; i < 300; ++i)
            w.WriteChunk(0, frame.data(), true, int32_t(frame.size()));
        w.Close();
    }
    TAVIFileReader reader;
    reader.Open(big);
    const std::string folder = Dir.File("parts");
    const std::vector<TPart> plan = PlanParts(*reader.VideoStream(), 3, folder, "big");
    ASSERT_EQ(plan.size(), 3u);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(CliPath().c_str(), CliPath().c_str(), "split", big.c_str(), "--parts", "3",
              "--folder", folder.c_str(), "--quiet", nullptr);
        _exit(127);
    }
    for (int i = 0; i < 5000 && !std::filesystem::exists(plan[0].FileName); ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(FrameCount(plan[0].FileName), uint32_t(plan[0].LastFrame - plan[0].FirstFrame + 1))
        << "the part being written is finished";
    EXPECT_FALSE(std::filesystem::exists(plan[2].FileName)) << "no part after it is begun";
}

TEST_F(CliCutSplitTest, EndsPastTheVideoListsAndNamesOfAnyKind) {
    // An end past the last frame is the last frame, however large.
    for (const auto& [range, frames] :
         {std::pair{"--from 9 --to 1e12", 25u},
          {"--from 0.9e1 --to 1000000000000", 25u},
          {"--from-frame 240 --to-frame 99999999999999999999999", 10u},
          {"--keep 9-922337203686", 25u},
          {"--keep-frames 240-922337203686", 10u}}) {
        ASSERT_EQ(Run("cut " + Source + " " + range + " --yes -o " + Out), 0) << range;
        EXPECT_EQ(FrameCount(Out), frames) << range;
    }
    WriteFileBytes(Dir.File("empty.cuts"), {'#', '\n'});
    const TCommandResult empty = RunCapture(CliPath() + " cut " + Source + " --keep-file " +
                                            Dir.File("empty.cuts") + " -o " + Out + " 2>&1");
    EXPECT_EQ(empty.ExitCode, 2);
    EXPECT_NE(empty.Output.find("holds no range"), std::string::npos) << empty.Output;

    // A missing folder is named before the system's text.
    const std::string missing = Dir.File("no/out.avi");
    EXPECT_NE(RunCapture(CliPath() + " cut " + Source + " --from 0 --to 1 -o " + missing + " 2>&1")
                  .Output.find(missing + ": System Error.  Code: 2.\nNo such file or directory"),
              std::string::npos);

    // Names the prefix may not hold become _; "--" lets a name start with "-".
    const std::string odd = "-a\"*?\\b.avi";
    std::filesystem::copy_file(Source, Dir.File(odd));
    ASSERT_EQ(RunCapture("cd " + ShellQuote(Dir.Path().string()) + " && " + CliPath() +
                         " split --parts 1 --folder parts --quiet -- " + ShellQuote(odd))
                  .ExitCode,
              0);
    EXPECT_EQ(FrameCount(Dir.File("parts/-a____b1.avi")), 250u);
}

TEST_F(CliCutSplitTest, KeepOptionsChooseTheFramesOfEachRange) {
    // Times as --from/--to take them (see CutTakesTimesOrFrames), one file per range.
    ASSERT_EQ(Run("cut " + Source + " --keep 2.1-4,0:01.5-0:00:02.9996 --separate -o " + Out), 0);
    EXPECT_EQ(FrameCount(Dir.File("out_1.avi")), 48u);
    EXPECT_EQ(Frame(Dir.File("out_1.avi"), 0), Frame(Source, 52));
    EXPECT_EQ(FrameCount(Dir.File("out_2.avi")), 38u);
    EXPECT_EQ(Frame(Dir.File("out_2.avi"), 0), Frame(Source, 37));

    ASSERT_EQ(Run("cut " + Source + " --keep-frames 10-20,240-999 --separate --yes -o " + Out), 0);
    EXPECT_EQ(FrameCount(Dir.File("out_1.avi")), 11u);
    EXPECT_EQ(Frame(Dir.File("out_1.avi"), 10), Frame(Source, 20));
    EXPECT_EQ(FrameCount(Dir.File("out_2.avi")), 10u) << "an end past the video is its last frame";

    // A list's frame numbers count, not its times or its source.
    WriteFileBytes(Dir.File("my list.cuts"), {'5', ' ', '9', ' ', '0', ' ', '9', ' ', 'x', '\n'});
    ASSERT_EQ(Run("cut " + Source + " --keep-file " + ShellQuote(Dir.File("my list.cuts")) +
                  " --yes -o " + Out),
              0);
    EXPECT_EQ(FrameCount(Out), 5u);
    EXPECT_EQ(Frame(Out, 0), Frame(Source, 5));
}

TEST_F(CliCutSplitTest, KeepAndJoinRefuseBeforeWritingAnything) {
    const std::string list = Dir.File("list.cuts");
    WriteFileBytes(list, {'1', ' ', '2', '\n'});
    const std::string keep = " --keep-frames 0-1 ";
    for (const std::string& bad :
         {"cut " + Source + " --keep 1-2 --from 1 --to 2 -o " + Out,
          "cut " + Source + " --keep 1-2 --keep-frames 1-2 -o " + Out,
          "cut " + Source + " --from 1 --to 2 --separate -o " + Out,
          "cut " + Source + keep + "-o " + Out + " --folder " + Dir.File("d"),
          "cut " + Source + " " + Source + keep + "-o " + Out,
          "cut " + Source + " --keep 1- -o " + Out, "cut " + Source + " --keep 2-1 -o " + Out,
          "cut " + Source + " --keep 1-2-3 -o " + Out, "cut " + Source + " --keep 1-2, -o " + Out,
          "cut " + Source + " --keep-frames 5-3 -o " + Out,
          "cut " + Source + " --keep-frames 0-1,250-260 -o " + Out,
          "cut " + Source + " --keep-file " + list + " -o " + Out,
          "cut " + Source + " " + Dir.File("./clip.avi") + keep + "--folder " + Dir.File("d"),
          "join " + Source + " -o " + Out, "join " + Source + " " + Source})
        EXPECT_EQ(Run(bad), 2) << bad;
    EXPECT_EQ(Run("cut " + Source + " --keep-file " + Dir.File("none.cuts") + " -o " + Out), 1);
    EXPECT_EQ(Run("cut " + Source + keep + "--folder " + Dir.Path().string()), 1)
        << "the output would be the source";
    EXPECT_EQ(Run("join " + Source + " " + Source + " --yes -o " + Source), 1);

    const std::string other = Dir.File("other.avi");
    TAviLayout layout = SimpleLayout(5, 1, true, TIndexStyle::Idx1Relative);
    layout.Streams[1].Format = AudioFormat(1, 1, 44100, 2, 16);
    WriteFileBytes(other, BuildAvi(layout).Bytes);
    const TCommandResult join =
        RunCapture(CliPath() + " join " + Source + " " + other + " -o " + Out + " 2>&1 </dev/null");
    EXPECT_EQ(join.ExitCode, 1);
    EXPECT_EQ(join.Output, "zarvex-cli join: The audio of other.avi is 1 channel; clip.avi is 2 "
                           "channels.\n");
    EXPECT_FALSE(std::filesystem::exists(Out));
    EXPECT_FALSE(std::filesystem::exists(Dir.File("d")));
}

// Ranges saved into one file, into one each, joined back, and a batch, read by ffprobe.
TEST(CliCutListPeerTest, KeepSeparateJoinAndBatch) {
    ZARVEX_REQUIRE_TOOL("ffprobe");
    TTempDir dir;
    const std::string a = MakeMpeg4Avi(dir, "a.avi", 4, 25, "160x120");
    const std::string b = MakeMpeg4Avi(dir, "b b.avi", 2, 25, "160x120");
    ASSERT_FALSE(a.empty() || b.empty());
    const auto cli = [&](const std::string& args) {
        return RunCapture(CliPath() + " " + args + " --quiet </dev/null 2>&1");
    };
    const auto hashes = [](const std::string& file) {
        const TCommandResult r =
            RunCapture("ffprobe -v error -select_streams v:0 -show_data_hash MD5 -show_entries "
                       "packet=data_hash -of csv=p=0 " +
                       ShellQuote(file) + " </dev/null");
        EXPECT_EQ(r.ExitCode, 0) << file;
        std::vector<std::string> out;
        std::istringstream in(r.Output);
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    };
    const auto decodes = [](const std::string& file) {
        const TCommandResult r =
            RunCapture("ffmpeg -v error -i " + ShellQuote(file) + " -f null - 2>&1 </dev/null");
        return r.ExitCode == 0 && r.Output.empty();
    };
    const std::vector<std::string> source = hashes(a);
    ASSERT_EQ(source.size(), 100u);

    const std::string kept = dir.File("kept.avi");
    TCommandResult r = cli("cut " + ShellQuote(a) + " --keep-frames 0-24,75-99 -o " + kept);
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    std::vector<std::string> expected(source.begin(), source.begin() + 25);
    expected.insert(expected.end(), source.begin() + 75, source.end());
    const auto got = hashes(kept);
    EXPECT_EQ(got.size(), 50u);
    EXPECT_TRUE(got == expected);
    EXPECT_TRUE(decodes(kept));

    r = cli("cut " + ShellQuote(a) + " --keep 0-2,2-4 --separate -o " + kept);
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    const std::string first = dir.File("kept_1.avi"), second = dir.File("kept_2.avi");
    EXPECT_EQ(hashes(first).size(), 50u);
    r = cli("join " + first + " " + second + " -o " + dir.File("joined.avi"));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    const auto joined = hashes(dir.File("joined.avi"));
    EXPECT_EQ(joined.size(), 100u);
    EXPECT_TRUE(joined == source);
    EXPECT_TRUE(decodes(dir.File("joined.avi")));

    const std::string list = dir.File("list.cuts");
    WriteFileBytes(list, {'0', ' ', '2', '4', ' ', '0', ' ', '1', '\n'});
    const std::string folder = dir.File("new/out");
    r = cli("cut " + ShellQuote(a) + " " + ShellQuote(b) + " --keep-file " + list + " --folder " +
            folder);
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(hashes(folder + "/a.avi"),
              std::vector<std::string>(source.begin(), source.begin() + 25));
    EXPECT_EQ(hashes(folder + "/b b.avi").size(), 25u);
}
