// detect: black frames, silence, scene changes and ad breaks of a recording, one line a find.
#include "app/cli/CliArgs.h"
#include "app/cli/CliCommands.h"
#include "app/cli/CliJob.h"
#include "app/cli/CliProgress.h"
#include "avi_input/AVIRead.h"
#include "media/Comskip.h"
#include "media/SpotDetect.h"
#include "splitting/ZarvexCls.h"
#include "support/FileSafety.h"
#include "support/FrameClock.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace zarvex::cli {

const char* const DetectHelp =
    "zarvex-cli detect SRC [--black] [--silence] [--scenes] [--breaks] [--method builtin|comskip]\n"
    "                  [--min-ad S] [--max-ad S] [--keep-list OUT] [--yes] [--quiet]\n"
    "  Finds black frames (at least 0.1 s, 98 % of the picture at or below pixel level 0.10),\n"
    "  silence (below -60 dB for at least 0.1 s), scene changes and ad breaks in one pass, and\n"
    "  prints one line a find, in time order: KIND FIRST LAST START END, KIND being black,\n"
    "  silence, scene or break, FIRST and LAST the first and last frame (inclusive) and START\n"
    "  and END in seconds. Without a kind, black, silence and breaks are printed.\n"
    "  --breaks     where black and silence meet; runs between them as long as adverts,\n"
    "               two or more in a row, are ads\n"
    "  --min-ad S, --max-ad S  the length of one advert in seconds (default 10 and 90)\n"
    "  --method     builtin (default) or comskip, which must be installed; comskip's\n"
    "               commercials are printed as breaks\n"
    "  --keep-list OUT  also writes the programme, everything outside the ads, as a cut list\n"
    "               in the format the name of OUT suggests (ours otherwise)\n"
    "  --yes        overwrite OUT if it exists (otherwise asked on the terminal)\n"
    "  --quiet      no progress bar\n";

namespace {

int Usage(const std::string& why) {
    std::cerr << "zarvex-cli detect: " << why << "\n" << DetectHelp;
    return ExitUsage;
}

bool ReadSeconds(const TCliArgs& a, const std::string& option, double& value) {
    if (!a.Has(option))
        return true;
    const std::string& text = a.Values.at(option);
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && value >= 0;
}

void Print(const media::TSpot& s) {
    std::printf("%s %lld %lld %.3f %.3f\n", media::SpotKindName(s.Kind).c_str(),
                static_cast<long long>(s.First), static_cast<long long>(s.Last), s.Start, s.End);
}

// The frames outside the kept ones, as breaks.
std::vector<media::TSpot> Removed(const std::vector<TKeepRange>& kept, const TListVideo& video) {
    const TFrameClock clock(video.Rate, video.Scale);
    std::vector<media::TSpot> spots;
    auto add = [&](int64_t first, int64_t last) {
        if (first <= last)
            spots.push_back({media::TSpotKind::Break, first, last,
                             double(clock.FrameStart(first)) / 1e7,
                             double(clock.FrameStart(last + 1)) / 1e7, 0});
    };
    int64_t next = 0;
    for (const TKeepRange& r : kept) {
        add(next, r.First - 1);
        next = r.Last + 1;
    }
    add(next, video.FrameCount - 1);
    return spots;
}

} // namespace

