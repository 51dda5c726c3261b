#include "app/cli/CliCommands.h"

#include <algorithm>
#include <iterator>

namespace zarvex::cli {

namespace {

struct TCoreCommand {
    const char* Name;
    int (*Run)(const std::vector<std::string>& args);
};

const TCoreCommand CoreCommands[] = {{"info", RunInfo},     {"cut", RunCut},
                                     {"split", RunSplit},   {"join", RunJoin},
                                     {"repair", RunRepair}, {"cutlist", RunCutlist}};

const TCoreCommand* FindCore(const std::string& command) {
    const auto* found = std::find_if(std::begin(CoreCommands), std::end(CoreCommands),
                                     [&](const TCoreCommand& c) { return command == c.Name; });
    return found == std::end(CoreCommands) ? nullptr : found;
}

} // namespace

int RunCoreCommand(const std::string& command, const std::vector<std::string>& args) {
    const TCoreCommand* c = FindCore(command);
    return c ? c->Run(args) : NotACoreCommand;
}

bool IsCoreInvocation(const std::string& command, const std::vector<std::string>& args) {
    const auto end = std::find(args.begin(), args.end(), "--");
    return FindCore(command) && std::find(args.begin(), end, "--exact") == end;
}

} // namespace zarvex::cli
