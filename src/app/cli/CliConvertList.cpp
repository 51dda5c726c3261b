// cutlist: a cut list of one format written in another.
#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliJob.h"
#include "app/cli/CliKeep.h"
#include "avi_input/AVIRead.h"
#include "splitting/ZarvexCls.h"
#include "support/FileSafety.h"

#include <filesystem>
#include <iostream>

namespace zarvex::cli {

const char* const CutlistHelp =
    "zarvex-cli cutlist IN -o OUT [--format F] [--source SRC] [--offset N] [--yes]\n"
    "  Writes the cut list IN in another format. IN is told by its content and then its name;\n"
    "  F is one of\n"
    "    cutlist  cutlist.at .cutlist: parts to keep, in frames and seconds\n"
    "    comskip  comskip .txt: commercials' first and last frames\n"
    "    edl      MPlayer EDL (comskip's .edl too): parts to remove, in seconds\n"
    "    kodi     Kodi EDL: parts to remove, in seconds or #frames\n"
    "    vdr      VDR marks: h:mm:ss.ff, odd marks start a kept part\n"
    "    csv      LosslessCut CSV: parts to keep, in seconds, with names\n"
    "    llc      LosslessCut project (JSON5 cutSegments): parts to keep, in seconds\n"
    "    vcf      VirtualDub script (subset.AddRange): parts to keep, in frames\n"
    "    zarvex   the window's own list: parts to keep, in frames\n"
    "  and defaults to what the extension of OUT names (.cutlist .txt .edl marks .csv .llc .vcf\n"
    "  .cuts). --source names the video whose frame rate and length turn times into frames and\n"
    "  parts to remove into parts to keep; without it the ranges are copied as they are, which\n"
    "  needs both formats to list the same kind of part in the same units.\n"
    "  --offset N  moves every range N frames later (earlier when negative); OTR lists are often\n"
    "              a frame or two off\n"
    "  --yes       overwrite OUT if it exists (otherwise asked on the terminal); use a cutlist.at\n"
    "              list made for another file than SRC, with a warning\n";

namespace {

int Usage(const std::string& why) {
    std::cerr << "zarvex-cli cutlist: " << why << "\n" << CutlistHelp;
    return ExitUsage;
}

// The list through the frames of the source video; an exit code on failure.
int ThroughSource(const TCliArgs& a, const TForeignList& in, int64_t offset, TForeignList& out) {
    const std::string source = a.Values.at("--source");
    TAVIFileReader reader;
    if (!OpenSource(reader, source, true) || !HasVideoEntries(reader, "cutlist", source))
        return ExitFailure;
    if (!ConfirmListFits(in, source, a.Has("--yes"), "cutlist")) {
        std::cerr << "zarvex-cli cutlist: stopped; nothing was written.\n";
        return ExitDeclined;
    }
    const TAVIStream& video = *reader.VideoStream();
    const TListVideo v{video.EntryCount(), video.Header.dwRate, video.Header.dwScale};
    const TKeptFrames kept = KeptFrames(in, v, offset);
    if (kept.CutAtEnd > 0)
        std::cerr << "zarvex-cli cutlist: " << CutAtEndNote(kept.CutAtEnd, v.FrameCount) << "\n";
    if (kept.Ranges.empty())
        std::cerr << "zarvex-cli cutlist: warning: the list keeps no frame of " << source << "\n";
    const TListFormat format = out.Format;
    out = ListOfKeptFrames(format, kept.Ranges, v);
    std::error_code error;
    out.General.ApplyToFile = std::filesystem::path(source).filename().string();
    if (const uintmax_t size = std::filesystem::file_size(source, error); !error)
        out.General.OriginalFileSize = int64_t(size);
    return ExitOk;
}

// The ranges as they are, when both formats can hold them; an exit code on failure.
int AsTheyAre(const TForeignList& in, int64_t offset, TForeignList& out) {
    if (RemovesParts(in.Format) != RemovesParts(out.Format)) {
        auto kind = [](TListFormat f) {
            return FormatName(f) +
                   (RemovesParts(f) ? " lists the parts to remove" : " lists the parts to keep");
        };
        std::cerr << "zarvex-cli cutlist: " << kind(in.Format) << " and " << kind(out.Format)
                  << ": give the video with --source, whose length tells the rest.\n";
        return ExitUsage;
    }
    const TListFormat format = out.Format;
    out = in;
    out.Format = format;
    out.Errors.clear();
    ShiftList(out, offset);
    return ExitOk;
}

} // namespace

int RunCutlist(const std::vector<std::string>& args) {
    const TCliArgs a =
        ParseArgs(args, {"-o", "--format", "--source", "--offset"}, {"--yes", "--help", "-h"});
    if (a.Has("--help") || a.Has("-h")) {
        std::cout << CutlistHelp;
        return ExitOk;
    }
    if (!a.Error.empty())
        return Usage(a.Error);
    if (a.Positional.size() != 1)
        return Usage("give exactly one cut list to read");
    if (!a.Has("-o"))
        return Usage("give the list to write with -o");
    const std::string input = a.Positional[0], output = a.Values.at("-o");
    TForeignList out;
    out.Format =
        a.Has("--format") ? FormatOfName(a.Values.at("--format")) : FormatOfFileName(output);
    if (out.Format == TListFormat::Unknown)
        return Usage(a.Has("--format")
                         ? "no list format is called " + a.Values.at("--format")
                         : "the name of " + output + " names no list format: give --format");
    int64_t offset = 0;
    if (a.Has("--offset"))
        if (std::string why = ParseOffset(a.Values.at("--offset"), offset); !why.empty())
            return Usage(why);
    bool unreadable = false;
    TForeignList in;
    if (std::string why = ReadListFile(input, in, unreadable); !why.empty()) {
        std::cerr << "zarvex-cli cutlist: " << why << "\n";
        return unreadable ? ExitFailure : ExitUsage;
    }
    for (const std::string& other : {input, a.Has("--source") ? a.Values.at("--source") : ""})
        if (!other.empty() && IsSameFile(output, other)) {
            std::cerr << "zarvex-cli cutlist: " << output << ": The output file is the source "
                      << "file.\n";
            return ExitFailure;
        }
    const int code =
        a.Has("--source") ? ThroughSource(a, in, offset, out) : AsTheyAre(in, offset, out);
    if (code != ExitOk)
        return code;
    std::string text;
    try {
        text = WriteForeignList(out);
    } catch (const EZarvexError& e) {
        std::cerr << "zarvex-cli cutlist: " << e.what()
                  << (a.Has("--source") ? "\n"
                                        : " Give the video with --source, whose frame clock "
                                          "turns times into frames and back.\n");
        return ExitUsage;
    }
    if (OutputExists(output) &&
        !ConfirmOnTerminal(TZarvex::OverwriteQuestion(output), a.Has("--yes"))) {
        std::cerr << "zarvex-cli cutlist: stopped; nothing was written.\n";
        return ExitDeclined;
    }
    ReplaceFileWith(output, text);
    return ExitOk;
}

} // namespace zarvex::cli
