#include "splitting/CutList.h"

#include "support/Errors.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace zarvex {

namespace {

constexpr const char* Header = "# zarvex cut list 1: first-frame last-frame start-seconds "
                               "end-seconds source";

} // namespace

std::string FormatCutList(const TCutList& list) {
    std::ostringstream out;
    out << Header << "\n";
    for (const TCutListEntry& e : list.Entries) {
        char times[64];
        std::snprintf(times, sizeof times, "%.6f %.6f", e.Start, e.End);
        out << e.Frames.First << " " << e.Frames.Last << " " << times << " " << e.Source << "\n";
    }
    return out.str();
}

TCutList ParseCutList(const std::string& text) {
    TCutList list;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        TCutListEntry e;
        fields >> e.Frames.First >> e.Frames.Last >> e.Start >> e.End;
        std::getline(fields >> std::ws, e.Source);
        if (!fields.eof() && fields.fail())
            throw EZarvexError("Line " + std::to_string(number) +
                               " of the cut list cannot be read");
        if (e.Frames.First < 0 || e.Frames.Last < e.Frames.First)
            throw EZarvexError("Line " + std::to_string(number) +
                               " of the cut list names no frames");
        list.Entries.push_back(e);
    }
    return list;
}

std::string CutListPathFor(const std::string& aviPath) {
    return std::filesystem::path(aviPath).replace_extension(".cuts").string();
}

std::string RangeFileName(const std::string& output, int number, int count) {
    const std::filesystem::path p(output);
    std::string digits = std::to_string(number);
    digits.insert(
        0, std::to_string(count).size() - std::min(digits.size(), std::to_string(count).size()),
        '0');
    return (p.parent_path() / (p.stem().string() + "_" + digits + p.extension().string())).string();
}

} // namespace zarvex
