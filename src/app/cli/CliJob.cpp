#include "app/cli/CliJob.h"

#include "app/cli/CliCommands.h"
#include "app/cli/CliMedia.h"
#include "app/cli/CliProgress.h"
#include "avi_input/AVIRead.h"
#include "support/Errors.h"

#include <iostream>
#include <memory>
#include <vector>

namespace zarvex::cli {

void UseRebuiltIndex(const TAVIFileReader& reader, const std::string& source) {
    if (!reader.ScanReport().Rebuilt)
        return;
    std::cerr << "zarvex-cli: " << source << ": warning: " << ScanReportSummary(reader.ScanReport())
              << "\n";
    static std::vector<std::shared_ptr<void>> published; // for the whole run
    if (CliMedia().ReadThroughRebuiltIndex)
        published.push_back(CliMedia().ReadThroughRebuiltIndex(reader));
}

bool OpenSource(TAVIFileReader& reader, const std::string& source, bool quiet) {
    // A rebuild reads the whole file: on a cold disk that takes a while, so it shows a bar.
    std::unique_ptr<TCliProgress> bar;
    reader.OnScanProgress = [&](double percent, bool&) {
        if (!bar)
            bar = std::make_unique<TCliProgress>("Rebuilding the index", quiet);
        bar->Update(percent);
    };
    try {
        reader.IndexRebuild = TIndexRebuild::Always;
        reader.Open(source);
        reader.OnScanProgress = nullptr;
        if (bar)
            bar->Update(100.0);
        bar.reset();
        UseRebuiltIndex(reader, source);
        return true;
    } catch (const std::exception& e) {
        reader.OnScanProgress = nullptr;
        bar.reset();
        std::cerr << "zarvex-cli: " << MessageNaming(source, e) << "\n";
        return false;
    }
}

bool HasVideoEntries(const TAVIFileReader& reader, const std::string& command,
                     const std::string& source) {
    if (reader.VideoStream() && reader.VideoStream()->EntryCount() > 0)
        return true;
    std::cerr << "zarvex-cli " << command << ": " << source
              << ": the video stream has no index entries, so it has no frames to work on.\n";
    return false;
}

bool CanCopyStreams(const TAVIFileReader& reader, const std::string& command,
                    const std::string& source) {
    const std::string why = StreamCountRefusal(reader);
    if (!why.empty())
        std::cerr << "zarvex-cli " << command << ": " << source << ": " << why << "\n";
    return why.empty();
}

int RunCopyJob(const std::string& command, const std::string& source, bool quiet,
               const std::function<int(TAVIFileReader&)>& check,
               const std::function<bool(TZarvex&)>& job) {
    TAVIFileReader reader;
    if (!OpenSource(reader, source, quiet))
        return ExitFailure;
    if (!reader.VideoStream()) {
        std::cerr << "zarvex-cli: " << source
                  << ": The video stream is not found in the selected file.\n";
        return ExitFailure;
    }
    if (!HasVideoEntries(reader, command, source) || !CanCopyStreams(reader, command, source))
        return ExitFailure;
    if (int code = check(reader); code != ExitOk)
        return code;

    InstallCancelHandler();
    TZarvex engine(reader);
    bool declined = false;
    std::string failure;
    {
        TCliProgress progress(command, quiet); // ends its line before anything else is said
        engine.OnProgress = [&](TZarvex&, bool& cancel, double percent) {
            progress.Update(percent);
            if (CancelRequested())
                cancel = true;
        };
        try {
            declined = !job(engine);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    }
    if (!failure.empty()) {
        std::cerr << "zarvex-cli " << command << ": " << failure << "\n";
        return ExitFailure;
    }
    if (declined) {
        std::cerr << "zarvex-cli " << command << ": stopped; nothing was written.\n";
        return ExitDeclined;
    }
    if (engine.Cancelled()) {
        std::cerr << "zarvex-cli " << command
                  << ": cancelled; the file being written was completed and is valid.\n";
        return ExitCancelled;
    }
    return ExitOk;
}

} // namespace zarvex::cli
