// The commands of zarvex-cli; each takes its own arguments and returns the exit code.
#pragma once

#include <string>
#include <vector>

namespace zarvex::cli {

// Exit codes shared by all commands.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

int RunInfo(const std::vector<std::string>& args);

extern const char* const InfoHelp;

} // namespace zarvex::cli
