#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliJob.h"
#include "app/cli/CliProgress.h"
#include "avi_input/AVIRead.h"
#include "splitting/Joiner.h"
#include "splitting/ZarvexCls.h"
#include "support/FileSafety.h"

#include <filesystem>
#include <iostream>
#include <memory>

namespace zarvex::cli {

const char* const JoinHelp =
    "zarvex-cli join A.avi B.avi [...] -o OUT [--yes] [--quiet]\n"
    "  Joins whole AVI files one after another into OUT without re-encoding. They must have\n"
    "  the same streams: the same video codec, size and frame rate, and the same audio format;\n"
    "  otherwise the first difference is named and nothing is written (exit code 1).\n"
    "  --yes     overwrite OUT if it exists (otherwise asked on the terminal)\n"
    "  --quiet   no progress bar\n"
    "  Ctrl+C stops the join; OUT is then a complete, shorter file (exit code 130).\n";

namespace {

// The opened sources, or an exit code.
int OpenAll(const std::vector<std::string>& names, bool quiet,
            std::vector<std::unique_ptr<TAVIFileReader>>& readers) {
    for (const std::string& name : names) {
        auto& reader = readers.emplace_back(std::make_unique<TAVIFileReader>());
        if (!OpenSource(*reader, name, quiet) || !HasVideoEntries(*reader, "join", name) ||
            !CanCopyStreams(*reader, "join", name))
            return ExitFailure;
    }
    std::vector<const TAVIFileReader*> sources;
    for (const auto& r : readers)
        sources.push_back(r.get());
    if (const std::string refusal = JoinRefusal(sources); !refusal.empty()) {
        std::cerr << "zarvex-cli join: " << refusal << "\n";
        return ExitFailure;
    }
    return ExitOk;
}

} // namespace

int RunJoin(const std::vector<std::string>& args) {
    TCliArgs a = ParseArgs(args, {"-o"}, {"--yes", "--quiet", "--help", "-h"});
    if (a.Has("--help") || a.Has("-h")) {
        std::cout << JoinHelp;
        return ExitOk;
    }
    if (a.Error.empty() && a.Positional.size() < 2)
        a.Error = "give at least two files to join";
    if (a.Error.empty() && !a.Has("-o"))
        a.Error = "give the output file with -o";
    if (!a.Error.empty()) {
        std::cerr << "zarvex-cli join: " << a.Error << "\n" << JoinHelp;
        return ExitUsage;
    }
    const std::string out = a.Values.at("-o");
    std::vector<std::unique_ptr<TAVIFileReader>> readers;
    if (int code = OpenAll(a.Positional, a.Has("--quiet"), readers); code != ExitOk)
        return code;
    for (const std::string& source : a.Positional)
        if (IsSameFile(out, source)) {
            std::cerr << "zarvex-cli join: " << out << ": The output file is the source file.\n";
            return ExitFailure;
        }
    if (std::filesystem::exists(out) &&
        !ConfirmOnTerminal(TZarvex::OverwriteQuestion(out), a.Has("--yes"))) {
        std::cerr << "zarvex-cli join: stopped; nothing was written.\n";
        return ExitDeclined;
    }

    std::vector<TJoinPiece> pieces;
    for (const auto& r : readers)
        pieces.push_back({r.get(), {0, int32_t(r->VideoStream()->EntryCount()) - 1}, nullptr});
    InstallCancelHandler();
    TJoiner joiner;
    std::string failure;
    {
        TCliProgress progress("join", a.Has("--quiet"));
        joiner.OnProgress = [&](bool& cancel, double percent) {
            progress.Update(percent);
            if (CancelRequested())
                cancel = true;
        };
        try {
            joiner.Write(pieces, out);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    }
    if (!failure.empty()) {
        std::cerr << "zarvex-cli join: " << failure << "\n";
        return ExitFailure;
    }
    if (joiner.Cancelled()) {
        std::cerr << "zarvex-cli join: cancelled; the file being written was completed and is "
                     "valid.\n";
        return ExitCancelled;
    }
    return ExitOk;
}

} // namespace zarvex::cli
