// cut with --keep, --keep-frames or --keep-file: several ranges of one or more sources.
#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliJob.h"
#include "app/cli/CliKeep.h"
#include "app/cli/CliMedia.h"
#include "app/cli/CliProgress.h"
#include "avi_input/AVIRead.h"
#include "splitting/ZarvexCls.h"
#include "support/FileSafety.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <set>

namespace zarvex::cli {

namespace {

struct TSourceJob {
    std::unique_ptr<TAVIFileReader> Reader = std::make_unique<TAVIFileReader>();
    std::string Output;               // as SaveRanges takes it
    std::vector<std::string> Written; // the files it makes
    std::vector<TKeepRange> Ranges;
};

std::string ReadSpec(const TCliArgs& a, TKeepSpec& spec, bool& unreadable) {
    unreadable = false;
    if (a.Has("--keep") + a.Has("--keep-frames") + a.Has("--keep-file") != 1)
        return "give one of --keep, --keep-frames and --keep-file";
    if (a.Has("--offset") && !a.Has("--keep-file"))
        return "--offset goes with --keep-file";
    if (a.Has("-o") == a.Has("--folder"))
        return "give either -o or --folder";
    if (a.Positional.empty())
        return "give a source file";
    if (a.Positional.size() > 1 && !a.Has("--folder"))
        return "several sources need --folder";
    if (a.Has("--keep"))
        return ParseKeepTimes(a.Values.at("--keep"), spec);
    if (a.Has("--keep-frames"))
        return ParseKeepFrames(a.Values.at("--keep-frames"), spec);
    if (a.Has("--offset")) {
        if (std::string why = ParseOffset(a.Values.at("--offset"), spec.Offset); !why.empty())
            return why;
    }
    return ReadKeepFile(a.Values.at("--keep-file"), spec, unreadable);
}

// Opens every source and works out its ranges and files; an exit code on failure.
int Prepare(const TCliArgs& a, const TKeepSpec& spec, std::vector<TSourceJob>& jobs) {
    std::set<std::string> outputs;
    for (const std::string& source : a.Positional) {
        TSourceJob& job = jobs.emplace_back();
        if (!OpenSource(*job.Reader, source, a.Has("--quiet")))
            return ExitFailure;
        if (!HasVideoEntries(*job.Reader, "cut", source) ||
            !CanCopyStreams(*job.Reader, "cut", source))
            return ExitFailure;
        const TAVIStream& video = *job.Reader->VideoStream();
        std::string note;
        const std::string why = ResolveKeep(spec, video.EntryCount(), video.Header.dwRate,
                                            video.Header.dwScale, job.Ranges, &note);
        if (!why.empty()) {
            std::cerr << "zarvex-cli cut: " << source << ": " << why << "\n";
            return ExitUsage;
        }
        if (!note.empty())
            std::cerr << "zarvex-cli cut: " << source << ": " << note << "\n";
        if (spec.List && !ConfirmListFits(*spec.List, source, a.Has("--yes"), "cut"))
            return ExitDeclined;
        job.Output = a.Has("-o") ? a.Values.at("-o")
                                 : (std::filesystem::path(a.Values.at("--folder")) /
                                    (std::filesystem::path(source).stem().string() + ".avi"))
                                       .string();
        const int n = int(job.Ranges.size());
        for (int i = 1; i <= (a.Has("--separate") ? n : 1); ++i)
            job.Written.push_back(a.Has("--separate") ? RangeFileName(job.Output, i, n)
                                                      : job.Output);
        for (const std::string& file : job.Written)
            if (!outputs.insert(std::filesystem::absolute(file).lexically_normal()).second) {
                std::cerr << "zarvex-cli cut: two sources would both write " << file << "\n";
                return ExitUsage;
            }
    }
    // No output may be any of the sources, not only its own.
    for (const std::string& file : outputs)
        for (const std::string& source : a.Positional)
            if (IsSameFile(file, source)) {
                std::cerr << "zarvex-cli cut: " << file
                          << ": The output file is the source file.\n";
                return ExitFailure;
            }
    return ExitOk;
}

// Saves one source's ranges; returns its exit code.
int SaveJob(const TCliArgs& a, TSourceJob& job, const std::string& label) {
    TRangeSave save;
    for (const TKeepRange& r : job.Ranges)
        save.Pieces.push_back({job.Reader.get(), r, nullptr});
    save.Output = job.Output;
    save.Mode = a.Has("--exact") ? TCutMode::Exact : TCutMode::KeyFrame;
    if (CliMedia().UseExactCuts)
        CliMedia().UseExactCuts(save);
    save.Separate = a.Has("--separate");
    save.OnConfirmOverwrite = [](const std::string&) { return true; }; // asked before
    std::vector<std::string> notes;
    bool cancelled = false;
    std::string failure;
    {
        TCliProgress progress(label, a.Has("--quiet"));
        save.OnProgress = [&](bool& cancel, double percent) {
            progress.Update(percent);
            if (CancelRequested())
                cancel = true;
        };
        try {
            SaveRanges(save, notes, cancelled);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    }
    for (const std::string& note : notes)
        std::cerr << "zarvex-cli cut: warning: " << note << "\n";
    if (!failure.empty()) {
        std::cerr << "zarvex-cli " << label << ": " << failure << "\n";
        return ExitFailure;
    }
    if (cancelled) {
        std::cerr << "zarvex-cli cut: cancelled; the file being written was completed and is "
                     "valid.\n";
        return ExitCancelled;
    }
    return ExitOk;
}

} // namespace

int RunCutRanges(const TCliArgs& a) {
    TKeepSpec spec;
    bool unreadable = false;
    const std::string error = ReadSpec(a, spec, unreadable);
    if (!error.empty()) {
        std::cerr << "zarvex-cli cut: " << error << "\n";
        if (unreadable)
            return ExitFailure;
        // What is wrong inside a list is said in full; the usage would hide it.
        if (!a.Has("--keep-file"))
            std::cerr << CutHelp;
        return ExitUsage;
    }
    std::vector<TSourceJob> jobs;
    if (int code = Prepare(a, spec, jobs); code != ExitOk)
        return code;
    if (a.Has("--folder")) {
        std::error_code ec;
        std::filesystem::create_directories(a.Values.at("--folder"), ec);
        if (ec) {
            std::cerr << "zarvex-cli cut: cannot create " << a.Values.at("--folder") << ": "
                      << ec.message() << "\n";
            return ExitFailure;
        }
    }
    // Every question before anything is written: a No leaves all files as they were.
    for (const TSourceJob& job : jobs)
        for (const std::string& file : job.Written)
            if (std::filesystem::exists(file) &&
                !ConfirmOnTerminal(TZarvex::OverwriteQuestion(file), a.Has("--yes"))) {
                std::cerr << "zarvex-cli cut: stopped; nothing was written.\n";
                return ExitDeclined;
            }
    InstallCancelHandler();
    int result = ExitOk;
    for (TSourceJob& job : jobs) {
        const std::string label =
            jobs.size() > 1
                ? "cut " + std::filesystem::path(job.Reader->FileName()).filename().string()
                : "cut";
        const int code = SaveJob(a, job, label);
        if (code == ExitCancelled)
            return code;
        if (code != ExitOk)
            result = code; // the other sources are still cut
    }
    return result;
}

} // namespace zarvex::cli
