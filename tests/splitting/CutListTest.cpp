#include "splitting/CutList.h"
#include "avi_input/AVIRead.h"
#include "avi_input/FourCC.h"
#include "fixtures/AviBuilder.h"
#include "fixtures/Tools.h"
#include "splitting/CutListEdit.h"
#include "splitting/Joiner.h"
#include "support/Errors.h"

#include <gtest/gtest.h>

using namespace zarvex;
using namespace zarvex::fixtures;

TEST(CutListTest, ReadsWhatItWritesAndSkipsBlankAndCommentLines) {
    TCutList list;
    list.Entries = {{"my clip (2).avi", {10, 20}, 0.4, 0.84},
                    {"b.avi", {0, 0}, 0, 0.04},
                    {"c.avi", {1, 2}, 1e30, 1e300}};
    const std::string text = FormatCutList(list);
    EXPECT_EQ(ParseCutList(text).Entries, list.Entries);

    // Written by hand or on Windows: blanks, indented comments, CRLF (once converted twice), no
    // source, tabs.
    const TCutList hand =
        ParseCutList("\r\n   \n  # note\n5\t9 0.2 0.4\r\n7 7 0.28 0.32   x y.avi\r\r\n");
    ASSERT_EQ(hand.Entries.size(), 2u);
    EXPECT_EQ(hand.Entries[0].Frames, (TKeepRange{5, 9}));
    EXPECT_EQ(hand.Entries[0].Source, "");
    EXPECT_EQ(hand.Entries[1].Source, "x y.avi");
}

TEST(CutListTest, NamesTheLineItCannotRead) {
    for (const char* bad : {"12", "1 2 0.0", "1 2 0.0 1.0x a.avi", "a 2 0 1", "-1 2 0 1", "5 4 0 1",
                            "1 2 1.0 0.5", "1 99999999999 0 1"}) {
        try {
            ParseCutList(std::string("# header\n\n") + bad + "\n1 2 0 1\n");
            ADD_FAILURE() << bad;
        } catch (const EZarvexError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Line 3 of the cut list ", 0), 0u) << e.what();
        }
    }
}

TEST(CutListTest, FileNames) {
    EXPECT_EQ(CutListPathFor("/v/my.clip.avi"), "/v/my.clip.cuts");
    EXPECT_EQ(RangeFileName("/v/out.avi", 3, 12), "/v/out_03.avi");
    EXPECT_EQ(RangeFileName("out.avi", 12, 12), "out_12.avi");
    EXPECT_EQ(RangeFileName("out.avi", 1, 9), "out_1.avi");
}

TEST(JoinRefusalTest, NamesTheFirstDifference) {
    TTempDir dir;
    auto make = [&](const std::string& name, auto change) {
        TAviLayout layout = SimpleLayout(5, 1, true, TIndexStyle::Idx1Relative);
        change(layout);
        WriteFileBytes(dir.File(name), BuildAvi(layout).Bytes);
        auto r = std::make_unique<TAVIFileReader>();
        r->Open(dir.File(name));
        return r;
    };
    auto same = make("a.avi", [](TAviLayout&) {});
    auto refusal = [&](auto change) {
        auto other = make("b.avi", change);
        return JoinRefusal({same.get(), same.get(), other.get()});
    };
    EXPECT_EQ(refusal([](TAviLayout&) {}), "");
    EXPECT_EQ(refusal([](TAviLayout& l) {
                  l.Streams[0].Header.dwRate *= 2, l.Streams[0].Header.dwScale *= 2;
              }),
              "");
    // SimpleLayout's video is XVID 320x240 at 25 fps, its sound PCM stereo at 44100 Hz.
    EXPECT_EQ(refusal([](TAviLayout& l) {
                  l.Streams[0].Format = VideoFormat(320, 240, FourCCOf("DIVX"));
              }),
              "The video of b.avi is DIVX; a.avi is XVID.");
    EXPECT_EQ(refusal([](TAviLayout& l) {
                  l.Streams[0].Format = VideoFormat(160, 120, FourCCOf("xvid"));
              }),
              "The video of b.avi is 160x120; a.avi is 320x240.");
    EXPECT_EQ(refusal([](TAviLayout& l) {
                  l.Streams[0].Header.dwRate = 30;
                  l.Streams[0].Header.dwScale = 1;
              }),
              "The video of b.avi is 30 frames per second; a.avi is 25 frames per second.");
    EXPECT_EQ(refusal([](TAviLayout& l) { l.Streams[1].Format = AudioFormat(1, 1, 44100, 2, 16); }),
              "The audio of b.avi is 1 channel; a.avi is 2 channels.");
    EXPECT_EQ(
        refusal([](TAviLayout& l) { l.Streams[1].Format = AudioFormat(0x55, 2, 44100, 1, 0); }),
        "The audio of b.avi is format 0x0055; a.avi is format 0x0001.");
    EXPECT_EQ(refusal([](TAviLayout& l) {
                  l.Streams.pop_back();
                  std::erase_if(l.Chunks, [](const TFixtureChunk& c) { return c.Stream == 1; });
              }),
              "b.avi has 1 stream; a.avi has 2.");
}

TEST(CutListTest, TimeOrderOverlapsAndTheComplement) {
    const auto entry = [](const char* source, int32_t first, int32_t last) {
        TCutListEntry e;
        e.Source = source;
        e.Frames = {first, last};
        return e;
    };
    // The open file first, appended files after it in the order they came.
    const std::vector<TCutListEntry> list{entry("b", 0, 9), entry("a", 50, 59), entry("c", 0, 9),
                                          entry("a", 10, 19)};
    const std::vector<TCutListEntry> sorted = SortedByTime(list, "a");
    std::string order;
    for (const TCutListEntry& e : sorted)
        order += e.Source + std::to_string(e.Frames.First) + " ";
    EXPECT_EQ(order, "a10 a50 b0 c0 ");
    EXPECT_EQ(TimeOrderPosition(sorted, entry("a", 30, 39), "a"), 1u);
    EXPECT_EQ(TimeOrderPosition(sorted, entry("b", 20, 29), "a"), 3u);
    EXPECT_EQ(TimeOrderPosition(sorted, entry("d", 0, 9), "a"), 4u);

    // Overlaps count within a source only; touching ranges do not overlap.
    EXPECT_EQ(OverlappingEntries(
                  {entry("a", 0, 9), entry("a", 10, 19), entry("b", 5, 6), entry("a", 15, 30)}),
              (std::vector<bool>{false, true, false, true}));

    using TRanges = std::vector<TKeepRange>;
    EXPECT_EQ(Complement({{40, 49}, {10, 19}, {15, 24}}, 100),
              (TRanges{{0, 9}, {25, 39}, {50, 99}}));
    EXPECT_EQ(Complement({{0, 9}, {90, 120}}, 100), (TRanges{{10, 89}}));
    EXPECT_EQ(Complement({{0, 99}}, 100), TRanges{});
    EXPECT_EQ(Complement({}, 100), (TRanges{{0, 99}}));
}
