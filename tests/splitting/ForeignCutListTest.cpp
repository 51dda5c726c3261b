#include "splitting/ForeignCutList.h"
#include "support/Errors.h"

#include "fixtures/Tools.h"

#include <gtest/gtest.h>

#include <fstream>

#include <cmath>

using namespace zarvex;

namespace {

const TListVideo Video{1000, 25, 1};

using TRanges = std::vector<TKeepRange>;

// Reads a sample, checks that written back and read again it holds the same ranges, and gives
// the frames it keeps of Video.
TKeptFrames ReadBack(const std::string& text, const std::string& path, TListFormat format) {
    const TForeignList list = ReadForeignList(text, path);
    EXPECT_EQ(list.Format, format) << path;
    EXPECT_EQ(DescribeErrors(list), "") << path;
    const std::string written = WriteForeignList(list);
    EXPECT_EQ(DetectListFormat(written, path), format) << written;
    const TForeignList again = ReadForeignList(written, format);
    EXPECT_EQ(DescribeErrors(again), "") << written;
    EXPECT_EQ(again.Ranges.size(), list.Ranges.size()) << written;
    for (size_t i = 0; i < std::min(again.Ranges.size(), list.Ranges.size()); ++i) {
        const TListRange &a = list.Ranges[i], &b = again.Ranges[i];
        EXPECT_TRUE(a.Timed == b.Timed && a.ToEnd == b.ToEnd && a.Start.Frames == b.Start.Frames &&
                    a.End.Frames == b.End.Frames && a.Name == b.Name &&
                    std::abs(a.Start.Seconds - b.Start.Seconds) < 1e-5 &&
                    std::abs(a.End.Seconds - b.End.Seconds) < 1e-5)
            << written << " range " << i;
    }
    return KeptFrames(list, Video);
}

} // namespace

TEST(ForeignCutListTest, CutlistAtPrefersFramesAndReadsItsGeneralFacts) {
    const std::string text = "[General]\r\nApplication=SomeCutter\r\nVersion=0.9.8.7\r\n"
                             "comment1=The following parts of the movie will be kept.\r\n"
                             "ApplyToFile=C:\\tv\\News_20-00.mpg.avi\r\n"
                             "OriginalFileSizeBytes=-1294967296\r\nFramesPerSecond=25\r\n"
                             "NoOfCuts=2\r\n\r\n[Cut0]\r\nStart=3.5\r\nStartFrame=100\r\n"
                             "Duration=8.00\r\nDurationFrames=200\r\n\r\n"
                             "[Cut1]\r\nStart=20,5\r\nDuration=4\r\n\r\n[Info]\r\nRating=4\r\n";
    const TKeptFrames kept = ReadBack(text, "x.cutlist", TListFormat::CutlistAt);
    EXPECT_EQ(kept.Ranges, (TRanges{{100, 299}, {512, 611}}));
    const TForeignList list = ReadForeignList(text, "");
    EXPECT_EQ(list.FramesPerSecond, 25);
    EXPECT_EQ(list.General.OriginalFileSize, 3000000000);
    EXPECT_EQ(CutlistMismatch(list, "news_20-00.mpg.avi", 3000000000), "");
    EXPECT_EQ(CutlistMismatch(list, "other.avi", 3000000000 + (uint64_t(1) << 32)),
              "The cut list is for C:\\tv\\News_20-00.mpg.avi, not other.avi.");
    EXPECT_NE(CutlistMismatch(list, "News_20-00.mpg.avi", 2999999999).find("3000000000 bytes"),
              std::string::npos);

    // A cut count that does not add up, a size below the 32-bit range, a cut of nothing.
    const TForeignList bad = ReadForeignList(
        "[General]\nNoOfCuts=3\nOriginalFileSizeBytes=-2147483649\n[Cut0]\nStart=1\n", "");
    EXPECT_EQ(DescribeErrors(bad), "Line 2 cannot be read: NoOfCuts=3\n"
                                   "Line 3 cannot be read: OriginalFileSizeBytes=-2147483649\n"
                                   "Line 4 cannot be read: [Cut0]\n");
}

