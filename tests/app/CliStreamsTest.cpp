// Sources whose streams need care: untimed subtitle streams, and more streams than a copy holds.
#include "avi_input/AVIRead.h"
#include "avi_input/FourCC.h"
#include "avi_input/UntimedTimes.h"
#include "fixtures/AviBuilder.h"
#include "fixtures/Tools.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

// An XSUB packet: its display span, then a 4x2 bitmap at (10, 10) with a palette of four.
std::vector<uint8_t> XsubPacket(int64_t startMs, int64_t endMs) {
    std::vector<uint8_t> p(XsubTimesSize);
    p[0] = '[', p[13] = '-', p[26] = ']';
    WriteXsubTimes(p.data(), startMs, endMs);
    TRiffWriter w;
    for (uint16_t v : {4, 2, 10, 10, 13, 11, 0})
        w.U16(v);
    for (uint8_t c : {0, 0, 0, 255, 255, 255, 0, 0, 255, 255, 0, 0})
        w.U8(c);
    w.Zeros(8); // two bytes of runs to the end of each line
    p.insert(p.end(), w.Bytes.begin(), w.Bytes.end());
    return p;
}

// A file holding only an XSUB stream with a zero time base, for ffmpeg to encode again.
std::vector<uint8_t> SubtitleFile(const std::vector<std::pair<int64_t, int64_t>>& spans) {
    TAviLayout layout;
    const uint32_t dxsb = MakeFourCC('D', 'X', 'S', 'B');
    layout.Streams.push_back({VideoHeader(0, 0, dxsb), VideoFormat(0, 0, dxsb), true});
    for (size_t i = 0; i < spans.size(); ++i)
        layout.Chunks.push_back({0, uint32_t(XsubPacket(0, 0).size()), true});
    TBuiltAvi built = BuildAvi(layout);
    for (size_t i = 0; i < spans.size(); ++i) {
        const auto p = XsubPacket(spans[i].first, spans[i].second);
        std::copy(p.begin(), p.end(), built.Bytes.begin() + built.Entries[0][i].Offset);
    }
    return built.Bytes;
}

// Start times of the subtitles of a file's first stream, as their packets give them.
std::vector<int64_t> SubtitleStarts(const std::string& path) {
    TAVIFileReader r;
    r.Open(path);
    std::vector<int64_t> out;
    std::vector<uint8_t> p(256);
    for (uint32_t i = 0; i < r.Streams(0).EntryCount(); ++i) {
        int64_t start = 0, end = 0;
        p.resize(r.Streams(0).EntrySize(i));
        if (r.Streams(0).ReadChunk(i, p.data()) && ParseXsubTimes(p.data(), p.size(), start, end))
            out.push_back(start);
    }
    return out;
}

// Per subtitle packet in file order, the time of the picture stored last before it.
std::vector<double> PictureTimesBeforeSubtitles(const std::string& path) {
    const auto r = RunCapture("ffprobe -v error -show_entries packet=stream_index,pts_time,pos "
                              "-of csv=p=0 " +
                              ShellQuote(path));
    std::vector<std::pair<long, std::pair<int, double>>> packets;
    std::istringstream in(r.Output);
    for (std::string line; std::getline(in, line);) {
        int s = 0;
        double t = 0;
        long pos = 0;
        if (std::sscanf(line.c_str(), "%d,%lf,%ld", &s, &t, &pos) == 3)
            packets.push_back({pos, {s, t}});
    }
    std::sort(packets.begin(), packets.end());
    std::vector<double> out;
    double picture = -1.0;
    for (const auto& [pos, p] : packets) {
        if (p.first == 1)
            picture = p.second;
        else if (p.first == 0)
            out.push_back(picture);
    }
    return out;
}

} // namespace

