#include "fixtures/AviBuilder.h"
#include "fixtures/Tools.h"

#include <cstdlib>
#include <sstream>
#include <sys/stat.h>

using namespace zarvex::fixtures;

namespace {

TCommandResult RunCli(const std::string& args) {
    return RunCapture(CliPath() + " " + args + " 2>&1");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

} // namespace

TEST(CliInfoTest, PrintsStreamsCountsAndTheIndex) {
    TTempDir dir;
    TBuiltAvi built = BuildAvi(SimpleLayout(10, 5, true, TIndexStyle::Idx1Relative));
    WriteFileBytes(dir.File("a.avi"), built.Bytes);
    TCommandResult r = RunCli("info --index " + ShellQuote(dir.File("a.avi")));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    auto lines = Lines(r.Output);
    ASSERT_GE(lines.size(), 27u);
    EXPECT_EQ(lines[0], "File size: 0MB");
    EXPECT_EQ(lines[1], "Streams:");
    EXPECT_EQ(lines[2], "   1. vids:XVID - Sample size: 0 - Start frame: 0 - Initial frames: 0");
    EXPECT_EQ(lines[3], "   2. auds:1 - Sample size: 4 - Start frame: 0 - Initial frames: 0");
    EXPECT_EQ(lines[4], "Index: idx1");
    EXPECT_EQ(lines[5], "Stream 1: 10 entries, 2 key frames, 0.400 s");
    EXPECT_EQ(lines[6], "Stream 2: 10 entries, 10 key frames, 0.100 s");
    const auto& e = built.Entries[1][3];
    std::ostringstream want;
    want << "1 3 " << e.Offset << " 1764 1 0.030000";
    EXPECT_EQ(lines[7 + 10 + 3], want.str());
}

TEST(CliInfoTest, FailuresGoToStderrWithExitCodes) {
    TTempDir dir;
    WriteFileBytes(dir.File("bad.avi"), {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
    TCommandResult bad =
        RunCapture(CliPath() + " info " + ShellQuote(dir.File("bad.avi")) + " 2>/dev/null");
    EXPECT_EQ(bad.ExitCode, 1);
    EXPECT_EQ(bad.Output, "") << "nothing on stdout for a failure";
    TCommandResult msg = RunCli("info " + ShellQuote(dir.File("bad.avi")));
    EXPECT_NE(msg.Output.find("The file has unknown format"), std::string::npos) << msg.Output;
    // A main header of a wrong size with nothing after it: the reason, not an empty report.
    TBuiltAvi built = BuildAvi(SimpleLayout(2, 1, false, TIndexStyle::Idx1Relative));
    const size_t avih = built.StrhPos[0] - 12 - 8 - 56 - 8;
    built.Bytes[avih + 4] = 0;
    built.Bytes[built.StrhPos[0] - 12] = 'X';
    WriteFileBytes(dir.File("avih.avi"), built.Bytes);
    TCommandResult avihSize = RunCli("info " + ShellQuote(dir.File("avih.avi")));
    EXPECT_EQ(avihSize.ExitCode, 1);
    EXPECT_NE(avihSize.Output.find("The main header has a wrong size"), std::string::npos)
        << avihSize.Output;
    EXPECT_NE(RunCli("info " + ShellQuote(dir.File("none.avi"))).Output.find("Code: 2."),
              std::string::npos);
    // A named pipe would block the open until a writer came: it is refused at once.
    const std::string fifo = dir.File("pipe.avi");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    TCommandResult pipe =
        RunCapture("timeout 30 " + CliPath() + " info " + ShellQuote(fifo) + " --index 2>&1");
    EXPECT_EQ(pipe.ExitCode, 1);
    EXPECT_NE(pipe.Output.find("The path names a named pipe, not a file."), std::string::npos)
        << pipe.Output;
    EXPECT_EQ(RunCli("info").ExitCode, 2);
    EXPECT_EQ(RunCli("info --bogus x.avi").ExitCode, 2);
    EXPECT_EQ(RunCli("frobnicate").ExitCode, 2);
    TCommandResult help = RunCli("--help");
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Output.find("--index"), std::string::npos);
}

TEST(CliInfoTest, DamagedFilesOpenWithOneWarningAndRepairWritesAFreshCopy) {
    TTempDir dir;
    TBuiltAvi built = BuildAvi(SimpleLayout(10, 5, true, TIndexStyle::Idx1Relative));
    built.Bytes.resize(built.Idx1Pos - 100); // the last audio chunk is cut off, idx1 gone
    const std::string src = dir.File("cut.avi"), out = dir.File("fixed.avi");
    WriteFileBytes(src, built.Bytes);
    TCommandResult info = RunCapture(CliPath() + " info " + ShellQuote(src) + " 2>/dev/null");
    ASSERT_EQ(info.ExitCode, 0);
    auto lines = Lines(info.Output);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[4], "Index: rebuilt by scanning (no index)");
    EXPECT_EQ(lines[5], "Stream 1: 10 frames, 1 key frames (key frames derived from the pictures)");
    EXPECT_EQ(lines[6], "Stream 2: 9 chunks");
    TCommandResult warning =
        RunCapture(CliPath() + " info " + ShellQuote(src) + " 2>&1 >/dev/null");
    EXPECT_EQ(Lines(warning.Output).size(), 1u) << warning.Output;
    EXPECT_NE(warning.Output.find("warning: index rebuilt by scanning (no index): 10 video frames "
                                  "and 9 other chunks recovered"),
              std::string::npos)
        << warning.Output;

    TCommandResult same = RunCli("repair " + ShellQuote(src) + " -o " + ShellQuote(src) + " --yes");
    EXPECT_EQ(same.ExitCode, 1);
    EXPECT_NE(same.Output.find("The output file is the source file."), std::string::npos);
    TCommandResult repair =
        RunCli("repair " + ShellQuote(src) + " -o " + ShellQuote(out) + " --yes --quiet");
    ASSERT_EQ(repair.ExitCode, 0) << repair.Output;
    TCommandResult fixed = RunCli("info " + ShellQuote(out));
    EXPECT_NE(fixed.Output.find("Index: OpenDML\nStream 1: 10 entries"), std::string::npos)
        << fixed.Output;
    EXPECT_NE(RunCli("--help").Output.find("zarvex-cli repair SRC -o OUT"), std::string::npos);
}