TEST(ForeignCutListTest, RemovalListsKeepTheRest) {
    const TKeptFrames comskip =
        ReadBack("FILE PROCESSING COMPLETE   1000 FRAMES AT  2500\n-------------------\n"
                 "0\t99\n500\t599\n",
                 "show.txt", TListFormat::ComskipTxt);
    EXPECT_EQ(comskip.Ranges, (TRanges{{100, 499}, {600, 999}}));

    // comskip's .edl is MPlayer's; a mute cuts nothing.
    const TKeptFrames mplayer = ReadBack("0.00\t4.00\t0\n10.00\t12.00\t1\n30.00\t45.00\t0\n",
                                         "show.edl", TListFormat::MPlayerEdl);
    EXPECT_EQ(mplayer.Ranges, (TRanges{{100, 749}}));
    EXPECT_EQ(mplayer.CutAtEnd, 1);

    // Kodi: clock times, frames, commercial breaks; scene markers cut nothing.
    const TKeptFrames kodi = ReadBack("0:00:04.000 0:00:08.000 3\n#300 #400 0\n12.5 13 2\n",
                                      "show.edl", TListFormat::KodiEdl);
    EXPECT_EQ(kodi.Ranges, (TRanges{{0, 99}, {200, 299}, {400, 999}}));
}

TEST(ForeignCutListTest, KeepListsOfTimesAndFrames) {
    // VDR: the frame within the second counts from 1; an odd last mark keeps to the end.
    EXPECT_EQ(ReadBack("0:00:02.01 start\n0:00:10.13\n0:00:30.01\n", "marks", TListFormat::VdrMarks)
                  .Ranges,
              (TRanges{{50, 261}, {750, 999}}));
    EXPECT_EQ(ReadBack("0.5,2.25,Intro\n0:00:10.000,0:00:12.000,\"Part, \"\"two\"\"\"\n30,,\n",
                       "p.csv", TListFormat::LosslessCsv)
                  .Ranges,
              (TRanges{{12, 55}, {250, 299}, {750, 999}}));
    EXPECT_EQ(ReadBack("{\n  // made by hand\n  version: 1,\n  mediaFileName: 'clip.avi',\n"
                       "  cutSegments: [\n    { start: 1, end: 2, name: 'a\\'s', },\n"
                       "    { \"start\": 4, end: 5.5 },\n    { end: 0.2 },\n  ],\n}\n",
                       "p.llc", TListFormat::LosslessLlc)
                  .Ranges,
              (TRanges{{25, 49}, {100, 136}, {0, 4}}));
    const TKeptFrames vcf = ReadBack("VirtualDub.audio.SetSource(1);\nVirtualDub.subset.Clear();\n"
                                     "VirtualDub.subset.AddRange(100,200);\n"
                                     "VirtualDub.subset.AddRange( 900, 200 );\n",
                                     "job.vcf", TListFormat::VirtualDubVcf);
    EXPECT_EQ(vcf.Ranges, (TRanges{{100, 299}, {900, 999}}));
    EXPECT_EQ(vcf.CutAtEnd, 1);
    EXPECT_EQ(
        ReadBack(FormatCutList({{{"a b.avi", {5, 9}, 0.2, 0.4}}}), "x.cuts", TListFormat::Zarvex)
            .Ranges,
        (TRanges{{5, 9}}));
}

TEST(ForeignCutListTest, FormatByContentThenByName) {
    EXPECT_EQ(DetectListFormat("100 200\n", "a.txt"), TListFormat::ComskipTxt);
    EXPECT_EQ(DetectListFormat("100 200\n", "a.EDL"), TListFormat::MPlayerEdl);
    EXPECT_EQ(DetectListFormat("100 200 0\n", ""), TListFormat::MPlayerEdl);
    EXPECT_EQ(DetectListFormat("1 2 0\n1:00 2:00 0\n", "a.edl"), TListFormat::KodiEdl);
    EXPECT_EQ(DetectListFormat("0:01:00.01\n", ""), TListFormat::VdrMarks);
    EXPECT_EQ(DetectListFormat("1,2,x\n", ""), TListFormat::LosslessCsv);
    EXPECT_EQ(DetectListFormat("# mine\n5 9 0.2 0.4 a.avi\n", ""), TListFormat::Zarvex);
    EXPECT_EQ(DetectListFormat("[General]\n", "a.csv"), TListFormat::CutlistAt);
    EXPECT_EQ(DetectListFormat("", "a.llc"), TListFormat::LosslessLlc);
    EXPECT_EQ(DetectListFormat("hello\n", "a.doc"), TListFormat::Unknown);
    EXPECT_THROW(ReadForeignList("hello\n", "a.doc"), EZarvexError);
}

