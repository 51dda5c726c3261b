#include "fixtures/CopierFixture.h"
#include "splitting/PartPlan.h"

#include <filesystem>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

class SplitTest : public CopierFixture {
protected:
    std::string Folder = Dir.File("parts");
    void SetUp() override { std::filesystem::create_directory(Folder); }

    // Video frames of the given sizes, all key frames unless keys says otherwise.
    void Frames(const std::vector<uint32_t>& sizes, const std::vector<bool>& keys = {}) {
        TAviLayout layout = SimpleLayout(0, 0, true, TIndexStyle::Idx1Relative);
        for (size_t i = 0; i < sizes.size(); ++i) {
            layout.Chunks.push_back({0, sizes[i], keys.empty() || keys[i]});
            layout.Chunks.push_back({1, 7056, true});
        }
        Source(layout);
    }
    std::vector<std::pair<int32_t, int32_t>> Ranges(int32_t parts) {
        std::vector<std::pair<int32_t, int32_t>> out;
        for (const TPart& p : PlanParts(*Reader.VideoStream(), parts, Folder, "clip"))
            out.push_back({p.FirstFrame, p.LastFrame});
        return out;
    }
    std::string Part(int n, int of) { return PartFileName(Folder, "clip", n, of); }
    size_t FramesIn(const std::string& path) { return Payloads(path, 0).size(); }
};

using TRanges = std::vector<std::pair<int32_t, int32_t>>;

} // namespace

TEST_F(SplitTest, CutsAtKeyFramesOnceTheTargetIsReached) {
    Frames(std::vector<uint32_t>(10, 100));
    EXPECT_EQ(Ranges(3), (TRanges{{0, 3}, {3, 7}, {7, 9}})) << "target 333";
    ASSERT_TRUE(Engine->SplitIntoParts(3, Folder, "clip"));
    EXPECT_EQ(FramesIn(Part(1, 3)), 4u);
    EXPECT_EQ(FramesIn(Part(2, 3)), 5u) << "frame 3 ends part 1 and starts part 2";
    EXPECT_EQ(FramesIn(Part(3, 3)), 3u);
    EXPECT_EQ(Payloads(Part(2, 3), 0).front(), SourcePayload(0, 3));
    EXPECT_FALSE(std::filesystem::exists(Part(4, 3)));

    EXPECT_EQ(Ranges(1), (TRanges{{0, 9}}));
    ASSERT_TRUE(Engine->SplitIntoParts(1, Folder, "whole"));
    EXPECT_EQ(FramesIn(Folder + "/whole1.avi"), 10u);
}

TEST_F(SplitTest, AnExtraPartWhenTheLastCutComesEarly) {
    std::vector<uint32_t> sizes(9, 100);
    sizes.push_back(1);
    Frames(sizes);
    EXPECT_EQ(Ranges(3), (TRanges{{0, 2}, {2, 5}, {5, 8}, {8, 9}}));
    ASSERT_TRUE(Engine->SplitIntoParts(3, Folder, "clip"));
    EXPECT_EQ(FramesIn(Part(4, 3)), 2u);
}

TEST_F(SplitTest, SparseKeyFramesGiveFewerParts) {
    std::vector<bool> keys(400, false);
    keys[0] = keys[300] = true;
    Frames(std::vector<uint32_t>(400, 50), keys);
    EXPECT_EQ(Ranges(10), (TRanges{{0, 300}, {300, 399}}));
}

TEST_F(SplitTest, PartNamesArePaddedToTheDigitsOfTheCount) {
    EXPECT_EQ(PartFileName("/v", "clip", 1, 1), "/v/clip1.avi");
    EXPECT_EQ(PartFileName("/v", "clip", 5, 5), "/v/clip5.avi");
    EXPECT_EQ(PartFileName("/v", "clip", 1, 12), "/v/clip01.avi");
    EXPECT_EQ(PartFileName("/v", "clip", 12, 12), "/v/clip12.avi");
    EXPECT_EQ(PartFileName("/v/", "clip", 7, 100), "/v/clip007.avi");
    EXPECT_EQ(PartFileName("/v", "clip", 100, 100), "/v/clip100.avi");
    EXPECT_EQ(PartFileName("/", "c", 10, 9), "/c10.avi") << "the extra part after 9";
}

