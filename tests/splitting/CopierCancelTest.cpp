// Copies of a file of few, huge chunks: the progress handler is reached between the pieces of
// a chunk's copy, and a cancel there leaves a complete file of the chunks copied whole.
#include "avi_input/AVIRead.h"
#include "fixtures/Tools.h"
#include "splitting/Joiner.h"
#include "splitting/ZarvexCls.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace zarvex;
using namespace zarvex::fixtures;
namespace fs = std::filesystem;

namespace {

constexpr int64_t Frames = 8;

// What ffmpeg says decoding the file: "" when it reads cleanly.
std::string DecodeErrors(const std::string& path) {
    return RunCapture("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -f null - 2>&1").Output;
}

int64_t FramesOf(const std::string& path) {
    TAVIFileReader reader;
    reader.Open(path);
    return int64_t(reader.VideoStream()->EntryCount());
}

// A progress handler that counts the calls made within one chunk's copy (the percentage, which
// counts chunks, does not move then) and cancels at the cancelAt-th of them (0: never).
struct TPieceCounter {
    int Pieces = 0;
    double Last = -1;
    int CancelAt = 0;
    bool Cancelled = false;
    void Call(bool& cancel, double percent) {
        Pieces += percent == Last;
        Last = percent;
        Cancelled = Cancelled || (CancelAt > 0 && Pieces >= CancelAt);
        cancel = Cancelled;
    }
};

} // namespace

TEST(CopierCancelTest, HugeChunksReportBetweenPiecesAndACancelThereKeepsWholeChunks) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    // 6 MiB a picture, video alone: no other chunk reports in between.
    const std::string source = dir.File("raw.avi");
    ASSERT_EQ(RunCapture("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 "
                         "-frames:v " +
                         std::to_string(Frames) + " -c:v rawvideo -pix_fmt bgr24 " +
                         ShellQuote(source))
                  .ExitCode,
              0);
    TAVIFileReader reader;
    reader.Open(source);
    const std::string out = dir.File("out.avi");
    const fs::path parts = dir.Path() / "parts";
    fs::create_directories(parts);
    // Each job runs with the counter; returns whether it says it was cancelled, and its files.
    using TJob = std::function<bool(TPieceCounter&, std::vector<std::string>&)>;
    const auto copier = [&](TPieceCounter& counter, std::function<void(TZarvex&)> run) {
        TZarvex z(reader);
        z.FileName = out;
        z.OnProgress = [&](TZarvex&, bool& cancel, double p) { counter.Call(cancel, p); };
        run(z);
        return z.Cancelled();
    };
    const std::pair<const char*, TJob> jobs[] = {
        {"copy",
         [&](TPieceCounter& c, std::vector<std::string>& files) {
             files = {out};
             return copier(c, [](TZarvex& z) { z.CopySegment(0, Frames - 1); });
         }},
        {"whole file",
         [&](TPieceCounter& c, std::vector<std::string>& files) {
             files = {out};
             return copier(c, [](TZarvex& z) { z.CopyWholeFile(); });
         }},
        {"split",
         [&](TPieceCounter& c, std::vector<std::string>& files) {
             fs::remove_all(parts);
             fs::create_directories(parts);
             const bool cancelled =
                 copier(c, [&](TZarvex& z) { z.SplitIntoParts(2, parts.string(), "p"); });
             files.clear();
             for (const auto& f : fs::directory_iterator(parts))
                 files.push_back(f.path().string());
             return cancelled;
         }},
        {"join",
         [&](TPieceCounter& c, std::vector<std::string>& files) {
             files = {out};
             TJoiner joiner;
             joiner.OnProgress = [&](bool& cancel, double p) { c.Call(cancel, p); };
             const TJoinPiece whole{&reader, {0, int32_t(Frames - 1)}, nullptr};
             joiner.Write({whole, whole}, out);
             return joiner.Cancelled();
         }},
    };
    for (const auto& [name, job] : jobs) {
        SCOPED_TRACE(name);
        std::vector<std::string> files;
        TPieceCounter counter;
        EXPECT_FALSE(job(counter, files));
        EXPECT_GE(counter.Pieces, 2);
        TPieceCounter cancelling;
        cancelling.CancelAt = 2;
        EXPECT_TRUE(job(cancelling, files));
        int64_t frames = 0;
        for (const std::string& file : files) {
            frames += FramesOf(file);
            EXPECT_EQ(DecodeErrors(file), "") << file;
        }
        EXPECT_LT(frames, Frames);
    }
}