TEST(ForeignCutListTest, ListsBesideAVideo) {
    fixtures::TTempDir dir;
    for (const char* name : {"a.cuts", "a.avi.cutlist", "a.txt", "a-proj.llc", "marks", "b.edl"})
        std::ofstream(dir.File(name)) << "\n";
    EXPECT_EQ(
        ListFilesBeside(dir.File("a.avi")),
        (std::vector<std::string>{dir.File("a.cuts"), dir.File("a.avi.cutlist"), dir.File("a.txt"),
                                  dir.File("a-proj.llc"), dir.File("marks")}));
}

TEST(ForeignCutListTest, RefusesEachBadLineAndBoundsTheList) {
    const TForeignList junk = ReadForeignList(
        "0 4 0\nhello\n5 x 0\n" + std::string(5000, '1') + "\n7 6 0\n8 9 0\n", "a.edl");
    ASSERT_EQ(junk.Errors.size(), 4u);
    EXPECT_EQ(junk.Errors[0].Line, 2);
    EXPECT_EQ(junk.Errors[0].Text, "hello");
    EXPECT_EQ(junk.Errors[1].Line, 3);
    EXPECT_EQ(junk.Errors[2].Line, 4);
    EXPECT_EQ(junk.Errors[2].Text, std::string(80, '1') + "..."); // shortened
    EXPECT_EQ(junk.Errors[3].Line, 5);
    EXPECT_EQ(junk.Ranges.size(), 2u);

    EXPECT_EQ(ReadForeignList("{ cutSegments: [\n {start: 1, end: 2},\n {start: -1} ] }", "a.llc")
                  .Errors[0]
                  .Line,
              3);
    EXPECT_EQ(ReadForeignList("{ cutSegments: [\n {start: 1\n end: 2} ] }", "a.llc").Errors[0].Line,
              3);

    std::string many;
    for (size_t i = 0; i <= MaxListRanges; ++i)
        many += "1 2 0\n";
    EXPECT_THROW(ReadForeignList(many, "a.edl"), EZarvexError);
    EXPECT_THROW(ReadForeignList(std::string(MaxListBytes + 1, ' '), "a.edl"), EZarvexError);
}

TEST(ForeignCutListTest, OffsetMovesEveryRangeWithinTheVideo) {
    const TForeignList frames = ReadForeignList("VirtualDub.subset.AddRange(1,10);\n"
                                                "VirtualDub.subset.AddRange(995,5);\n",
                                                "");
    EXPECT_EQ(KeptFrames(frames, Video, 2).Ranges, (TRanges{{3, 12}, {997, 999}}));
    EXPECT_EQ(KeptFrames(frames, Video, 2).CutAtEnd, 1);
    EXPECT_EQ(KeptFrames(frames, Video, -2).Ranges, (TRanges{{0, 8}, {993, 997}}));
    // In a removal list the removed parts move.
    EXPECT_EQ(KeptFrames(ReadForeignList("4 8 0\n", "a.edl"), Video, 2).Ranges,
              (TRanges{{0, 101}, {202, 999}}));
}

TEST(ForeignCutListTest, KeptFramesWrittenInEachFormatReadBackTheSame) {
    // 29.97 frames per second: frame starts fall between the milliseconds.
    const TListVideo ntsc{1000, 30000, 1001};
    const TRanges kept{{0, 29}, {100, 299}, {512, 611}};
    for (const char* name :
         {"zarvex", "cutlist", "comskip", "edl", "kodi", "vdr", "csv", "llc", "vcf"}) {
        const TListFormat format = FormatOfName(name);
        const std::string text = WriteForeignList(ListOfKeptFrames(format, kept, ntsc));
        EXPECT_EQ(KeptFrames(ReadForeignList(text, format), ntsc).Ranges, kept) << text;
    }
}
