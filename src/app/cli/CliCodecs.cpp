#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "export/DSSplit.h"
#include "support/Errors.h"

#include <iostream>

namespace zarvex::cli {

const char* const CodecsHelp =
    "zarvex-cli codecs [SRC]\n"
    "  Lists the video and the audio compressors that export can use, as the save dialog\n"
    "  lists them; the name in brackets is what --vcodec and --acodec take. Video compressors\n"
    "  are those that take SRC's picture size and frame rate (without SRC, 640x480 at 25 fps).\n";

int RunCodecs(const std::vector<std::string>& args) {
    const TCliArgs a = ParseArgs(args, {}, {"--help", "-h"});
    if (a.Has("--help") || a.Has("-h")) {
        std::cout << CodecsHelp;
        return ExitOk;
    }
    if (!a.Error.empty() || a.Positional.size() > 1) {
        std::cerr << "zarvex-cli codecs: "
                  << (a.Error.empty() ? "takes one source at most" : a.Error) << "\n"
                  << CodecsHelp;
        return ExitUsage;
    }
    media::TPictureFormat pictures;
    if (!a.Positional.empty()) {
        TMediaFileInfo info;
        try {
            ProbeMediaFile(a.Positional[0], info);
        } catch (const std::exception& e) {
            std::cerr << "zarvex-cli: " << MessageNaming(a.Positional[0], e) << "\n";
            return ExitFailure;
        }
        pictures = SourcePictures(info);
    }
    for (const bool audio : {false, true}) {
        std::vector<std::string> names;
        EnumCompressors(audio, &names, nullptr, pictures);
        std::cout << (audio ? "Audio compressors:\n" : "Video compressors:\n");
        if (names.empty())
            std::cout << "   (none)\n";
        for (const std::string& n : names)
            std::cout << "   " << n << "\n";
    }
    return ExitOk;
}

} // namespace zarvex::cli
