#include "fixtures/MediaFixture.h"

#include <fstream>
#include <sstream>

using namespace zarvex::fixtures;

namespace {

TCommandResult Detect(const std::string& args) {
    return RunCapture(CliPath() + " detect " + args + " </dev/null 2>/dev/null");
}

std::string Lines(const std::string& text, const std::string& kind) {
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line))
        if (line.rfind(kind + " ", 0) == 0)
            out += line + "\n";
    return out;
}

TEST(CliDetectTest, PrintsTheBreaksAndWritesTheProgrammeAsACutList) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    using S = TStretch;
    const std::string source = MakeStretchesAvi(dir, "show.avi",
                                                {{S::Programme, 100},
                                                 {S::Black, 5},
                                                 {S::Advert, 50},
                                                 {S::Black, 5},
                                                 {S::Advert, 60},
                                                 {S::Black, 5},
                                                 {S::Programme, 75}});
    ASSERT_FALSE(source.empty());
    const std::string list = dir.File("show.cuts");
    const TCommandResult r = Detect(
        ShellQuote(source) + " --min-ad 1 --max-ad 5 --quiet --keep-list " + ShellQuote(list));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(Lines(r.Output, "break"), "break 100 104 4.000 4.200\n"
                                        "break 155 159 6.200 6.400\n"
                                        "break 220 224 8.800 9.000\n");
    EXPECT_EQ(Lines(r.Output, "black"), "black 100 104 4.000 4.200\n"
                                        "black 155 159 6.200 6.400\n"
                                        "black 220 224 8.800 9.000\n");
    EXPECT_NE(Lines(r.Output, "silence"), "");
    EXPECT_EQ(Lines(r.Output, "scene"), "") << "scenes only when asked for";
    std::ostringstream text;
    text << std::ifstream(list).rdbuf();
    EXPECT_NE(text.str().find("\n0 99 "), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("\n225 299 "), std::string::npos) << text.str();

    // The list is not overwritten unasked, and only breaks are printed when asked for.
    EXPECT_EQ(Detect(ShellQuote(source) + " --quiet --keep-list " + ShellQuote(list)).ExitCode, 3);
    const TCommandResult breaks = Detect(ShellQuote(source) + " --breaks --quiet");
    EXPECT_EQ(Lines(breaks.Output, "break"), breaks.Output);
    EXPECT_EQ(Detect(ShellQuote(source) + " --method other").ExitCode, 2);
}

} // namespace
