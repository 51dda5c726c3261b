#include "app/cli/CliCommands.h"

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
    std::printf("Index: %s\n", reader.HasOpenDMLIndex() ? "OpenDML" : "idx1");
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
    std::string file;
    bool index = false;
    for (const std::string& a : args) {
        if (a == "--index") {
            index = true;
        } else if (a == "--help" || a == "-h") {
            std::cout << InfoHelp;
            return ExitOk;
        } else if (!a.empty() && a[0] == '-') {
            std::cerr << "zarvex-cli info: unknown option " << a << "\n" << InfoHelp;
            return ExitUsage;
        } else if (file.empty()) {
            file = a;
        } else {
            std::cerr << "zarvex-cli info: only one file can be given\n";
            return ExitUsage;
        }
    }
    if (file.empty()) {
        std::cerr << "zarvex-cli info: no file given\n" << InfoHelp;
        return ExitUsage;
    }
    TAVIFileReader reader;
    try {
        reader.Open(file);
    } catch (const std::exception& e) {
        std::cerr << "zarvex-cli: " << file << ": " << e.what() << "\n";
        return ExitFailure;
    }
    PrintSummary(reader);
    if (index)
        PrintIndex(reader);
    return ExitOk;
}

} // namespace zarvex::cli
