#include "avi_input/AVIRead.h"
#include "fixtures/AviBuilder.h"
#include "fixtures/Tools.h"

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

class CliForeignListTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Ten seconds at 25 fps, every frame a key frame.
        WriteFileBytes(Source,
                       BuildAvi(SimpleLayout(250, 1, true, TIndexStyle::Idx1Relative)).Bytes);
    }
    TCommandResult Run(const std::string& args) {
        return RunCapture(CliPath() + " " + args + " </dev/null 2>&1");
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(Dir.File(name), std::ios::binary) << text;
        return Dir.File(name);
    }
    std::string Text(const std::string& path) {
        std::ostringstream s;
        s << std::ifstream(path, std::ios::binary).rdbuf();
        return s.str();
    }
    // The first and the number of frames of a cut, by their payloads.
    std::pair<uint32_t, uint32_t> Frames(const std::string& path) {
        TAVIFileReader out, source;
        out.Open(path);
        source.Open(Source);
        auto payload = [](TAVIFileReader& r, uint32_t i) {
            std::vector<uint8_t> p(r.Streams(0).EntrySize(i));
            r.Streams(0).ReadChunk(i, p.data());
            return p;
        };
        uint32_t first = 0;
        while (first < 250 && payload(source, first) != payload(out, 0))
            ++first;
        return {first, out.Streams(0).EntryCount()};
    }
    TTempDir Dir;
    std::string Source = Dir.File("clip.avi");
    std::string Out = Dir.File("out.avi");
};

} // namespace

TEST_F(CliForeignListTest, KeepFileTakesAnyFormatWithItsMeaning) {
    // comskip lists commercials: the rest is kept.
    const std::string comskip = Write("show.txt", "FILE PROCESSING COMPLETE 250 FRAMES AT 2500\n"
                                                  "-------------------\n0\t24\n100\t249\n");
    ASSERT_EQ(Run("cut " + Source + " --keep-file " + comskip + " --quiet -o " + Out).ExitCode, 0);
    EXPECT_EQ(Frames(Out), std::make_pair(25u, 75u));

    // Every bad line is named; nothing is written.
    const TCommandResult bad =
        Run("cut " + Source + " --keep-file " + Write("bad.edl", "0 1 0\nhello\n2 x 0\n") +
            " --quiet -o " + Dir.File("bad.avi"));
    EXPECT_EQ(bad.ExitCode, 2);
    EXPECT_NE(bad.Output.find("Line 2 cannot be read: hello\nLine 3 cannot be read: 2 x 0\n"),
              std::string::npos)
        << bad.Output;
    EXPECT_FALSE(std::filesystem::exists(Dir.File("bad.avi")));

    // A cutlist.at list for another file is used only when confirmed; the part past the end is
    // cut there, and the offset moves it.
    const std::string other = Write("x.cutlist", "[General]\nApplyToFile=other.avi\nNoOfCuts=1\n"
                                                 "[Cut0]\nStart=8\nDuration=5\n");
    EXPECT_EQ(Run("cut " + Source + " --keep-file " + other + " --quiet -o " + Dir.File("o.avi"))
                  .ExitCode,
              3);
    EXPECT_FALSE(std::filesystem::exists(Dir.File("o.avi")));
    const TCommandResult yes =
        Run("cut " + Source + " --keep-file " + other + " --offset 2 --yes --quiet -o " + Out);
    ASSERT_EQ(yes.ExitCode, 0) << yes.Output;
    EXPECT_NE(yes.Output.find("for other.avi, not clip.avi"), std::string::npos) << yes.Output;
    EXPECT_NE(yes.Output.find("1 range of the list ran past the end of the video (250 frames)"),
              std::string::npos)
        << yes.Output;
    EXPECT_EQ(Frames(Out), std::make_pair(202u, 48u));
}

TEST_F(CliForeignListTest, CutlistConvertsThroughTheSourceAndProtectsFiles) {
    const std::string comskip = Write("show.txt", "FILE PROCESSING COMPLETE 250 FRAMES AT 2500\n"
                                                  "-------------------\n0\t24\n100\t149\n");
    const std::string vcf = Dir.File("show.vcf");
    // Removals become kept parts only with the video's length.
    const TCommandResult need = Run("cutlist " + comskip + " -o " + vcf);
    EXPECT_EQ(need.ExitCode, 2);
    EXPECT_NE(need.Output.find("--source"), std::string::npos) << need.Output;
    ASSERT_EQ(Run("cutlist " + comskip + " -o " + vcf + " --source " + Source).ExitCode, 0);
    EXPECT_EQ(Text(vcf), "VirtualDub.subset.Clear();\nVirtualDub.subset.AddRange(25,75);\n"
                         "VirtualDub.subset.AddRange(150,100);\n");
    // Frames and seconds need the frame clock; the kept parts shifted 5 frames earlier leave
    // frames 0-19, 95-144 and 245-249 to remove.
    EXPECT_EQ(Run("cutlist " + vcf + " -o " + Dir.File("a.csv")).ExitCode, 2);
    ASSERT_EQ(Run("cutlist " + vcf + " --format edl -o " + Dir.File("a.edl") + " --source " +
                  Source + " --offset -5")
                  .ExitCode,
              0);
    EXPECT_EQ(Text(Dir.File("a.edl")), "0.000000\t0.800000\t0\n3.800000\t5.800000\t0\n"
                                       "9.800000\t10.000000\t0\n");
    // The same meaning in the same units needs no video.
    const std::string csv = Write("a.csv", "1,2.5,Intro\n");
    ASSERT_EQ(Run("cutlist " + csv + " -o " + Dir.File("a.llc")).ExitCode, 0);
    EXPECT_NE(Text(Dir.File("a.llc"))
                  .find("start: 1.000000,\n      end: 2.500000,\n      "
                        "name: 'Intro',"),
              std::string::npos);

    // Never over an existing file without --yes, never over the input or the video.
    EXPECT_EQ(Run("cutlist " + csv + " -o " + Dir.File("a.llc")).ExitCode, 3);
    EXPECT_EQ(Run("cutlist " + csv + " --format csv -o " + csv).ExitCode, 1);
    EXPECT_EQ(Run("cutlist " + comskip + " --format vcf --yes -o " + Source + " --source " + Source)
                  .ExitCode,
              1);
    EXPECT_EQ(Run("cutlist " + csv + " -o " + Dir.File("a.doc")).ExitCode, 2);
    EXPECT_EQ(Run("cutlist " + csv + " --format pdf -o " + Dir.File("b.csv")).ExitCode, 2);
    EXPECT_EQ(Run("cutlist " + Dir.File("none.csv") + " -o " + Dir.File("b.csv")).ExitCode, 1);
    EXPECT_EQ(Text(csv), "1,2.5,Intro\n");
    EXPECT_EQ(std::filesystem::file_size(Source),
              BuildAvi(SimpleLayout(250, 1, true, TIndexStyle::Idx1Relative)).Bytes.size());
}
