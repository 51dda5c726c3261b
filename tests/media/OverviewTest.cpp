// The timeline's overview of ffmpeg-made files: key frame pictures at the right slots, every
// frame of a zoomed-in view, peaks of known sound, the cache, and stopping mid-work.
#include "media/Overview.h"
#include "avi_input/AVIRead.h"
#include "media/OverviewCache.h"
#include "media/OverviewWork.h"
#include "support/FrameClock.h"

#include "fixtures/AviBuilder.h"
#include "fixtures/MediaFixture.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace zarvex;
using namespace zarvex::media;
using namespace zarvex::fixtures;
namespace fs = std::filesystem;

namespace {

constexpr int64_t Second = 10000000;

struct TOpened {
    TAVIFileReader Reader;
    std::unique_ptr<TOverviewSource> Source;
    TOpened(const std::string& path, const std::string& cache = "") {
        Reader.Open(path);
        Source = OpenOverview(Reader, TOverviewOptions{cache});
    }
    bool WaitComplete() const {
        for (int i = 0; i < 3000 && !Source->Complete(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return Source->Complete();
    }
};

// ffmpeg's picture of frame n at the thumbnail's size, as 0xffRRGGBB words.
std::vector<uint32_t> FfmpegThumbnail(const std::string& path, int64_t n, int w, int h) {
    const TCommandResult r = RunCapture("ffmpeg -nostdin -v error -i " + ShellQuote(path) +
                                        " -map 0:v:0 -vf 'select=eq(n\\," + std::to_string(n) +
                                        "),scale=" + std::to_string(w) + ":" + std::to_string(h) +
                                        "' -frames:v 1 -pix_fmt bgra -f rawvideo -");
    std::vector<uint32_t> px(r.Output.size() / 4);
    std::memcpy(px.data(), r.Output.data(), px.size() * 4);
    return px;
}

double MeanDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int s = 0; s < 24; s += 8)
            sum += std::abs(int(a[i] >> s & 255) - int(b[i] >> s & 255));
    return sum / (a.size() * 3.0);
}

// Whether the picture is ffmpeg's frame n rather than one of its neighbours, which differ little.
void ExpectFrame(const std::string& path, const TThumbnail& p, int64_t n) {
    const auto at = [&](int64_t i) {
        const std::vector<uint32_t> theirs = FfmpegThumbnail(path, i, p.Width, p.Height);
        return theirs.size() == p.Pixels.size() ? MeanDifference(p.Pixels, theirs) : 1e9;
    };
    const double own = at(n);
    EXPECT_LT(own, 10.0) << "frame " << n;
    EXPECT_LT(own, at(n - 1)) << "frame " << n;
    EXPECT_LT(own, at(n + 1)) << "frame " << n;
}

class OverviewTest : public ::testing::Test {
protected:
    void SetUp() override { ZARVEX_REQUIRE_TOOL("ffmpeg"); }
    TTempDir Dir;
};

} // namespace

TEST_F(OverviewTest, PicturesEveryKeyFrameAndEveryFrameWhenZoomedIn) {
    // B-frames, so that pictures come out of the decoder in another order than their chunks.
    const std::string src =
        MakeWriterFile(Dir, "keys.avi", "ffmpeg", "-f lavfi -i testsrc2=size=640x480:rate=25", "",
                       "-t 4 -c:v mpeg4 -q:v 4 -g 25 -bf 2 -flags +cgop "
                       "-sc_threshold 1000000000");
    ASSERT_FALSE(src.empty());
    TOpened o(src);
    ASSERT_TRUE(o.Source);
    o.Source->SetVisible(0, 4 * Second, 4 * Second / 100);
    ASSERT_TRUE(o.WaitComplete());
    const TFrameClock clock(25, 1);
    const auto keys = o.Source->Thumbnails(0, 4 * Second);
    ASSERT_EQ(keys.size(), 4u);
    for (size_t i = 0; i < keys.size(); ++i) {
        const TThumbnail& p = *keys[i];
        EXPECT_EQ(p.FrameNumber, int64_t(i) * 25);
        EXPECT_EQ(p.Time, clock.FrameStart(p.FrameNumber));
        ASSERT_EQ(p.Width, 160);
        ASSERT_EQ(p.Height, 120);
        ASSERT_EQ(p.Pixels.size(), 160u * 120u);
        EXPECT_EQ(p.Pixels[0] >> 24, 0xffu);
    }
    ExpectFrame(src, *keys[1], 25);
    EXPECT_EQ(o.Source->ThumbnailAt(clock.FrameStart(60))->FrameNumber, 50);

    // A column shorter than a frame: pictures of frames 30..40, each its own.
    o.Source->SetVisible(clock.FrameStart(30), clock.FrameStart(40), clock.FrameStep() / 4);
    std::vector<TThumbnailPtr> frames;
    for (int i = 0; i < 1000 && frames.size() < 11; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        frames = o.Source->Thumbnails(clock.FrameStart(30), clock.FrameStart(40));
    }
    ASSERT_EQ(frames.size(), 11u);
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(frames[i]->FrameNumber, 30 + int64_t(i));
    ExpectFrame(src, *frames[7], 37);
    EXPECT_EQ(o.Source->ThumbnailAt(clock.FrameStart(37) + 1)->FrameNumber, 37);
}