int RunDetect(const std::vector<std::string>& args) {
    const TCliArgs a = ParseArgs(
        args, {"--method", "--keep-list", "--min-ad", "--max-ad"},
        {"--black", "--silence", "--scenes", "--breaks", "--yes", "--quiet", "--help", "-h"});
    if (a.Has("--help") || a.Has("-h")) {
        std::cout << DetectHelp;
        return ExitOk;
    }
    if (!a.Error.empty())
        return Usage(a.Error);
    if (a.Positional.size() != 1)
        return Usage("give exactly one source file");
    const std::string method = a.Has("--method") ? a.Values.at("--method") : "builtin";
    if (method != "builtin" && method != "comskip")
        return Usage("--method is builtin or comskip");
    media::TBreakOptions breakOptions;
    if (!ReadSeconds(a, "--min-ad", breakOptions.MinAdSeconds) ||
        !ReadSeconds(a, "--max-ad", breakOptions.MaxAdSeconds))
        return Usage("--min-ad and --max-ad take seconds");
    const bool anyKind =
        a.Has("--black") || a.Has("--silence") || a.Has("--scenes") || a.Has("--breaks");
    const bool breaks = a.Has("--breaks") || !anyKind || method == "comskip";
    if (method == "comskip" && (a.Has("--black") || a.Has("--silence") || a.Has("--scenes")))
        return Usage("comskip finds breaks only");
    const std::string source = a.Positional[0];
    const std::string out = a.Has("--keep-list") ? a.Values.at("--keep-list") : "";
    TListFormat format = TListFormat::Unknown;
    if (!out.empty()) {
        format = FormatOfFileName(out);
        if (format == TListFormat::Unknown)
            format = TListFormat::Zarvex;
        if (IsSameFile(out, source)) {
            std::cerr << "zarvex-cli detect: " << out << ": The output file is the source file.\n";
            return ExitFailure;
        }
        if (OutputExists(out) &&
            !ConfirmOnTerminal(TZarvex::OverwriteQuestion(out), a.Has("--yes"))) {
            std::cerr << "zarvex-cli detect: stopped; nothing was done.\n";
            return ExitDeclined;
        }
    }
    TAVIFileReader reader;
    if (!OpenSource(reader, source, a.Has("--quiet")) || !HasVideoEntries(reader, "detect", source))
        return ExitFailure;
    const TAVIStream& stream = *reader.VideoStream();
    const TListVideo video{stream.EntryCount(), stream.Header.dwRate, stream.Header.dwScale};

    InstallCancelHandler();
    std::vector<media::TSpot> found;
    std::vector<TKeepRange> kept;
    try {
        TCliProgress bar("detect", a.Has("--quiet"));
        auto progress = [&](bool& cancel, double percent) {
            bar.Update(percent);
            cancel = CancelRequested();
        };
        if (method == "comskip") {
            kept = KeptFrames(media::RunComskip(source, progress), video).Ranges;
            found = Removed(kept, video);
        } else {
            media::TDetectOptions options;
            // The kept list needs the breaks, printed or not.
            options.Black = a.Has("--black") || breaks || !out.empty();
            options.Silence = a.Has("--silence") || breaks || !out.empty();
            options.Scenes = a.Has("--scenes");
            media::TDetection d = media::DetectSpots(source, options, progress);
            d.FrameCount = video.FrameCount;
            if (a.Has("--black") || !anyKind)
                found.insert(found.end(), d.Black.begin(), d.Black.end());
            if (a.Has("--silence") || !anyKind)
                found.insert(found.end(), d.Silence.begin(), d.Silence.end());
            if (a.Has("--scenes"))
                found.insert(found.end(), d.Scenes.begin(), d.Scenes.end());
            if (breaks || !out.empty()) {
                const media::TAdBreaks b = media::FindAdBreaks(d, breakOptions);
                if (breaks)
                    found.insert(found.end(), b.Breaks.begin(), b.Breaks.end());
                for (const auto& [first, last] : b.Kept)
                    kept.push_back({int32_t(first), int32_t(last)});
            }
        }
    } catch (const std::exception& e) {
        if (CancelRequested()) {
            std::cerr << "zarvex-cli detect: cancelled; nothing was written.\n";
            return ExitCancelled;
        }
        std::cerr << "zarvex-cli detect: " << source << ": " << e.what() << "\n";
        return ExitFailure;
    }
    std::stable_sort(found.begin(), found.end(), [](const media::TSpot& x, const media::TSpot& y) {
        return x.First != y.First ? x.First < y.First : int(x.Kind) < int(y.Kind);
    });
    for (const media::TSpot& s : found)
        Print(s);
    std::fflush(stdout);
    if (!out.empty()) {
        TForeignList list = ListOfKeptFrames(format, kept, video);
        ReplaceFileWith(out, WriteForeignList(list));
    }
    return ExitOk;
}

} // namespace zarvex::cli
