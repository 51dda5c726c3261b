#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliJob.h"
#include "avi_input/AVIRead.h"
#include "support/FileSafety.h"

#include <cstdio>
#include <iostream>

namespace zarvex::cli {

const char* const RepairHelp =
    "zarvex-cli repair SRC -o OUT [--yes] [--quiet]\n"
    "  Writes a complete copy of SRC with fresh indexes (OpenDML and idx1), every stream and\n"
    "  every chunk, without re-encoding. A missing, cut-off or stale index is rebuilt by reading\n"
    "  the whole file first; what was recovered is printed. SRC is never written.\n"
    "  --yes     overwrite OUT if it exists (otherwise asked on the terminal)\n"
    "  --quiet   no progress bar\n";

int RunRepair(const std::vector<std::string>& args) {
    TCliArgs a = ParseArgs(args, {"-o"}, {"--yes", "--quiet", "--help", "-h"});
    if (a.Has("--help") || a.Has("-h")) {
        std::cout << RepairHelp;
        return ExitOk;
    }
    if (a.Error.empty() && a.Positional.size() != 1)
        a.Error = "give exactly one source file";
    if (a.Error.empty() && !a.Has("-o"))
        a.Error = "give the output file with -o";
    if (!a.Error.empty()) {
        std::cerr << "zarvex-cli repair: " << a.Error << "\n" << RepairHelp;
        return ExitUsage;
    }
    const std::string source = a.Positional[0];
    const std::string out = a.Values.at("-o");
    if (IsSameFile(out, source)) {
        std::cerr << "zarvex-cli repair: The output file is the source file.\n";
        return ExitFailure;
    }
    auto check = [&](TAVIFileReader& reader) {
        const std::vector<std::string> lines = ScanReportLines(reader.ScanReport());
        if (lines.empty())
            std::printf("Index: intact\n");
        for (const std::string& line : lines)
            std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        return ExitOk;
    };
    return RunCopyJob("repair", source, a.Has("--quiet"), check, [&](TZarvex& engine) {
        if (OutputExists(out) &&
            !ConfirmOnTerminal(TZarvex::OverwriteQuestion(out), a.Has("--yes")))
            return false;
        engine.FileName = out;
        engine.CopyWholeFile();
        return true;
    });
}

} // namespace zarvex::cli