TEST_F(SplitTest, EveryExistingFileIsAskedAboutBeforeAnythingIsWritten) {
    std::vector<uint32_t> sizes(9, 100);
    sizes.push_back(1);
    Frames(sizes);
    WriteFileBytes(Part(2, 3), {'o', 'l', 'd', '2'});
    WriteFileBytes(Part(4, 3), {'o', 'l', 'd', '4'}); // the extra part is covered too
    std::vector<std::string> asked;
    Engine->OnConfirmOverwrite = [&](TZarvex&, const std::string& q) {
        asked.push_back(q);
        return asked.size() < 2; // Yes to the first, Cancel on the second
    };
    EXPECT_FALSE(Engine->SplitIntoParts(3, Folder, "clip"));
    EXPECT_EQ(asked, (std::vector<std::string>{
                         "The \"" + Part(2, 3) + "\" file is already exists. Overwrite?",
                         "The \"" + Part(4, 3) + "\" file is already exists. Overwrite?"}));
    EXPECT_EQ(FileBytes(Part(2, 3)), (std::vector<uint8_t>{'o', 'l', 'd', '2'}));
    EXPECT_EQ(FileBytes(Part(4, 3)), (std::vector<uint8_t>{'o', 'l', 'd', '4'}));
    EXPECT_FALSE(std::filesystem::exists(Part(1, 3))) << "nothing written before the answers";

    Engine->OnConfirmOverwrite = nullptr; // nobody to ask: nothing is overwritten
    EXPECT_FALSE(Engine->SplitIntoParts(3, Folder, "clip"));
    Engine->OnConfirmOverwrite = [](TZarvex&, const std::string&) { return true; };
    EXPECT_TRUE(Engine->SplitIntoParts(3, Folder, "clip"));
    EXPECT_EQ(FramesIn(Part(4, 3)), 2u);
}

TEST_F(SplitTest, CancelDuringThePartBeingWrittenEndsTheSplit) {
    Frames(std::vector<uint32_t>(40, 100));
    std::vector<double> seen;
    Engine->OnProgress = [&](TZarvex&, bool& cancel, double p) {
        seen.push_back(p);
        cancel = p >= 35.0; // inside part 2 of 4 (frames 9 to 19)
    };
    ASSERT_TRUE(Engine->SplitIntoParts(4, Folder, "clip"));
    EXPECT_TRUE(Engine->Cancelled());
    EXPECT_EQ(FramesIn(Part(1, 4)), 10u);
    const size_t second = FramesIn(Part(2, 4));
    EXPECT_GT(second, 0u);
    EXPECT_LT(second, 11u) << "a valid, shorter file";
    EXPECT_FALSE(std::filesystem::exists(Part(3, 4)));
    EXPECT_FALSE(std::filesystem::exists(Part(4, 4)));
    // Progress runs over the whole file; the shared boundary frame may step it back by one.
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_GE(seen[i], seen[i - 1] - 100.0 / 40) << i;
    EXPECT_GE(seen.front(), 0.0);
}

TEST_F(SplitTest, APartNamedLikeTheSourceIsRefusedBeforeAnyQuestion) {
    Frames(std::vector<uint32_t>(10, 100));
    // The source is parts/clip1.avi; splitting it with the prefix "clip" would overwrite it.
    const std::string source = Part(1, 3);
    WriteFileBytes(source, Built.Bytes);
    Reader.Open(source);
    Engine = std::make_unique<TZarvex>(Reader);
    bool asked = false;
    Engine->OnConfirmOverwrite = [&](TZarvex&, const std::string&) { return asked = true; };
    try {
        Engine->SplitIntoParts(3, Folder, "clip");
        ADD_FAILURE() << "split over its own source";
    } catch (const EZarvexError& e) {
        EXPECT_STREQ(e.what(), "The output file is the source file.");
    }
    EXPECT_FALSE(asked);
    EXPECT_EQ(FileBytes(source), Built.Bytes);
    EXPECT_FALSE(std::filesystem::exists(Part(2, 3)));
}

TEST_F(SplitTest, PartsTogetherHoldEveryFrameOnce) {
    std::vector<uint32_t> sizes;
    std::vector<bool> keys;
    for (int i = 0; i < 500; ++i) {
        sizes.push_back(100 + uint32_t(i * 37 % 900));
        keys.push_back(i % 12 == 0);
    }
    Frames(sizes, keys);
    ASSERT_TRUE(Engine->SplitIntoParts(10, Folder, "p"));
    std::vector<std::vector<uint8_t>> joined;
    for (int n = 1; std::filesystem::exists(PartFileName(Folder, "p", n, 10)); ++n) {
        auto frames = Payloads(PartFileName(Folder, "p", n, 10), 0);
        joined.insert(joined.end(), frames.begin() + (n == 1 ? 0 : 1), frames.end());
    }
    ASSERT_EQ(joined.size(), 500u);
    for (uint32_t i = 0; i < 500; ++i)
        ASSERT_EQ(joined[i], SourcePayload(0, i)) << "frame " << i;
}
