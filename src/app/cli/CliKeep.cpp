#include "app/cli/CliKeep.h"

#include "app/cli/CliArgs.h"
#include "app/cli/CliTime.h"
#include "support/Errors.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace zarvex::cli {

namespace {

// Splits "a-b,c-d" into its pairs; false when a range is not two texts around one '-'.
bool SplitRanges(const std::string& text, std::vector<std::pair<std::string, std::string>>& out) {
    std::istringstream in(text);
    std::string range;
    while (std::getline(in, range, ',')) {
        const size_t dash = range.find('-');
        if (dash == std::string::npos || range.find('-', dash + 1) != std::string::npos)
            return false;
        out.emplace_back(range.substr(0, dash), range.substr(dash + 1));
    }
    return !out.empty() && text.back() != ',';
}

} // namespace

std::string ParseKeepTimes(const std::string& text, TKeepSpec& spec) {
    std::vector<std::pair<std::string, std::string>> ranges;
    if (!SplitRanges(text, ranges))
        return "--keep takes ranges T1-T2,T3-T4";
    for (const auto& [from, to] : ranges) {
        const auto a = ParseTime(from), b = ParseTime(to);
        if (!a || !b)
            return "a time is seconds (12.5) or [hh:]mm:ss[.f]";
        if (*b <= *a)
            return "each --keep range must end after it starts: " + from + "-" + to;
        spec.Times.emplace_back(*a, *b);
    }
    return "";
}

std::string ParseKeepFrames(const std::string& text, TKeepSpec& spec) {
    std::vector<std::pair<std::string, std::string>> ranges;
    if (!SplitRanges(text, ranges))
        return "--keep-frames takes ranges A-B,C-D";
    for (const auto& [from, to] : ranges) {
        const auto a = ParseCount(from), b = ParseCount(to);
        if (!a || !b)
            return "a frame number is a whole number from 0";
        if (*b < *a)
            return "each --keep-frames range must not end before it starts: " + from + "-" + to;
        // No AVI has more frames than an int32_t counts: a larger one is past every end.
        spec.Frames.push_back(
            {int32_t(std::min<int64_t>(*a, INT32_MAX)), int32_t(std::min<int64_t>(*b, INT32_MAX))});
    }
    return "";
}

std::string ReadListFile(const std::string& path, TForeignList& list, bool& unreadable) {
    std::ifstream in(path, std::ios::binary);
    // An empty file reads as well as any; a folder opens but reads nothing. One byte more than
    // a list may hold tells that it is too large, whatever the file is.
    std::string text(MaxListBytes + 1, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    unreadable = !in.is_open() || in.bad() || std::filesystem::is_directory(path);
    if (unreadable)
        return "cannot read the cut list " + path;
    try {
        list = ReadForeignList(text, path);
    } catch (const std::exception& e) {
        return MessageNaming(path, e);
    }
    if (!list.Errors.empty())
        return "the cut list " + path + " (" + FormatName(list.Format) +
               ") has lines that cannot be read:\n" +
               DescribeErrors(list).substr(0, DescribeErrors(list).size() - 1);
    return "";
}

std::string ReadKeepFile(const std::string& path, TKeepSpec& spec, bool& unreadable) {
    TForeignList list;
    if (std::string why = ReadListFile(path, list, unreadable); !why.empty())
        return why;
    // A removal list of nothing keeps everything (comskip found no commercials); a list of
    // nothing to keep is a mistake.
    if (list.Ranges.empty() && !RemovesParts(list.Format))
        return "the cut list " + path + " holds no range";
    spec.List = std::move(list);
    return "";
}

std::string ParseOffset(const std::string& text, int64_t& offset) {
    const bool minus = !text.empty() && text[0] == '-';
    const auto n = ParseCount(minus || (!text.empty() && text[0] == '+') ? text.substr(1) : text);
    if (!n || *n > 1000000)
        return "--offset takes a number of frames, from -1000000 to 1000000";
    offset = minus ? -*n : *n;
    return "";
}

bool ConfirmListFits(const TForeignList& list, const std::string& source, bool yes,
                     const std::string& command) {
    std::error_code error;
    const uint64_t size = std::filesystem::file_size(source, error);
    const std::string why =
        CutlistMismatch(list, std::filesystem::path(source).filename().string(), error ? 0 : size);
    if (why.empty())
        return true;
    if (yes) {
        std::cerr << "zarvex-cli " << command << ": warning: " << why << "\n";
        return true;
    }
    return ConfirmOnTerminal(why + " Use the list anyway?", false, "use it");
}

std::string CutAtEndNote(int cut, int64_t count) {
    return std::to_string(cut) + (cut == 1 ? " range" : " ranges") +
           " of the list ran past the end of the video (" + std::to_string(count) +
           " frames) and " + (cut == 1 ? "was" : "were") + " cut there";
}

std::string ResolveKeep(const TKeepSpec& spec, int64_t count, uint32_t rate, uint32_t scale,
                        std::vector<TKeepRange>& ranges, std::string* note) {
    if (spec.List) {
        const TKeptFrames kept = KeptFrames(*spec.List, {count, rate, scale}, spec.Offset);
        ranges = kept.Ranges;
        if (kept.CutAtEnd > 0 && note)
            *note = CutAtEndNote(kept.CutAtEnd, count);
        return ranges.empty() ? "the list keeps no frame of the video (it has " +
                                    std::to_string(count) + " frames)"
                              : "";
    }
    std::vector<std::pair<int64_t, int64_t>> frames;
    for (const auto& [from, to] : spec.Times)
        frames.emplace_back(FrameOfTime(from, rate, scale), FrameOfTime(to, rate, scale) - 1);
    for (const TKeepRange& r : spec.Frames)
        frames.emplace_back(r.First, r.Last);
    ranges.clear();
    for (size_t i = 0; i < frames.size(); ++i) {
        const auto [first, last] = frames[i];
        if (first >= count || last < first)
            return "range " + std::to_string(i + 1) + " holds no frame of the video (it has " +
                   std::to_string(count) + " frames)";
        ranges.push_back({int32_t(first), int32_t(std::min<int64_t>(last, count - 1))});
    }
    return "";
}

} // namespace zarvex::cli
