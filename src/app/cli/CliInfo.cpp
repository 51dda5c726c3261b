#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliJob.h"

#include "avi_input/AVIRead.h"
#include "info/FileInfoText.h"

#include <cstdio>
#include <iostream>

namespace zarvex::cli {

const char* const InfoHelp =
    "zarvex-cli info FILE [--index]\n"
    "  Prints the file size, one line per stream (type:codec, sample size, start frame,\n"
    "  initial frames), and per stream its index entries, key frames and duration.\n"
    "  --index   also one line per index entry: stream entry position size key seconds\n"
    "            (position is the payload's file offset, key is 1 or 0)\n";

namespace {

void PrintSummary(const TAVIFileReader& reader) {
    for (const std::string& line : FileInfoLines(reader))
        std::printf("%s\n", line.c_str());
    if (reader.ScanReport().Rebuilt) {
        for (const std::string& line : ScanReportLines(reader.ScanReport()))
            std::printf("%s\n", line.c_str());
    } else {
        std::printf("Index: %s\n", reader.HasOpenDMLIndex() ? "OpenDML" : "idx1");
    }
    for (int i = 0; i < reader.StreamCount(); ++i) {
        const TAVIStream& s = reader.Streams(i);
        uint32_t keys = 0;
        for (uint32_t e = 0; e < s.EntryCount(); ++e)
            keys += s.IsKeyFrame(e) ? 1 : 0;
        std::printf("Stream %d: %u entries, %u key frames, %.3f s\n", i + 1, s.EntryCount(), keys,
                    StreamDuration(s));
    }
}

void PrintIndex(const TAVIFileReader& reader) {
    for (int i = 0; i < reader.StreamCount(); ++i) {
        const TAVIStream& s = reader.Streams(i);
        TAVIIndexEntry e;
        for (uint32_t n = 0; s.GetEntry(n, e); ++n)
            std::printf("%d %u %lld %u %d %.6f\n", i, n, (long long)e.Offset, e.Size,
                        e.KeyFrame ? 1 : 0, s.EntryTime(n));
    }
}

} // namespace

int RunInfo(const std::vector<std::string>& args) {
    TCliArgs a = ParseArgs(args, {}, {"--index", "--help", "-h"});
    if (a.Has("--help") || a.Has("-h")) {
        std::cout << InfoHelp;
        return ExitOk;
    }
    if (a.Error.empty() && a.Positional.size() != 1)
        a.Error = a.Positional.empty() ? "no file given" : "only one file can be given";
    if (!a.Error.empty()) {
        std::cerr << "zarvex-cli info: " << a.Error << "\n" << InfoHelp;
        return ExitUsage;
    }
    TAVIFileReader reader;
    if (!OpenSource(reader, a.Positional[0]))
        return ExitFailure;
    PrintSummary(reader);
    if (a.Has("--index"))
        PrintIndex(reader);
    return ExitOk;
}

} // namespace zarvex::cli
