// zarvex-cli-media: every command of zarvex-cli, with the media layer; zarvex-cli hands it the
// commands that decode or encode.
#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliMedia.h"
#include "app/cli/CliProgress.h"
#include "media/FFmpegLog.h"

#include <algorithm>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

using namespace zarvex::cli;

namespace {

void PrintHelp() {
    std::cout
        << "Usage: zarvex-cli COMMAND [ARGUMENTS]\n"
           "Cuts, splits and joins AVI files by stream copy, saves frames as images, re-encodes "
           "segments.\n\n"
           "Commands:\n"
        << InfoHelp << "\n"
        << CutHelp << "\n"
        << SplitHelp << "\n"
        << JoinHelp << "\n"
        << CutlistHelp << "\n"
        << FramesHelp << "\n"
        << ExportHelp << "\n"
        << DetectHelp << "\n"
        << RepairHelp << "\n"
        << CodecsHelp
        << "\n"
           "zarvex-cli --help      this text; COMMAND --help for one command\n"
           "--verbose              with any command: show FFmpeg's own messages\n"
           "--                     ends the options: what follows are files (-x.avi too)\n"
           "Exit codes: 0 success, 1 failure, 2 wrong arguments, 3 an existing file was\n"
           "not overwritten (nothing written), 130 cancelled by Ctrl+C.\n";
}

} // namespace

static int Dispatch(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // FFmpeg's messages are for diagnosis, not for every run; --verbose may stand anywhere.
    const auto end = OptionsEnd(args);
    const auto verbose = std::remove(args.begin(), end, std::string("--verbose"));
    zarvex::media::SetFFmpegLogVerbose(verbose != end);
    args.erase(verbose, end);
    SetUpCliMedia();
    if (args.empty()) {
        PrintHelp();
        return ExitUsage;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        PrintHelp();
        return ExitOk;
    }
    if (command == "frames")
        return RunFrames(args);
    if (command == "export")
        return RunExport(args);
    if (command == "detect")
        return RunDetect(args);
    if (command == "codecs")
        return RunCodecs(args);
    if (const int code = RunCoreCommand(command, args); code != NotACoreCommand)
        return code;
    std::cerr << "zarvex-cli: unknown command " << command << "\n";
    PrintHelp();
    return ExitUsage;
}

int main(int argc, char** argv) {
    return RunCommand([&] { return Dispatch(argc, argv); });
}
