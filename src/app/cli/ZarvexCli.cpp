// zarvex-cli: the headless front end for scripts and batch work.
#include "app/cli/CliCommands.h"

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

using namespace zarvex::cli;

namespace {

void PrintHelp() {
    std::cout << "Usage: zarvex-cli COMMAND [ARGUMENTS]\n"
                 "Cuts and splits AVI files by stream copy, saves frames as images, re-encodes "
                 "segments.\n\n"
                 "Commands:\n"
              << InfoHelp << "\n"
              << CutHelp << "\n"
              << SplitHelp << "\n"
              << FramesHelp << "\n"
              << ExportHelp << "\n"
              << RepairHelp << "\n"
              << CodecsHelp
              << "\n"
                 "zarvex-cli --help      this text; COMMAND --help for one command\n"
                 "Exit codes: 0 success, 1 failure, 2 wrong arguments, 3 an existing file was\n"
                 "not overwritten (nothing written), 130 cancelled by Ctrl+C.\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintHelp();
        return ExitUsage;
    }
    const std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        PrintHelp();
        return ExitOk;
    }
    if (command == "info")
        return RunInfo(args);
    if (command == "cut")
        return RunCut(args);
    if (command == "split")
        return RunSplit(args);
    if (command == "frames")
        return RunFrames(args);
    if (command == "export")
        return RunExport(args);
    if (command == "repair")
        return RunRepair(args);
    if (command == "codecs")
        return RunCodecs(args);
    std::cerr << "zarvex-cli: unknown command " << command << "\n";
    PrintHelp();
    return ExitUsage;
}