// An open group: the B-frames after key frame 50 show before it and cannot be decoded from it,
// so a run from there must leave their slots empty rather than shift every picture after them.
TEST_F(OverviewTest, EveryFramePicturesOfAnOpenGroupAreTheirOwn) {
    const std::string src =
        MakeWriterFile(Dir, "open.avi", "ffmpeg", "-f lavfi -i testsrc2=size=320x240:rate=25", "",
                       "-t 3 -c:v mpeg4 -q:v 4 -g 25 -bf 2 -sc_threshold 1000000000");
    ASSERT_FALSE(src.empty());
    TOpened o(src);
    ASSERT_TRUE(o.Source);
    const TFrameClock clock(25, 1);
    o.Source->SetVisible(clock.FrameStart(50), clock.FrameStart(56), clock.FrameStep() / 4);
    std::vector<TThumbnailPtr> frames;
    for (int i = 0; i < 1000 && frames.size() < 7; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        frames = o.Source->Thumbnails(clock.FrameStart(50), clock.FrameStart(56));
    }
    ASSERT_EQ(frames.size(), 7u);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i]->FrameNumber, 50 + int64_t(i));
        ExpectFrame(src, *frames[i], 50 + int64_t(i));
    }
}

TEST_F(OverviewTest, PicturesKeyFramesOfEveryCommonCodec) {
    const std::vector<std::pair<std::string, std::string>> codecs = {
        {"h264", "-c:v libx264 -g 10 -bf 2 -pix_fmt yuv420p"},
        {"h264-open-gop", "-c:v libx264 -g 10 -bf 2 -x264-params open-gop=1 -pix_fmt yuv420p"},
        {"msmpeg4", "-c:v msmpeg4 -g 10"},
        {"mjpeg", "-c:v mjpeg -q:v 5"},
        {"dv", "-s 720x576 -r 25 -pix_fmt yuv420p -c:v dvvideo"},
    };
    for (const auto& [name, args] : codecs) {
        const std::string src = MakeWriterFile(Dir, name + ".avi", "ffmpeg",
                                               "-f lavfi -i testsrc2=size=320x240:rate=25",
                                               "-f lavfi -i sine", "-t 1 " + args + " -c:a mp2");
        ASSERT_FALSE(src.empty()) << name;
        TOpened o(src);
        ASSERT_TRUE(o.Source) << name;
        ASSERT_TRUE(o.WaitComplete()) << name;
        auto& overview = dynamic_cast<TOverview&>(*o.Source);
        const auto pictures = o.Source->Thumbnails(0, 2 * Second);
        EXPECT_GE(pictures.size(), 3u) << name;
        EXPECT_EQ(pictures.size(), overview.KeyFrameCount()) << name;
        for (const auto& p : pictures)
            EXPECT_EQ(p->Width, 160) << name;
        // Colours and range as ffmpeg shows them (DV's pixels are not square).
        const TThumbnail& first = *pictures.front();
        EXPECT_EQ(first.Height, 120) << name;
        const auto theirs = FfmpegThumbnail(src, first.FrameNumber, 160, first.Height);
        ASSERT_EQ(theirs.size(), first.Pixels.size()) << name;
        EXPECT_LT(MeanDifference(first.Pixels, theirs), 10.0) << name;
        EXPECT_TRUE(o.Source->HasAudio()) << name;
    }
}

// One second of silence, then one of a 440 Hz tone at half of full scale.
TEST_F(OverviewTest, PeaksOfSilenceAndToneInEveryLayout) {
    const std::string tone = "if(gte(t\\,1)\\,0.5*sin(2*PI*440*t)\\,0)";
    const std::string sound = "-f lavfi -i 'aevalsrc=" + tone + "|" + tone + ":s=44100:d=2'";
    for (const std::string codec :
         {"pcm_s16le", "pcm_u8", "pcm_s24le", "pcm_s32le", "pcm_f32le", "libmp3lame"}) {
        const std::string src = MakeWriterFile(Dir, codec + ".avi", "ffmpeg",
                                               "-f lavfi -i testsrc2=size=160x120:rate=25", sound,
                                               "-t 2 -c:v mpeg4 -c:a " + codec);
        ASSERT_FALSE(src.empty()) << codec;
        TOpened o(src);
        ASSERT_TRUE(o.WaitComplete()) << codec;
        ASSERT_TRUE(o.Source->HasAudio());
        // Ten columns of a fifth of a second each.
        const std::vector<TPeak> peaks = o.Source->Peaks(0, Second / 5, 10);
        ASSERT_EQ(peaks.size(), 10u);
        for (int c = 0; c < 10; ++c) {
            ASSERT_TRUE(peaks[c].Known) << codec << " column " << c;
            // The first and the sixth column touch the edge of the tone (and MP3's spread).
            if (c == 0 || c == 4 || c == 5)
                continue;
            const int expected = c < 5 ? 0 : 63;
            EXPECT_NEAR(peaks[c].High, expected, 3) << codec << " column " << c;
            EXPECT_NEAR(peaks[c].Low, -expected, 3) << codec << " column " << c;
        }
        EXPECT_FALSE(o.Source->Peaks(10 * Second, Second, 1)[0].Known);
    }
}

