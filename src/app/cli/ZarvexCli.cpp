// zarvex-cli: the headless front end for scripts and batch work. The stream-copy commands run
// here, without FFmpeg, whose libraries take longer to load than a copy of many files takes;
// the others run in zarvex-cli-media.
#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliProgress.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace zarvex::cli;
namespace fs = std::filesystem;

namespace {

// Beside this program in the build tree; in libexec/zarvex when installed.
std::string MediaProgram() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    const fs::path dir = self.parent_path();
    for (const fs::path& p :
         {dir / "zarvex-cli-media", dir.parent_path() / "libexec" / "zarvex" / "zarvex-cli-media"})
        if (::access(p.c_str(), X_OK) == 0)
            return p.string();
    return {};
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // FFmpeg's messages: there are none here.
    const auto end = OptionsEnd(args);
    args.erase(std::remove(args.begin(), end, std::string("--verbose")), end);
    if (!args.empty()) {
        const std::string command = args.front();
        args.erase(args.begin());
        if (IsCoreInvocation(command, args))
            return RunCommand([&] { return RunCoreCommand(command, args); });
    }
    const std::string media = MediaProgram();
    if (media.empty()) {
        std::cerr << "zarvex-cli: zarvex-cli-media, which runs this command, is not installed "
                     "beside zarvex-cli\n";
        return ExitFailure;
    }
    ::execv(media.c_str(), argv);
    std::cerr << "zarvex-cli: cannot start " << media << ": " << std::strerror(errno) << "\n";
    return ExitFailure;
}
