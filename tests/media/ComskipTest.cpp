// comskip as a separate program: its picture numbers turned into slots, a real run on a
// recording with an ad block, and a cancelled run.
#include "media/Comskip.h"
#include "support/Errors.h"

#include "fixtures/MediaFixture.h"

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include <gtest/gtest.h>

using namespace zarvex;
using namespace zarvex::media;
using namespace zarvex::fixtures;
namespace fs = std::filesystem;

namespace {

TListRange Frames(int64_t start, int64_t end) {
    TListRange r;
    r.Start.Frames = start;
    r.End.Frames = end;
    return r;
}

int CountEntries(const fs::path& dir) {
    return int(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// Runs in a temp folder of the test's own, so that what it leaves there can be seen.
class ComskipRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        ZARVEX_REQUIRE_TOOL("comskip");
        fs::create_directory(Temp);
        ::setenv("TMPDIR", Temp.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("TMPDIR"); }
    TTempDir Dir;
    fs::path Recording = Dir.Path() / "rec";
    fs::path Temp = Dir.Path() / "tmp";
};

// 25 fps slots: programme 0-2999, black 3000-3011, three adverts of 375 frames each after
// 12 black frames, black 4161-4172, programme 4173-7172. Black is silent too. No empty chunk
// (ffmpeg puts one at slot 1 for MP3's delay unless told otherwise).
std::string MakeRecording(const fs::path& folder) {
    fs::create_directory(folder);
    const std::string path = (folder / "rec.avi").string();
    const std::string size = "s=320x240:r=25";
    auto advert = [&](const std::string& video, int tone) {
        return " -f lavfi -i " + video + "=" + size +
               ":d=15 -f lavfi -i sine=f=" + std::to_string(tone) + ":r=44100:d=15";
    };
    std::string args = "-f lavfi -i testsrc2=" + size + ":d=120 -f lavfi -i sine=r=44100:d=120" +
                       " -f lavfi -i color=black:" + size + ":d=0.48" +
                       " -f lavfi -i anullsrc=r=44100:cl=mono,atrim=duration=0.48" +
                       advert("smptebars", 1000) + advert("rgbtestsrc", 700) +
                       advert("smptehdbars", 300) + " -f lavfi -i testsrc=" + size +
                       ":d=120 -f lavfi -i sine=f=500:r=44100:d=120";
    args += " -filter_complex \"";
    for (const char* part : {"0", "2", "4", "2", "6", "2", "8", "2", "10"})
        args += "[" + std::string(part) + ":v][" + std::to_string(std::atoi(part) + 1) + ":a]";
    args += "concat=n=9:v=1:a=1[cv][a];[cv]setpts=N/25/TB[v]\" -map [v] -map [a]"
            " -c:v mpeg4 -q:v 4 -g 250 -bf 0 -avoid_negative_ts disabled"
            " -c:a libmp3lame -ac 1 " +
            ShellQuote(path);
    return RunFfmpeg(args) ? path : "";
}

} // namespace

TEST(ComskipTest, PicturesBecomeSlotsAndMissingProgramSaysHowToInstall) {
    // Frames from 1; slot 1 is an empty chunk, so picture 1 (frame 2) is slot 2.
    TForeignList list;
    list.Ranges = {Frames(1, 2), Frames(2, 4), Frames(5, 7)}; // as read: last frame + 1
    ComskipFramesToSlots(list, {0, 2, 3, 4, 5}, 6);
    EXPECT_EQ(list.Ranges[0], Frames(0, 2)); // the empty slot repeats picture 0: removed too
    EXPECT_EQ(list.Ranges[1], Frames(2, 4));
    EXPECT_EQ(list.Ranges[2], Frames(5, 6)); // past the last picture: the video's end

    TForeignList plain;
    plain.Ranges = {Frames(3007, 4168)};
    ComskipFramesToSlots(plain, {}, 7173);
    EXPECT_EQ(plain.Ranges[0], Frames(3006, 4167));

    const char* path = std::getenv("PATH");
    const std::string saved = path ? path : "";
    ::setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(ComskipProgram(), "");
    try {
        RunComskip("any.avi");
        ADD_FAILURE() << "ran without comskip";
    } catch (const EZarvexError& e) {
        EXPECT_EQ(e.what(), ComskipInstallHint());
    }
    ::setenv("PATH", saved.c_str(), 1);
}

// comskip is heuristic: it cuts within the black frames around the block. The removal must
// start and end there, give or take 3 frames, and take no more than 5 frames elsewhere.
TEST_F(ComskipRunTest, RemovesTheAdBlockAndLeavesNothingBehind) {
    const std::string path = MakeRecording(Recording);
    ASSERT_FALSE(path.empty());
    double last = -1;
    bool backwards = false;
    const TForeignList list = RunComskip(path, [&](bool&, double percent) {
        backwards |= percent < last;
        last = percent;
    });
    EXPECT_FALSE(backwards);
    EXPECT_EQ(last, 100);
    EXPECT_EQ(list.Format, TListFormat::ComskipTxt);
    EXPECT_EQ(list.FramesPerSecond, 25);
    int64_t elsewhere = 0;
    bool found = false;
    for (const TListRange& r : list.Ranges) {
        if (r.Start.Frames <= 3500 && r.End.Frames > 3500) {
            found = true;
            EXPECT_GE(r.Start.Frames, 3000 - 3);
            EXPECT_LE(r.Start.Frames, 3012 + 3);
            EXPECT_GE(r.End.Frames, 4161 - 3);
            EXPECT_LE(r.End.Frames, 4173 + 3);
        } else {
            elsewhere += r.End.Frames - r.Start.Frames;
        }
    }
    EXPECT_TRUE(found);
    EXPECT_LE(elsewhere, 5);
    EXPECT_EQ(CountEntries(Recording), 1);
    EXPECT_EQ(CountEntries(Temp), 0);
}

TEST_F(ComskipRunTest, CancelStopsItAndLeavesNoProcessNorFiles) {
    const std::string path = MakeMpeg4Avi(Dir, "short.avi", 20);
    ASSERT_FALSE(path.empty());
    const int fds = CountEntries("/proc/self/fd");
    try {
        RunComskip(path, [](bool& cancel, double) { cancel = true; });
        ADD_FAILURE() << "not cancelled";
    } catch (const EZarvexError& e) {
        EXPECT_STREQ(e.what(), "Cancelled.");
    }
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1); // no child left, not even a zombie
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_EQ(CountEntries(Temp), 0);
}
