#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliJob.h"
#include "app/cli/CliKeep.h"
#include "app/cli/CliMedia.h"
#include "app/cli/CliTime.h"
#include "avi_input/AVIRead.h"
#include "support/FileSafety.h"

#include <iostream>
#include <optional>

namespace zarvex::cli {

const char* const CutHelp =
    "zarvex-cli cut SRC --from T --to T -o OUT [--exact] [--yes] [--quiet]\n"
    "zarvex-cli cut SRC --from-frame N --to-frame N -o OUT [--exact] [--yes] [--quiet]\n"
    "  Copies a segment of SRC into OUT without re-encoding. T is seconds (12.5) or\n"
    "  [hh:]mm:ss[.f]; the segment runs from the frame shown at --from to the frame before the\n"
    "  one shown at --to. --from-frame and --to-frame give the first and the last frame\n"
    "  (inclusive) instead. The copy starts at the key frame at or before the first frame; audio\n"
    "  is trimmed to the span. An end past the last frame means the last frame.\n"
    "  --exact   start and end on exactly the frames given: the frames before the first key\n"
    "            frame (and with B-frames a few at the end) are re-encoded with an encoder\n"
    "            matched to the source, the rest is copied. Where that cannot be done (a codec\n"
    "            without a matching encoder, or a result that fails its own check) the copy\n"
    "            starts at the key frame as without --exact, and a warning says why.\n"
    "  --yes     overwrite OUT if it exists (otherwise asked on the terminal)\n"
    "  --quiet   no progress bar\n"
    "  Ctrl+C stops the copy; OUT is then a complete, shorter file (exit code 130).\n"
    "zarvex-cli cut SRC --keep T1-T2,T3-T4 -o OUT [--exact] [--separate] [--yes] [--quiet]\n"
    "zarvex-cli cut SRC --keep-frames A-B,C-D -o OUT [--exact] [--separate] [--yes] [--quiet]\n"
    "zarvex-cli cut SRC --keep-file LIST -o OUT [--offset N] [--exact] [--separate] [--yes]\n"
    "               [--quiet]\n"
    "zarvex-cli cut SRC1 SRC2 ... --keep-file LIST --folder DIR [--offset N] [--exact]\n"
    "               [--separate] [--yes] [--quiet]\n"
    "  Keeps several ranges of SRC, one after another in OUT. --keep takes times as --from and\n"
    "  --to do (from the frame shown at T1 to the frame before the one shown at T2),\n"
    "  --keep-frames first and last frames (inclusive), --keep-file a cut list: the window's\n"
    "  own (lines \"FIRST LAST START END SOURCE\"; # starts a comment) or one of the formats of\n"
    "  the cutlist command, told by its content and name. A list of the parts to remove keeps\n"
    "  the rest; times become frames of SRC; ranges past the end are cut there, with a note.\n"
    "  A cutlist.at list made for another file (name or size) is used only when confirmed.\n"
    "  --offset N  moves every range of the list N frames later (earlier when negative)\n"
    "  --separate  one file per range: OUT_1.avi, OUT_2.avi, ... (zero-padded to the digits of\n"
    "              the number of ranges)\n"
    "  --folder    instead of -o: the same ranges of every SRC, each into DIR/<name of SRC>.avi\n"
    "              (with any of the three range options); DIR is created if needed\n"
    "  --exact     as above, for every range\n"
    "  Every overwrite question is asked before anything is written.\n";

namespace {

struct TCutRange {
    std::optional<double> From, To;
    std::optional<int64_t> FromFrame, ToFrame;
};

std::string ReadRange(const TCliArgs& a, TCutRange& r) {
    const bool times = a.Has("--from") || a.Has("--to");
    const bool frames = a.Has("--from-frame") || a.Has("--to-frame");
    if (times == frames)
        return "give either --from and --to, or --from-frame and --to-frame";
    if (times) {
        if (!a.Has("--from") || !a.Has("--to"))
            return "give both --from and --to";
        r.From = ParseTime(a.Values.at("--from"));
        r.To = ParseTime(a.Values.at("--to"));
        if (!r.From || !r.To)
            return "a time is seconds (12.5) or [hh:]mm:ss[.f]";
        if (*r.To <= *r.From)
            return "--to must come after --from";
        return "";
    }
    if (!a.Has("--from-frame") || !a.Has("--to-frame"))
        return "give both --from-frame and --to-frame";
    r.FromFrame = ParseCount(a.Values.at("--from-frame"));
    r.ToFrame = ParseCount(a.Values.at("--to-frame"));
    if (!r.FromFrame || !r.ToFrame)
        return "a frame number is a whole number from 0";
    if (*r.ToFrame < *r.FromFrame)
        return "--to-frame must not come before --from-frame";
    return "";
}

} // namespace

int RunCut(const std::vector<std::string>& args) {
    TCliArgs a = ParseArgs(args,
                           {"--from", "--to", "--from-frame", "--to-frame", "-o", "--keep",
                            "--keep-frames", "--keep-file", "--folder", "--offset"},
                           {"--yes", "--quiet", "--exact", "--separate", "--help", "-h"});
    if (a.Has("--help") || a.Has("-h")) {
        std::cout << CutHelp;
        return ExitOk;
    }
    const bool keep = a.Has("--keep") || a.Has("--keep-frames") || a.Has("--keep-file");
    const bool single =
        a.Has("--from") || a.Has("--to") || a.Has("--from-frame") || a.Has("--to-frame");
    if (a.Error.empty() && keep && single)
        a.Error = "--keep, --keep-frames and --keep-file do not go with --from or --to";
    if (a.Error.empty() && !keep && (a.Has("--separate") || a.Has("--folder")))
        a.Error = "--separate and --folder go with --keep, --keep-frames or --keep-file";
    if (a.Error.empty() && keep)
        return RunCutRanges(a);
    TCutRange range;
    if (a.Error.empty() && a.Positional.size() != 1)
        a.Error = "give exactly one source file";
    if (a.Error.empty() && !a.Has("-o"))
        a.Error = "give the output file with -o";
    if (a.Error.empty())
        a.Error = ReadRange(a, range);
    if (!a.Error.empty()) {
        std::cerr << "zarvex-cli cut: " << a.Error << "\n" << CutHelp;
        return ExitUsage;
    }
    const std::string out = a.Values.at("-o");
    int32_t first = 0, last = 0;
    auto check = [&](TAVIFileReader& reader) {
        const AVIStreamHeader& h = reader.VideoStream()->Header;
        const int64_t f =
            range.FromFrame ? *range.FromFrame : FrameOfTime(*range.From, h.dwRate, h.dwScale);
        const int64_t l =
            range.ToFrame ? *range.ToFrame : FrameOfTime(*range.To, h.dwRate, h.dwScale) - 1;
        const int64_t count = reader.VideoStream()->EntryCount();
        if (f >= count || l < f) {
            std::cerr << "zarvex-cli cut: the segment holds no frame of the video (it has " << count
                      << " frames)\n";
            return ExitUsage;
        }
        first = int32_t(f);
        last = int32_t(std::min<int64_t>(l, INT32_MAX));
        return ExitOk;
    };
    return RunCopyJob("cut", a.Positional[0], a.Has("--quiet"), check, [&](TZarvex& engine) {
        if (OutputExists(out) &&
            !ConfirmOnTerminal(TZarvex::OverwriteQuestion(out), a.Has("--yes")))
            return false;
        engine.FileName = out;
        if (!a.Has("--exact")) {
            engine.CopySegment(first, last);
            return true;
        }
        const std::string note = CliMedia().CopySegmentExact(engine, first, last);
        if (!note.empty())
            std::cerr << "zarvex-cli cut: warning: " << note << "\n";
        return true;
    });
}

} // namespace zarvex::cli
