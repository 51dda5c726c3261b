// Every writing command under faults: a full disk, a source cut short, a closed terminal or pipe,
// and an output path the system cannot resolve. What was written is always a complete file.
#include "avi_input/AVIRead.h"
#include "fixtures/MediaFixture.h"
#include "fixtures/Tools.h"
#include "splitting/ZarvexCls.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace zarvex;
using namespace zarvex::fixtures;
namespace fs = std::filesystem;

namespace {

constexpr int SourceFrames = 100;

class CliFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        ZARVEX_REQUIRE_TOOL("ffprobe");
        Source = MakeMpeg4Avi(Dir, "clip.avi", 4, 25, "160x120");
        ASSERT_FALSE(Source.empty());
    }
    // The video frames of a file as our reader finds them through the file's own index.
    static int64_t OurFrames(const std::string& path) {
        TAVIFileReader r;
        r.Open(path);
        return r.VideoStream() ? int64_t(r.VideoStream()->EntryCount()) : -1;
    }
    static std::string PeerErrors(const std::string& path) {
        const TCommandResult probe = RunCapture("ffprobe -v error -count_packets " +
                                                ShellQuote(path) + " 2>&1 >/dev/null </dev/null");
        const TCommandResult decode = RunCapture("ffmpeg -v error -xerror -i " + ShellQuote(path) +
                                                 " -f null - 2>&1 </dev/null");
        return probe.Output + decode.Output + (probe.ExitCode || decode.ExitCode ? "failed" : "");
    }
    TTempDir Dir;
    std::string Source;
};

// A disk of a few hundred KiB: a tmpfs where we may mount one, else a file size limit on the
// program, which fails its writes with EFBIG instead of ENOSPC.
class TSmallDisk {
public:
    TSmallDisk(const TTempDir& dir) : Path(dir.File("disk")) {
        fs::create_directory(Path);
        Mounted = geteuid() == 0 &&
                  RunCapture("mount -t tmpfs -o size=320k tmpfs " + Path + " 2>&1").ExitCode == 0;
    }
    ~TSmallDisk() {
        if (Mounted)
            RunCapture("umount " + Path);
    }
    std::string Prefix() const { return Mounted ? "" : "prlimit --fsize=327680 "; }
    void Clear() const {
        for (const auto& e : fs::directory_iterator(Path))
            fs::remove_all(e.path());
    }
    std::string Path;
    bool Mounted = false;
};

} // namespace

TEST_F(CliFaultTest, FullDiskCompletesTheOutputOfEveryCommand) {
    const TSmallDisk disk(Dir);
    if (!disk.Mounted && UnderCI())
        FAIL() << "CI runs as root and must test a full tmpfs";
    const std::string out = disk.Path + "/out.avi";
    const std::string src = ShellQuote(Source);
    struct TCase {
        std::string Args, Output;
    };
    const TCase cases[] = {
        {"cut " + src + " --from-frame 0 --to-frame 99 -o " + out, out},
        {"cut " + src + " --from-frame 3 --to-frame 99 --exact -o " + out, out},
        {"split " + src + " --parts 2 --folder " + disk.Path, disk.Path + "/clip1.avi"},
        {"join " + src + " " + src + " -o " + out, out},
        {"cut " + src + " --keep-frames 0-40,50-99 -o " + out, out},
        {"repair " + src + " -o " + out, out},
        {"export " + src + " --from 0 --to 4 -o " + out, out},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args);
        disk.Clear();
        const TCommandResult r =
            RunCapture(disk.Prefix() + CliPath() + " " + c.Args + " --quiet 2>&1 </dev/null");
        EXPECT_EQ(r.ExitCode, disk.Mounted ? 1 : 128 + SIGXFSZ) << r.Output;
        EXPECT_NE(r.Output.find(c.Output + " was completed with "), std::string::npos) << r.Output;
        const int64_t frames = OurFrames(c.Output);
        EXPECT_GT(frames, 0);
        EXPECT_LT(frames, SourceFrames);
        EXPECT_EQ(PeerErrors(c.Output), "");
    }

    // Pictures either are whole under their own name or are not there at all.
    disk.Clear();
    const TCommandResult r =
        RunCapture(disk.Prefix() + CliPath() + " frames " + src +
                   " --at 0 --count 20 --format bmp -o " + disk.Path + "/shot 2>&1 </dev/null");
    EXPECT_NE(r.ExitCode, 0);
    int whole = 0;
    for (const auto& e : fs::directory_iterator(disk.Path)) {
        EXPECT_EQ(e.path().extension(), ".bmp") << e.path();
        EXPECT_EQ(fs::file_size(e.path()), 54u + 160 * 120 * 3) << e.path();
        ++whole;
    }
    EXPECT_GT(whole, 0);
}

