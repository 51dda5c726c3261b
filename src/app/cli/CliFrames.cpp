#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliJob.h"
#include "app/cli/CliProgress.h"
#include "app/cli/CliTime.h"
#include "avi_input/AVIRead.h"
#include "export/FrameExport.h"
#include "support/FileSafety.h"
#include "support/FrameClock.h"

#include <cctype>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace zarvex::cli {

const char* const FramesHelp =
    "zarvex-cli frames SRC --at T -o FOLDER/NAME [--count N] [--format jpg|bmp] [--quality Q]\n"
    "                  [--baseline] [--yes] [--quiet]\n"
    "  Saves the frame shown at T (seconds or [hh:]mm:ss[.f], as for cut) as FOLDER/NAME.jpg,\n"
    "  or N frames from there as FOLDER/NAME_1.jpg ... with the numbers zero-padded to the\n"
    "  digits of N; a run that reaches the end of the video ends there. A NAME ending in .jpg,\n"
    "  .jpeg or .bmp picks the format. Prints the path of every file written.\n"
    "  --format    jpg (default) or bmp\n"
    "  --quality   JPEG quality from 1 to 100 (default 85)\n"
    "  --baseline  a baseline JPEG instead of a progressive one\n"
    "  --yes       create FOLDER and overwrite existing files without asking; otherwise asked\n"
    "              on the terminal (in a run: y overwrites, n keeps the file and goes on, c\n"
    "              stops). Without a terminal nothing is overwritten.\n"
    "  --quiet     no progress bar\n"
    "  Ctrl+C stops a run after the file being written (exit code 130).\n";