// ffmpeg's XSUB stream (a 'vids' stream with a zero time base) first in the file: every copy
// keeps the real video, and each subtitle goes where its time is, its span on the new timeline.
TEST(CliStreamsTest, UntimedSubtitlesLandWhereTheirTimesAre) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    ZARVEX_REQUIRE_TOOL("ffprobe");
    TTempDir dir;
    const std::string subs = dir.File("subs.avi"), src = dir.File("src.avi");
    WriteFileBytes(subs, SubtitleFile({{500, 1500}, {2000, 3000}, {3500, 3900}}));
    ASSERT_EQ(RunCapture("ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=25 -f lavfi -i "
                         "sine=sample_rate=22050 -i " +
                         ShellQuote(subs) +
                         " -map 2 -map 0 -map 1 -t 4 -c:v mpeg4 -g 25 -c:a pcm_s16le -c:s xsub " +
                         ShellQuote(src))
                  .ExitCode,
              0);
    const std::vector<int64_t> starts = SubtitleStarts(src);
    ASSERT_EQ(starts.size(), 3u);
    const TCommandResult info = RunCapture(CliPath() + " info " + ShellQuote(src) + " 2>&1");
    ASSERT_EQ(info.ExitCode, 0) << info.Output;
    EXPECT_NE(info.Output.find("Stream 2: 100 entries, 4 key frames, 4.000 s"), std::string::npos)
        << info.Output;

    // Per output file, the source spans [from, to) it keeps and the shift to its timeline, ms.
    struct TSpan {
        int64_t From, To, Shift;
    };
    const std::string out = dir.File("out.avi"), parts = dir.File("parts");
    const std::vector<
        std::pair<std::string, std::vector<std::pair<std::string, std::vector<TSpan>>>>>
        cases = {
            {"cut SRC --from 1 --to 3.6 -o " + out, {{out, {{1000, 3600, -1000}}}}},
            {"split SRC --parts 2 --folder " + parts + " --prefix p",
             {{parts + "/p1.avi", {{0, 2000, 0}}}, {parts + "/p2.avi", {{2000, 4000, -2000}}}}},
            {"cut SRC --keep 0-1.5,2-4 -o " + out, {{out, {{0, 1480, 0}, {2000, 4000, -520}}}}},
            {"join SRC SRC -o " + out, {{out, {{0, 4000, 0}, {0, 4000, 4000}}}}},
            {"repair SRC -o " + out, {{out, {{0, 4000, 0}}}}},
        };
    for (const auto& [command, files] : cases) {
        SCOPED_TRACE(command);
        std::string args = command;
        for (std::string::size_type at; (at = args.find("SRC")) != std::string::npos;)
            args.replace(at, 3, ShellQuote(src));
        const auto r = RunCapture(CliPath() + " " + args + " --yes --quiet 2>&1");
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        for (const auto& [file, spans] : files) {
            std::vector<int64_t> want;
            for (const TSpan& span : spans)
                for (int64_t t : starts)
                    if (span.From <= t && t < span.To)
                        want.push_back(t + span.Shift);
            const std::vector<int64_t> got = SubtitleStarts(file);
            EXPECT_EQ(got, want) << file;
            EXPECT_EQ(RunCapture("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " +
                                 ShellQuote(file))
                          .Output,
                      "xsub\nmpeg4\npcm_s16le\n");
            const std::vector<double> pictures = PictureTimesBeforeSubtitles(file);
            ASSERT_EQ(pictures.size(), got.size());
            for (size_t k = 0; k < got.size(); ++k) {
                EXPECT_LE(pictures[k], double(got[k]) / 1000 + 0.001) << k;
                EXPECT_GT(pictures[k], double(got[k]) / 1000 - 0.1) << k;
            }
            EXPECT_EQ(
                RunCapture("ffmpeg -v error -xerror -i " + ShellQuote(file) + " -f null - 2>&1")
                    .Output,
                "");
        }
    }
}

// A copy holds at most 100 streams: a source with more is refused before anything is created.
TEST(CliStreamsTest, MoreThanAHundredStreamsAreRefusedBeforeWriting) {
    TTempDir dir;
    TAviLayout layout = SimpleLayout(10, 5, true, TIndexStyle::Idx1Relative);
    while (layout.Streams.size() < 101)
        layout.Streams.push_back(layout.Streams[1]);
    const std::string src = dir.File("many.avi"), out = dir.File("out.avi");
    WriteFileBytes(src, BuildAvi(layout).Bytes);
    const std::string s = ShellQuote(src), o = ShellQuote(out);
    for (const std::string& args :
         {"cut " + s + " --from-frame 0 --to-frame 4 -o " + o,
          "cut " + s + " --keep-frames 0-4 -o " + o,
          "split " + s + " --parts 2 --folder " + ShellQuote(dir.File("parts")),
          "join " + s + " " + s + " -o " + o, "repair " + s + " -o " + o}) {
        const auto r = RunCapture(CliPath() + " " + args + " --yes --quiet 2>&1 </dev/null");
        EXPECT_EQ(r.ExitCode, 1) << args;
        EXPECT_NE(r.Output.find("The file has 101 streams; a copy can hold at most 100."),
                  std::string::npos)
            << args << ": " << r.Output;
        EXPECT_FALSE(std::filesystem::exists(out)) << args;
        EXPECT_FALSE(std::filesystem::exists(dir.File("parts/many1.avi"))) << args;
    }
}
