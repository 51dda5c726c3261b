#include "splitting/CutList.h"

#include "support/Errors.h"

#include <cmath>
#include <filesystem>
#include <iomanip>
#include <locale>
#include <sstream>

namespace zarvex {

namespace {

constexpr const char* Header = "# zarvex cut list 1: first-frame last-frame start-seconds "
                               "end-seconds source";

} // namespace

std::string FormatCutList(const TCutList& list) {
    // The C locale's decimal point whatever the program's locale, and no length limit.
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << Header << "\n" << std::fixed << std::setprecision(6);
    for (const TCutListEntry& e : list.Entries)
        out << e.Frames.First << " " << e.Frames.Last << " " << e.Start << " " << e.End << " "
            << e.Source << "\n";
    return out.str();
}

TCutList ParseCutList(const std::string& text) {
    TCutList list;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        // Written on Windows, or converted there twice ("\r\r\n"); no source name ends in one.
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        auto refuse = [&](const std::string& why) {
            return EZarvexError("Line " + std::to_string(number) + " of the cut list " + why +
                                ": " + line);
        };
        std::istringstream fields(line);
        fields.imbue(std::locale::classic());
        TCutListEntry e;
        if (!(fields >> e.Frames.First >> e.Frames.Last >> e.Start >> e.End))
            throw refuse("cannot be read");
        // The rest of the line is the source, spaces and all; it may be left out.
        const int next = fields.get();
        if (next != std::char_traits<char>::eof() && next != ' ' && next != '\t')
            throw refuse("cannot be read");
        std::getline(fields >> std::ws, e.Source);
        if (e.Frames.First < 0 || e.Frames.Last < e.Frames.First)
            throw refuse("names no frames");
        if (!std::isfinite(e.Start) || !std::isfinite(e.End) || e.Start < 0 || e.End < e.Start)
            throw refuse("has no valid times");
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