TEST_F(OverviewTest, CacheIsReadBackAndIgnoredWhenTheFileChanged) {
    const std::string src = MakeMpeg4Avi(Dir, "cached.avi", 3.0, 25);
    ASSERT_FALSE(src.empty());
    const fs::path cache = Dir.Path() / "cache";
    const auto besideSource = std::distance(fs::directory_iterator(Dir.Path()), {});
    { ASSERT_TRUE(TOpened(src, cache.string()).WaitComplete()); }
    ASSERT_EQ(std::distance(fs::directory_iterator(cache), {}), 1);
    const fs::path file = fs::directory_iterator(cache)->path();
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path()), {}), besideSource + 1);

    // Read back in the constructor: complete before any worker could have run.
    const auto written = fs::last_write_time(file);
    {
        TOpened again(src, cache.string());
        EXPECT_TRUE(again.Source->Complete());
        EXPECT_EQ(again.Source->Thumbnails(0, 3 * Second).size(), 3u);
        EXPECT_TRUE(again.Source->Peaks(Second, Second, 1)[0].Known);
    }
    EXPECT_EQ(fs::last_write_time(file), written); // nothing new to keep

    // A changed source (its time) and a damaged cache are each worked out anew.
    fs::last_write_time(src, fs::last_write_time(src) - std::chrono::hours(1));
    { EXPECT_TRUE(TOpened(src, cache.string()).WaitComplete()); }
    EXPECT_NE(fs::last_write_time(file), written);
    fs::resize_file(file, fs::file_size(file) / 2);
    {
        TOpened damaged(src, cache.string());
        EXPECT_TRUE(damaged.WaitComplete());
        EXPECT_EQ(damaged.Source->Thumbnails(0, 3 * Second).size(), 3u);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(cache), {}), 1);
}

// The folder stays within its limit: the overviews written longest ago go, the one just saved
// and files that are not overviews stay.
TEST(OverviewCachePrune, RemovesTheOldestOverviewsBeyondTheLimit) {
    TTempDir dir;
    const auto now = fs::file_time_type::clock::now();
    const auto put = [&](const char* name, size_t size, int hoursAgo) {
        const fs::path p = dir.Path() / name;
        WriteFileBytes(p.string(), std::vector<uint8_t>(size, 1));
        fs::last_write_time(p, now - std::chrono::hours(hoursAgo));
        return p;
    };
    const fs::path oldest = put("1.overview", 400, 30), older = put("2.overview", 400, 20);
    const fs::path kept = put("3.overview", 400, 40), other = put("notes.txt", 4000, 50);
    const fs::path newest = put("4.overview", 400, 1);
    PruneOverviewCache(dir.Path().string(), 1000, kept.string());
    EXPECT_FALSE(fs::exists(oldest));
    EXPECT_FALSE(fs::exists(older));
    EXPECT_TRUE(fs::exists(kept) && fs::exists(newest) && fs::exists(other));
}

TEST_F(OverviewTest, StopsPromptlyAndSurvivesACutOffFile) {
    const std::string src = MakeMpeg4Avi(Dir, "long.avi", 20.0, 2, "640x480");
    ASSERT_FALSE(src.empty());
    {
        TOpened o(src);
        o.Source->SetVisible(0, 20 * Second, 20 * Second / 1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto start = std::chrono::steady_clock::now();
        o.Source.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    }
    // The second half cut off and the index rebuilt from what is left.
    const std::string cut = Dir.File("cut.avi");
    fs::copy_file(src, cut);
    fs::resize_file(cut, fs::file_size(cut) / 2 + 4321);
    TAVIFileReader reader;
    reader.IndexRebuild = TIndexRebuild::Always;
    reader.Open(cut);
    auto source = OpenOverview(reader, {});
    ASSERT_TRUE(source);
    for (int i = 0; i < 3000 && !source->Complete(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(source->Complete());
    EXPECT_GT(source->Thumbnails(0, 20 * Second).size(), 10u);
}