TEST_F(CliFaultTest, SourceCutShortDuringAJobIsAFailure) {
    // The copy of the first frames ends in the kernel only when the file is completed: the
    // source shrinks under it.
    TAVIFileReader reader;
    reader.Open(Source);
    TZarvex engine(reader);
    engine.FileName = Dir.File("copy.avi");
    engine.OnProgress = [&](TZarvex&, bool&, double percent) {
        if (percent > 30 && fs::file_size(Source) > 60000)
            fs::resize_file(Source, 60000);
    };
    try {
        engine.CopySegment(0, SourceFrames - 1);
        ADD_FAILURE() << "the copy succeeded";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("changed"), std::string::npos) << e.what();
    }
    const int64_t frames = OurFrames(engine.FileName);
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, SourceFrames);
    EXPECT_EQ(PeerErrors(engine.FileName), "");
}

TEST_F(CliFaultTest, HangUpAndBrokenPipeCompleteTheFileBeingWritten) {
    const std::string big = Dir.File("big.avi");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=320x240:rate=25 -t 12 -c:v rawvideo " +
                          ShellQuote(big)));
    for (int signal : {SIGHUP, SIGPIPE}) {
        SCOPED_TRACE(signal);
        const std::string out = Dir.File("out" + std::to_string(signal) + ".avi");
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            execl(CliPath().c_str(), CliPath().c_str(), "cut", big.c_str(), "--from-frame", "0",
                  "--to-frame", "299", "-o", out.c_str(), "--quiet", nullptr);
            _exit(127);
        }
        for (int i = 0; i < 5000 && !fs::exists(out); ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << "the signal must not kill the program";
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        if (OurFrames(out) > 0) { // else stopped before its first frame; it still opened
            EXPECT_EQ(PeerErrors(out), "");
        }
    }
}

TEST_F(CliFaultTest, UnresolvableOutputPathsAreFailures) {
    const std::string loop = Dir.File("loop.avi");
    fs::create_symlink(loop, loop);
    const std::string tooLong = Dir.File(std::string(5000, 'x') + ".avi");
    const std::string src = ShellQuote(Source);
    // frames names its files itself: a link to itself as the name becomes loop.jpg
    for (const std::string& out : {loop, tooLong, loop + "/x.avi"})
        for (const std::string& args :
             {"frames " + src + " --at 1 -o " + out, "export " + src + " --from 0 --to 1 -o " + out,
              "cut " + src + " --keep 0-1,2-3 -o " + out, "join " + src + " " + src + " -o " + out,
              "cut " + src + " --from 0 --to 1 -o " + out}) {
            if (out == loop && args.rfind("frames", 0) == 0)
                continue;
            const TCommandResult r =
                RunCapture(CliPath() + " " + args + " --yes --quiet 2>&1 </dev/null");
            EXPECT_EQ(r.ExitCode, 1) << args << "\n" << r.Output;
            EXPECT_EQ(r.Output.find("terminate"), std::string::npos) << r.Output;
        }
}