namespace {

struct TFramesJob {
    TFrameExporter Exporter;
    std::string Source;
    double At = 0;
    bool Yes = false;
    bool Quiet = false;
};

std::string Lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The destination as the dialog's Select button takes a file: folder, name, and a known
// extension choosing the type.
std::string ReadDestination(const TCliArgs& a, TFrameExporter& e) {
    const std::filesystem::path out = a.Values.at("-o");
    e.Folder = out.parent_path().empty() ? "." : out.parent_path().string();
    e.FileName = out.filename().string();
    const std::string ext = Lower(out.extension().string());
    std::string format = a.Has("--format") ? a.Values.at("--format") : "";
    if (ext == ".bmp" || ext == ".jpg" || ext == ".jpeg") {
        e.FileName = out.stem().string();
        const std::string implied = ext == ".bmp" ? "bmp" : "jpg";
        if (!format.empty() && format != implied)
            return "the extension of -o does not match --format";
        format = implied;
    }
    if (format.empty())
        format = "jpg";
    if (format != "jpg" && format != "bmp")
        return "--format is jpg or bmp";
    e.ImageType = format == "bmp" ? TImageType::Bmp : TImageType::Jpeg;
    return TFrameExporter::MissingDestination(e.Folder, e.FileName);
}

std::string ReadOptions(const TCliArgs& a, TFramesJob& job) {
    if (a.Positional.size() != 1)
        return "give exactly one source file";
    if (!a.Has("--at") || !a.Has("-o"))
        return "give the time with --at and the output with -o";
    const auto at = ParseTime(a.Values.at("--at"));
    if (!at)
        return "a time is seconds (12.5) or [hh:]mm:ss[.f]";
    job.At = *at;
    TFrameExporter& e = job.Exporter;
    if (a.Has("--count")) {
        const auto count = ParseCount(a.Values.at("--count"));
        if (!count || *count < 1 || *count > 2147483647)
            return "--count takes a whole number from 1";
        e.Count = *count;
    }
    if (a.Has("--quality")) {
        const auto q = ParseCount(a.Values.at("--quality"));
        if (!q || *q < 1 || *q > 100)
            return "--quality takes a whole number from 1 to 100";
        e.Quality = int(*q);
    }
    e.Progressive = !a.Has("--baseline");
    job.Source = a.Positional[0];
    e.SourceFileName = job.Source;
    return ReadDestination(a, e);
}

// Position and frame rate as the viewer would have them; false with a message when T lies past
// the video.
int PlaceAt(TFramesJob& job) {
    TAVIFileReader reader;
    if (!OpenSource(reader, job.Source, job.Quiet))
        return ExitFailure;
    const TAVIStream* video = reader.VideoStream();
    if (!video || video->Header.dwRate == 0 || video->Header.dwScale == 0) {
        std::cerr << "zarvex-cli: " << job.Source
                  << ": The video stream is not found in the selected file.\n";
        return ExitFailure;
    }
    if (!HasVideoEntries(reader, "frames", job.Source))
        return ExitFailure;
    const uint32_t rate = video->Header.dwRate, scale = video->Header.dwScale;
    const TFrameClock clock(rate, scale);
    const int64_t frame = clock.TypedFrame(job.At);
    if (frame >= int64_t(video->EntryCount())) {
        std::cerr << "zarvex-cli frames: --at lies past the last frame (the video has "
                  << video->EntryCount() << " frames)\n";
        return ExitUsage;
    }
    job.Exporter.FrameRate = double(rate) / double(scale);
    job.Exporter.Position = clock.FrameStart(frame);
    return ExitOk;
}

// The folder question and the single file's overwrite question, asked before anything is done.
int AskFirst(const TFramesJob& job) {
    const TFrameExporter& e = job.Exporter;
    if (!std::filesystem::is_directory(e.Folder)) {
        if (!ConfirmOnTerminal(TFrameExporter::CreateFolderQuestion, job.Yes,
                               "create the missing folder " + e.Folder))
            return ExitDeclined;
        if (!TFrameExporter::CreateFolder(e.Folder)) {
            std::cerr << "zarvex-cli frames: " << TFrameExporter::CreateFolderFailed << "\n";
            return ExitFailure;
        }
    }
    if (e.Count != 1)
        return ExitOk;
    const std::string target = e.TargetPath();
    if (IsSameFile(target, job.Source)) {
        std::cerr << "zarvex-cli frames: The output file is the source file.\n";
        return ExitFailure;
    }
    if (std::filesystem::exists(target) &&
        !ConfirmOnTerminal(TFrameExporter::OverwriteQuestion(target), job.Yes))
        return ExitDeclined;
    return ExitOk;
}

TOverwriteAnswer AskOverwrite(const std::string& question, bool yes) {
    if (yes)
        return TOverwriteAnswer::Yes;
    if (!isatty(STDIN_FILENO)) {
        std::cerr << "\n" << question << "\nNo terminal to ask on; the file is kept.\n";
        return TOverwriteAnswer::No;
    }
    std::cerr << "\n" << question << " [y]es, [n]o, [c]ancel: " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    answer = Lower(answer);
    if (answer == "y" || answer == "yes")
        return TOverwriteAnswer::Yes;
    return answer == "c" || answer == "cancel" ? TOverwriteAnswer::Cancel : TOverwriteAnswer::No;
}

int RunExport(TFramesJob& job) {
    TFrameExporter& e = job.Exporter;
    e.OnConfirmOverwrite = [&](const std::string& q) { return AskOverwrite(q, job.Yes); };
    InstallCancelHandler();
    std::string failure;
    {
        TCliProgress progress("frames", job.Quiet || e.Count == 1);
        e.OnProgress = [&](bool& cancel, double percent) {
            progress.Update(percent);
            cancel = CancelRequested();
        };
        try {
            e.Execute();
        } catch (const std::exception& ex) {
            failure = ex.what();
        }
    }
    for (const std::string& path : e.Written())
        std::cout << path << "\n";
    if (!failure.empty()) {
        std::cerr << "zarvex-cli frames: " << failure << "\n";
        return ExitFailure;
    }
    if (e.Cancelled()) {
        std::cerr << "zarvex-cli frames: cancelled; the files written are complete.\n";
        return ExitCancelled;
    }
    if (e.Stopped()) {
        std::cerr << "zarvex-cli frames: stopped at an existing file.\n";
        return ExitDeclined;
    }
    return ExitOk;
}

} // namespace

int RunFrames(const std::vector<std::string>& args) {
    TCliArgs a = ParseArgs(args, {"--at", "--count", "--format", "--quality", "-o"},
                           {"--baseline", "--yes", "--quiet", "--help", "-h"});
    if (a.Has("--help") || a.Has("-h")) {
        std::cout << FramesHelp;
        return ExitOk;
    }
    TFramesJob job;
    if (a.Error.empty())
        a.Error = ReadOptions(a, job);
    if (!a.Error.empty()) {
        std::cerr << "zarvex-cli frames: " << a.Error << "\n" << FramesHelp;
        return ExitUsage;
    }
    job.Yes = a.Has("--yes");
    job.Quiet = a.Has("--quiet");
    if (int code = PlaceAt(job); code != ExitOk)
        return code;
    if (int code = AskFirst(job); code != ExitOk)
        return code;
    return RunExport(job);
}

} // namespace zarvex::cli
