#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "export/DSSplit.h"

#include <iostream>

namespace zarvex::cli {

const char* const CodecsHelp =
    "zarvex-cli codecs\n"
    "  Lists the video and the audio compressors that export can use, as the save dialog\n"
    "  lists them; the name in brackets is what --vcodec and --acodec take.\n";

int RunCodecs(const std::vector<std::string>& args) {
    const TCliArgs a = ParseArgs(args, {}, {"--help", "-h"});
    if (a.Has("--help") || a.Has("-h")) {
        std::cout << CodecsHelp;
        return ExitOk;
    }
    if (!a.Error.empty() || !a.Positional.empty()) {
        std::cerr << "zarvex-cli codecs: " << (a.Error.empty() ? "takes no arguments" : a.Error)
                  << "\n"
                  << CodecsHelp;
        return ExitUsage;
    }
    for (const bool audio : {false, true}) {
        std::vector<std::string> names;
        EnumCompressors(audio, &names, nullptr);
        std::cout << (audio ? "Audio compressors:\n" : "Video compressors:\n");
        if (names.empty())
            std::cout << "   (none)\n";
        for (const std::string& n : names)
            std::cout << "   " << n << "\n";
    }
    return ExitOk;
}

} // namespace zarvex::cli
