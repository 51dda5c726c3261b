#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliJob.h"
#include "app/cli/CliProgress.h"
#include "app/cli/CliTime.h"
#include "avi_input/AVIRead.h"
#include "export/DSSplit.h"
#include "media/EncoderOptions.h"
#include "support/Errors.h"
#include "support/FrameClock.h"

#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <utility>

namespace zarvex::cli {

const char* const ExportHelp =
    "zarvex-cli export SRC --from T --to T -o OUT [--vcodec NAME] [--acodec NAME]\n"
    "    [--width W] [--height H] [--fps F] [--stretch stretch|crop|letterbox|fill]\n"
    "    [--vbitrate B] [--vquality Q] [--keyint N] [--abitrate B] [--yes] [--quiet]\n"
    "  Decodes the segment from --from to --to (times as for cut) and writes it as a new AVI:\n"
    "  uncompressed 24-bit RGB video and 16-bit 44.1 kHz stereo PCM, or through the encoders\n"
    "  named by --vcodec and --acodec (the names in brackets of 'zarvex-cli codecs'). Size and\n"
    "  rate default to the source's. --stretch fits the picture to another size: stretch\n"
    "  ignores the aspect ratio, crop (the default) does not scale and cuts or pads, letterbox\n"
    "  fits inside with black bars, fill covers the picture and cuts what sticks out.\n"
    "  --vbitrate and --abitrate in bits per second, --vquality 1 (best) to 31 (a quantiser,\n"
    "  or spread over the constant-rate factor of x264, libvpx and libaom), --keyint the\n"
    "  largest distance between key frames; each is refused where the compressor ignores it.\n"
    "  A source without audio, or with audio that cannot be decoded, gets silence (and a\n"
    "  warning for the latter).\n"
    "  --yes     overwrite OUT if it exists (otherwise asked on the terminal)\n"
    "  --quiet   no progress bar\n"
    "  Ctrl+C stops the export; OUT is then a complete, shorter file (exit code 130).\n";

namespace {

const std::map<std::string, TStretchMode> StretchNames = {
    {"stretch", TStretchMode::smStretch},
    {"crop", TStretchMode::smCrop},
    {"letterbox", TStretchMode::smPreserveAspect},
    {"fill", TStretchMode::smPreserveAspectNoLetterbox},
};

// Reads a whole number option into value; an error text when it is not one (min..).
std::string ReadNumber(const TCliArgs& a, const std::string& option, int64_t min, int64_t& value) {
    if (!a.Has(option))
        return "";
    const std::optional<int64_t> n = ParseCount(a.Values.at(option));
    if (!n || *n < min || *n > INT32_MAX)
        return option + " takes a whole number from " + std::to_string(min);
    value = *n;
    return "";
}

// An option the compressor would silently ignore is refused instead.
std::string RefuseIgnoredOptions(const TCliArgs& a, const TCompressor& c) {
    const media::TOptionFields f = media::OptionFieldsOf(c);
    const std::pair<const char*, bool> options[] = {
        {c.Audio ? "--abitrate" : "--vbitrate", f.BitRate},
        {"--vquality", c.Audio || f.Quality},
        {"--keyint", c.Audio || f.KeyFrameInterval},
    };
    for (const auto& [option, honoured] : options)
        if (a.Has(option) && !honoured)
            return std::string(option) + " does not apply to the " + c.EncoderName +
                   " compressor, which ignores it";
    return "";
}

std::string ReadSettings(const TCliArgs& a, TDSVideoSplitter& s) {
    if (a.Positional.size() != 1)
        return "give exactly one source file";
    if (!a.Has("-o"))
        return "give the output file with -o";
    if (!a.Has("--from") || !a.Has("--to"))
        return "give both --from and --to";
    const std::optional<double> from = ParseTime(a.Values.at("--from"));
    const std::optional<double> to = ParseTime(a.Values.at("--to"));
    if (!from || !to)
        return "a time is seconds (12.5) or [hh:]mm:ss[.f]";
    if (*to <= *from)
        return "--to must come after --from";
    s.StartTime = *from;
    s.StopTime = *to;
    int64_t width = 0, height = 0, vbitrate = 0, vquality = 0, keyint = 0, abitrate = 0;
    for (std::string e :
         {ReadNumber(a, "--width", 1, width), ReadNumber(a, "--height", 1, height),
          ReadNumber(a, "--vbitrate", 1, vbitrate), ReadNumber(a, "--vquality", 1, vquality),
          ReadNumber(a, "--keyint", 1, keyint), ReadNumber(a, "--abitrate", 1, abitrate)})
        if (!e.empty())
            return e;
    if (vquality > 31)
        return "--vquality takes 1 to 31";
    s.OutputWidth = int32_t(width);
    s.OutputHeight = int32_t(height);
    if (a.Has("--fps")) {
        const std::optional<double> fps = ParseTime(a.Values.at("--fps"));
        if (!fps || *fps <= 0 || *fps > 1000)
            return "--fps takes frames per second, above 0";
        s.OutputFrameRate = *fps;
    }
    if (a.Has("--stretch")) {
        const auto it = StretchNames.find(a.Values.at("--stretch"));
        if (it == StretchNames.end())
            return "--stretch takes stretch, crop, letterbox or fill";
        s.StretchMode = it->second;
    }
    try {
        if (a.Has("--vcodec")) {
            s.VideoCompressor = media::FindCompressor(false, a.Values.at("--vcodec"));
            s.VideoCompressor->Options = {vbitrate, int(vquality), int(keyint)};
            if (std::string e = RefuseIgnoredOptions(a, *s.VideoCompressor); !e.empty())
                return e;
        }
        if (a.Has("--acodec")) {
            s.AudioCompressor = media::FindCompressor(true, a.Values.at("--acodec"));
            s.AudioCompressor->Options.BitRate = abitrate;
            if (std::string e = RefuseIgnoredOptions(a, *s.AudioCompressor); !e.empty())
                return e;
        }
    } catch (const std::exception& e) {
        return std::string(e.what()) + " (see zarvex-cli codecs)";
    }
    for (const char* option : {"--vbitrate", "--vquality", "--keyint"})
        if (a.Has(option) && !a.Has("--vcodec"))
            return std::string(option) + " needs --vcodec";
    if (a.Has("--abitrate") && !a.Has("--acodec"))
        return "--abitrate needs --acodec";
    s.SourceFileName = a.Positional[0];
    s.OutputFileName = a.Values.at("-o");
    return "";
}

// The source's frame clock, when it is an AVI file of ours. Opened first, so that a rebuilt
// index is what the media layer reads from then on.
std::optional<TFrameClock> OpenFrameClock(const std::string& source) {
    TAVIFileReader reader;
    try {
        reader.IndexRebuild = TIndexRebuild::Always;
        reader.Open(source);
        UseRebuiltIndex(reader, source);
    } catch (const std::exception&) {
        return std::nullopt; // not an AVI file of ours: the times stay as typed
    }
    const TAVIStream* video = reader.VideoStream();
    if (!video)
        return std::nullopt;
    return TFrameClock(video->Header.dwRate, video->Header.dwScale);
}

// A typed time names the frame shown then: the segment runs from the start of the one named by
// --from to the start of the one named by --to. False when they are the same frame.
bool StartOnFrames(TDSVideoSplitter& s, const std::optional<TFrameClock>& clock) {
    if (!clock)
        return true;
    const auto start = [&](double t) {
        return double(clock->FrameStart(clock->TypedFrame(t))) / 1e7;
    };
    s.StartTime = start(s.StartTime);
    s.StopTime = start(s.StopTime);
    return s.StopTime > s.StartTime;
}

// Checks the source before anything is written; an end past it means its end.
int CheckSource(TDSVideoSplitter& s) {
    const std::optional<TFrameClock> clock = OpenFrameClock(s.SourceFileName);
    TMediaFileInfo info;
    try {
        ProbeMediaFile(s.SourceFileName, info);
    } catch (const std::exception& e) {
        std::cerr << "zarvex-cli: " << MessageNaming(s.SourceFileName, e) << "\n";
        return ExitFailure;
    }
    if (!info.HasVideo) {
        std::cerr << "zarvex-cli: " << s.SourceFileName
                  << ": The video stream is not found in the selected file.\n";
        return ExitFailure;
    }
    if (info.Length > 0 && s.StartTime >= info.Length) {
        std::cerr << "zarvex-cli export: the segment starts after the video ends (" << info.Length
                  << " s)\n";
        return ExitUsage;
    }
    if (info.Length > 0 && s.StopTime > info.Length)
        s.StopTime = info.Length;
    if (!StartOnFrames(s, clock)) {
        std::cerr << "zarvex-cli export: --from and --to name the same frame\n";
        return ExitUsage;
    }
    // The renderer writes the segment's length times the rate, rounded, in frames.
    const double seconds = s.StopTime - s.StartTime;
    if (s.OutputFrameRate > 0 && std::llround(seconds * s.OutputFrameRate) < 1) {
        std::cerr << "zarvex-cli export: at " << s.OutputFrameRate << " frames per second the "
                  << seconds << " s of the segment hold no frame; give a higher --fps or a "
                  << "longer segment\n";
        return ExitUsage;
    }
    return ExitOk;
}

// The output's video frames by our own reader; 0 when it cannot tell.
int64_t WrittenVideoFrames(const std::string& output) {
    TAVIFileReader reader;
    try {
        reader.Open(output);
    } catch (const std::exception&) {
        return 0;
    }
    return reader.VideoStream() ? int64_t(reader.VideoStream()->EntryCount()) : 0;
}

// A compressor that will not open for the output pictures is told before anything is written.
int CheckCompressors(const TDSVideoSplitter& s) {
    std::string problem;
    if (s.VideoCompressor) {
        TMediaFileInfo info;
        try {
            ProbeMediaFile(s.SourceFileName, info);
        } catch (const std::exception&) {
            // CheckSource has read it already; its own size then stands in
        }
        media::TPictureFormat p = SourcePictures(info);
        p.Width = s.OutputWidth > 0 ? s.OutputWidth : p.Width;
        p.Height = s.OutputHeight > 0 ? s.OutputHeight : p.Height;
        p.FrameRate = s.OutputFrameRate > 0 ? s.OutputFrameRate : p.FrameRate;
        problem = media::CompressorProblem(*s.VideoCompressor, p);
    }
    if (problem.empty() && s.AudioCompressor)
        problem = media::CompressorProblem(*s.AudioCompressor, {});
    if (problem.empty())
        return ExitOk;
    std::cerr << "zarvex-cli export: " << problem << "\n";
    return ExitUsage;
}

} // namespace

int RunExport(const std::vector<std::string>& args) {
    TCliArgs a =
        ParseArgs(args,
                  {"--from", "--to", "-o", "--vcodec", "--acodec", "--width", "--height", "--fps",
                   "--stretch", "--vbitrate", "--vquality", "--keyint", "--abitrate"},
                  {"--yes", "--quiet", "--help", "-h"});
    if (a.Has("--help") || a.Has("-h")) {
        std::cout << ExportHelp;
        return ExitOk;
    }
    TDSVideoSplitter splitter;
    if (a.Error.empty())
        a.Error = ReadSettings(a, splitter);
    if (!a.Error.empty()) {
        std::cerr << "zarvex-cli export: " << a.Error << "\n" << ExportHelp;
        return ExitUsage;
    }
    if (int code = CheckSource(splitter); code != ExitOk)
        return code;
    if (int code = CheckCompressors(splitter); code != ExitOk)
        return code;
    const std::string& out = splitter.OutputFileName;
    if (std::filesystem::exists(out) &&
        !ConfirmOnTerminal("The \"" + out + "\" file is already exist. Overwrite?",
                           a.Has("--yes"))) {
        std::cerr << "zarvex-cli export: stopped; nothing was written.\n";
        return ExitDeclined;
    }
    InstallCancelHandler();
    std::string failure;
    {
        TCliProgress progress("export", a.Has("--quiet"));
        splitter.OnProgress = [&](TDSVideoSplitter&, bool& cancel, double percent) {
            progress.Update(percent);
            cancel = CancelRequested();
        };
        try {
            splitter.Save();
            if (!splitter.Cancelled())
                progress.Update(100.0);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    }
    for (const std::string& warning : splitter.Warnings())
        std::cerr << "zarvex-cli export: warning: " << warning << "\n";
    if (!failure.empty()) {
        std::cerr << "zarvex-cli export: " << failure << "\n";
        return ExitFailure;
    }
    if (splitter.Cancelled()) {
        std::cerr << "zarvex-cli export: cancelled; the file being written was completed and is "
                     "valid.\n";
        return ExitCancelled;
    }
    if (WrittenVideoFrames(out) == 0) {
        std::cerr << "zarvex-cli export: " << out << " holds no video frame\n";
        return ExitFailure;
    }
    return ExitOk;
}

} // namespace zarvex::cli
