#include "media/SpotDetect.h"
#include "fixtures/MediaFixture.h"
#include "support/Errors.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>

using namespace zarvex;
using namespace zarvex::fixtures;
using namespace zarvex::media;

namespace {

using S = TStretch;

// A programme with traps (a dark scene, black with sound, a quiet passage), then two ad blocks
// framed by black, silent frames.
const std::vector<std::pair<TStretch, int>> Layout = {
    {S::Programme, 500}, {S::Dark, 75},  {S::Programme, 125}, {S::BlackTone, 25},
    {S::Programme, 125}, {S::Quiet, 50}, {S::Programme, 250}, {S::Black, 5},
    {S::Advert, 300},    {S::Black, 5},  {S::Advert, 375},    {S::Black, 5},
    {S::Programme, 875}, {S::Black, 5},  {S::Advert, 275},    {S::Black, 5},
    {S::Advert, 325},    {S::Black, 5},  {S::Advert, 260},    {S::Black, 5},
    {S::Programme, 250}};

// First and last frame of every stretch of a kind.
std::vector<std::pair<int64_t, int64_t>> FramesOf(TStretch kind) {
    std::vector<std::pair<int64_t, int64_t>> out;
    int64_t at = 0;
    for (const auto& [k, n] : Layout) {
        if (k == kind)
            out.emplace_back(at, at + n - 1);
        at += n;
    }
    return out;
}

class SpotDetectTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!HaveTool("ffmpeg"))
            return;
        Dir = new TTempDir;
        Source = MakeStretchesAvi(*Dir, "show.avi", Layout);
        if (Source.empty())
            return;
        Found = new TDetection(DetectSpots(Source, TDetectOptions{},
                                           [](bool&, double percent) { LastPercent = percent; }));
    }
    static void TearDownTestSuite() {
        delete Found;
        delete Dir;
        Found = nullptr;
        Dir = nullptr;
    }
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        ASSERT_NE(Found, nullptr) << "the recording was not made";
    }
    static TBreakOptions ShortProgramme() {
        TBreakOptions o;
        o.MaxAdSeconds = 30; // the programme parts are short, to keep the recording small
        return o;
    }
    static inline TTempDir* Dir = nullptr;
    static inline std::string Source;
    static inline TDetection* Found = nullptr;
    static inline double LastPercent = -1;
};

TEST_F(SpotDetectTest, BreaksLieOnTheBlackSilentFramesAndTrapsAreNone) {
    const auto black = FramesOf(S::Black);
    const TAdBreaks found = FindAdBreaks(*Found, ShortProgramme());
    ASSERT_EQ(found.Breaks.size(), black.size());
    for (size_t i = 0; i < black.size(); ++i) {
        EXPECT_LE(std::llabs(found.Breaks[i].First - black[i].first), 1) << i;
        EXPECT_LE(std::llabs(found.Breaks[i].Last - black[i].second), 1) << i;
    }
    // The traps are found as what they are, and make no break.
    const auto blackTone = FramesOf(S::BlackTone)[0], quiet = FramesOf(S::Quiet)[0];
    auto has = [](const std::vector<TSpot>& spots, std::pair<int64_t, int64_t> frames) {
        for (const TSpot& s : spots)
            if (std::llabs(s.First - frames.first) <= 1 && std::llabs(s.Last - frames.second) <= 1)
                return true;
        return false;
    };
    EXPECT_TRUE(has(Found->Black, blackTone));
    EXPECT_TRUE(has(Found->Silence, quiet));
    for (const TSpot& s : Found->Black)
        EXPECT_FALSE(s.First > FramesOf(S::Dark)[0].first - 2 &&
                     s.First < FramesOf(S::Dark)[0].second)
            << "the dark scene is not black";
    // A scene change where the dark scene begins and where the first advert begins.
    auto changeAt = [&](int64_t frame) {
        for (const TSpot& s : Found->Scenes)
            if (std::llabs(s.First - frame) <= 1 && s.First == s.Last && s.Score > 0)
                return true;
        return false;
    };
    EXPECT_TRUE(changeAt(FramesOf(S::Dark)[0].first));
    EXPECT_TRUE(changeAt(FramesOf(S::Advert)[0].first));
    EXPECT_EQ(Found->FrameCount, FramesOf(S::Programme).back().second + 1);
    EXPECT_EQ(LastPercent, 100);
}

TEST_F(SpotDetectTest, KeptPartsAreExactlyTheProgramme) {
    const TAdBreaks found = FindAdBreaks(*Found, ShortProgramme());
    const auto black = FramesOf(S::Black);
    // The black frames belong to the ad blocks.
    const std::vector<std::pair<int64_t, int64_t>> programme = {
        {0, black[0].first - 1},
        {black[2].second + 1, black[3].first - 1},
        {black[6].second + 1, Found->FrameCount - 1}};
    EXPECT_EQ(found.Kept, programme);
    ASSERT_EQ(found.Ads.size(), 2u);
    // With adverts up to 90 s the short programme between the blocks is one more advert.
    EXPECT_EQ(FindAdBreaks(*Found).Ads.size(), 1u);
}

