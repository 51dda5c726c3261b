// The commands of zarvex-cli; each takes its own arguments and returns the exit code.
#pragma once

#include <string>
#include <vector>

namespace zarvex::cli {

// Exit codes shared by all commands.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitDeclined = 3;    // an existing file was not to be overwritten
inline constexpr int ExitCancelled = 130; // Ctrl+C; what was written is complete

// The commands that need no media layer: info, cut (but cut --exact), split, join, repair,
// cutlist.
inline constexpr int NotACoreCommand = -1;
int RunCoreCommand(const std::string& command, const std::vector<std::string>& args);
bool IsCoreInvocation(const std::string& command, const std::vector<std::string>& args);

int RunInfo(const std::vector<std::string>& args);
int RunCut(const std::vector<std::string>& args);
int RunSplit(const std::vector<std::string>& args);
int RunFrames(const std::vector<std::string>& args);
int RunExport(const std::vector<std::string>& args);
int RunCodecs(const std::vector<std::string>& args);
int RunRepair(const std::vector<std::string>& args);
int RunJoin(const std::vector<std::string>& args);
int RunCutlist(const std::vector<std::string>& args);
int RunDetect(const std::vector<std::string>& args);

extern const char* const InfoHelp;
extern const char* const CutHelp;
extern const char* const SplitHelp;
extern const char* const FramesHelp;
extern const char* const ExportHelp;
extern const char* const CodecsHelp;
extern const char* const RepairHelp;
extern const char* const JoinHelp;
extern const char* const CutlistHelp;
extern const char* const DetectHelp;

} // namespace zarvex::cli
