#include "app/cli/CliCommands.h"

#include <algorithm>

namespace zarvex::cli {

int RunCoreCommand(const std::string& command, const std::vector<std::string>& args) {
    if (command == "info")
        return RunInfo(args);
    if (command == "cut")
        return RunCut(args);
    if (command == "split")
        return RunSplit(args);
    if (command == "join")
        return RunJoin(args);
    if (command == "repair")
        return RunRepair(args);
    return NotACoreCommand;
}

bool IsCoreInvocation(const std::string& command, const std::vector<std::string>& args) {
    const bool core = command == "info" || command == "cut" || command == "split" ||
                      command == "join" || command == "repair";
    return core && std::find(args.begin(), args.end(), "--exact") == args.end();
}

} // namespace zarvex::cli