TEST_F(SpotDetectTest, CacheKeepsTheFindingsOfTheFileAsItIsAndTheseOptions) {
    TTempDir cache;
    TDetection loaded;
    EXPECT_FALSE(LoadDetection(cache.File("c"), Source, Found->Options, loaded));
    SaveDetection(cache.File("c"), Source, *Found);
    ASSERT_TRUE(LoadDetection(cache.File("c"), Source, Found->Options, loaded));
    EXPECT_EQ(loaded.Black, Found->Black);
    EXPECT_EQ(loaded.Silence, Found->Silence);
    EXPECT_EQ(loaded.Scenes, Found->Scenes);
    EXPECT_EQ(loaded.FrameCount, Found->FrameCount);
    EXPECT_EQ(loaded.Options, Found->Options);
    TDetectOptions other = Found->Options;
    other.SilenceDb = -50;
    EXPECT_FALSE(LoadDetection(cache.File("c"), Source, other, loaded));
    // A file changed since is a file of its own.
    const auto written = std::filesystem::last_write_time(Source);
    std::filesystem::last_write_time(Source, written + std::chrono::seconds(2));
    EXPECT_FALSE(LoadDetection(cache.File("c"), Source, Found->Options, loaded));
    std::filesystem::last_write_time(Source, written);
    EXPECT_TRUE(LoadDetection(cache.File("c"), Source, Found->Options, loaded));
}

TEST_F(SpotDetectTest, CancelStopsThePass) {
    double seen = 0;
    try {
        DetectSpots(Source, TDetectOptions{}, [&](bool& cancel, double percent) {
            seen = percent;
            cancel = percent > 20;
        });
        FAIL() << "not cancelled";
    } catch (const EZarvexError& e) {
        EXPECT_STREQ(e.what(), "Cancelled.");
    }
    EXPECT_LT(seen, 60);
}

TEST_F(SpotDetectTest, BlackWithoutBFramesDecodedMatchesEveryPictureDecoded) {
    // B-frames, and a key frame every 4 s for the second half's own decoder.
    const std::string b = Dir->File("bframes.avi");
    ASSERT_TRUE(RunFfmpeg("-i " + ShellQuote(Source) +
                          " -c:v mpeg4 -q:v 4 -bf 2 -g 100 -c:a copy " + ShellQuote(b)));
    TDetectOptions every, black;
    every.Silence = black.Silence = black.Scenes = false;
    const TDetection all = DetectSpots(b, every), refsFirst = DetectSpots(b, black);
    EXPECT_EQ(refsFirst.Black, all.Black);
    ASSERT_EQ(refsFirst.Black.size(), FramesOf(S::Black).size() + 1);
    // Shown in order on the chunks' slots, as without B-frames: the decoder's delay moves none.
    EXPECT_EQ(refsFirst.Black[1].First, FramesOf(S::Black)[0].first);
    EXPECT_EQ(refsFirst.Black[1].Last, FramesOf(S::Black)[0].second);
}

// The ad breaks from spots alone, at 25 frames a second.
TSpot Spot(TSpotKind kind, int64_t first, int64_t last) {
    return {kind, first, last, first / 25.0, (last + 1) / 25.0, 0};
}

TEST(AdBreaksTest, BreaksNeedBlackAndSilenceAndBlocksNeedAdvertsInARow) {
    TDetection d;
    d.FrameCount = 20000;
    // Blocks of breaks 15 s apart at 5000 and 12000; a lone advert between two breaks at 9000
    // and 9500; a dark scene at 3000 without silence, a silence at 4000 without black.
    for (int64_t at : {5000, 5375, 5750, 9000, 9500, 12000, 12375})
        d.Black.push_back(Spot(TSpotKind::Black, at, at + 4));
    d.Black.push_back(Spot(TSpotKind::Black, 3000, 3010));
    for (int64_t at : {4998, 5379, 5750, 9000, 9500, 12000, 12375})
        d.Silence.push_back(Spot(TSpotKind::Silence, at, at + 2));
    d.Silence.push_back(Spot(TSpotKind::Silence, 4000, 4010));
    // Silence that only touches the black a frame before it starts is no break.
    d.Black.push_back(Spot(TSpotKind::Black, 15000, 15004));
    d.Silence.push_back(Spot(TSpotKind::Silence, 14990, 14999));
    std::sort(d.Black.begin(), d.Black.end(),
              [](const TSpot& a, const TSpot& b) { return a.First < b.First; });

    const TAdBreaks b = FindAdBreaks(d);
    ASSERT_EQ(b.Breaks.size(), 7u);
    EXPECT_EQ(b.Breaks[1], Spot(TSpotKind::Break, 5375, 5379));
    ASSERT_EQ(b.Ads.size(), 1u) << "two adverts make a block, one does not";
    EXPECT_EQ(b.Ads[0], Spot(TSpotKind::Break, 5000, 5754));
    const std::vector<std::pair<int64_t, int64_t>> kept = {{0, 4999}, {5755, 19999}};
    EXPECT_EQ(b.Kept, kept);

    TBreakOptions one;
    one.MinAds = 1;
    one.MaxAdSeconds = 20;
    const TAdBreaks loose = FindAdBreaks(d, one);
    ASSERT_EQ(loose.Ads.size(), 3u);
    EXPECT_EQ(loose.Ads[1], Spot(TSpotKind::Break, 9000, 9504));
    EXPECT_EQ(loose.Ads[2], Spot(TSpotKind::Break, 12000, 12379));
}

TEST(AdBreaksTest, BlocksAtTheEdgesLeaveTheRestKept) {
    TDetection d;
    d.FrameCount = 6000;
    for (int64_t at : {0, 300, 600, 5000, 5300, 5600})
        d.Black.push_back(Spot(TSpotKind::Black, at, at + 4));
    d.Silence = d.Black;
    for (TSpot& s : d.Silence)
        s.Kind = TSpotKind::Silence;
    d.Black.back().Last = 5999; // black to the end of the file
    const TAdBreaks b = FindAdBreaks(d);
    const std::vector<std::pair<int64_t, int64_t>> kept = {{605, 4999}};
    EXPECT_EQ(b.Kept, kept);
    EXPECT_TRUE(FindAdBreaks(TDetection{}).Kept.empty());
}

} // namespace
