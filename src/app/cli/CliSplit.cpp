#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliJob.h"
#include "app/cli/CliProgress.h"
#include "app/cli/CliTime.h"

#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>

namespace zarvex::cli {

const char* const SplitHelp =
    "zarvex-cli split SRC --parts N --folder DIR [--prefix P] [--yes] [--quiet]\n"
    "  Splits SRC into N parts of about equal video size, each starting at a key frame, as\n"
    "  DIR/P1.avi ... DIR/PN.avi (numbers zero-padded to the digits of N). A key frame at a cut\n"
    "  ends one part and starts the next. When the video runs out of key frames there are fewer\n"
    "  parts; when the last cut falls before the end there is one more. DIR is created if\n"
    "  needed. P may not hold / \\ : * ? \" < > |; it defaults to the name of SRC without its\n"
    "  extension, each of those characters there becoming _.\n"
    "  --yes     overwrite existing part files (otherwise each is asked about on the terminal;\n"
    "            without a terminal nothing is written)\n"
    "  --quiet   no progress bar\n"
    "  Ctrl+C stops after completing the part being written (exit code 130); a second Ctrl+C\n"
    "  stops at once, the part being written then a complete, shorter file.\n";

namespace {

constexpr const char* RefusedInPrefix = "/\\:*?\"<>|";

// The name of the source without its extension, made a prefix that is allowed.
std::string DefaultPrefix(const std::string& source) {
    std::string prefix = std::filesystem::path(source).stem().string();
    for (char& c : prefix)
        if (std::strchr(RefusedInPrefix, c))
            c = '_';
    return prefix;
}

// The first Ctrl+C lets the part being written finish; a second stops at once.
void FinishPartOnCancel(TZarvex& engine) {
    auto finishing = std::make_shared<bool>(false);
    engine.OnProgress = [finishing, shown = engine.OnProgress](TZarvex& sender, bool& cancel,
                                                               double percent) {
        bool ignored = false;
        if (shown)
            shown(sender, ignored, percent);
        if (!CancelRequested())
            return;
        if (*finishing) {
            cancel = true;
            return;
        }
        *finishing = true;
        ClearCancelRequest();
        std::cerr << "\nzarvex-cli split: finishing the part being written; Ctrl+C again stops "
                     "at once.\n";
    };
    engine.OnPartDone = [finishing](TZarvex&, bool& cancel) {
        cancel = *finishing || CancelRequested();
    };
}

} // namespace

int RunSplit(const std::vector<std::string>& args) {
    TCliArgs a =
        ParseArgs(args, {"--parts", "--folder", "--prefix"}, {"--yes", "--quiet", "--help", "-h"});
    if (a.Has("--help") || a.Has("-h")) {
        std::cout << SplitHelp;
        return ExitOk;
    }
    if (a.Error.empty() && a.Positional.size() != 1)
        a.Error = "give exactly one source file";
    if (a.Error.empty() && (!a.Has("--parts") || !a.Has("--folder")))
        a.Error = "give --parts and --folder";
    std::optional<int64_t> parts;
    if (a.Error.empty()) {
        parts = ParseCount(a.Values.at("--parts"));
        if (!parts || *parts < 1 || *parts > 1000000)
            a.Error = "--parts takes a whole number from 1";
    }
    std::string prefix;
    if (a.Error.empty()) {
        prefix = a.Has("--prefix") ? a.Values.at("--prefix") : DefaultPrefix(a.Positional[0]);
        if (prefix.find_first_of(RefusedInPrefix) != std::string::npos)
            a.Error = "the prefix may not hold / \\ : * ? \" < > |";
    }
    if (!a.Error.empty()) {
        std::cerr << "zarvex-cli split: " << a.Error << "\n" << SplitHelp;
        return ExitUsage;
    }
    const std::string folder = a.Values.at("--folder");
    auto check = [&](TAVIFileReader&) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            std::cerr << "zarvex-cli split: cannot create " << folder << ": " << ec.message()
                      << "\n";
            return ExitFailure;
        }
        return ExitOk;
    };
    return RunCopyJob("split", a.Positional[0], a.Has("--quiet"), check, [&](TZarvex& engine) {
        engine.OnConfirmOverwrite = [&](TZarvex&, const std::string& question) {
            return ConfirmOnTerminal(question, a.Has("--yes"));
        };
        FinishPartOnCancel(engine);
        return engine.SplitIntoParts(int32_t(*parts), folder, prefix);
    });
}

} // namespace zarvex::cli
