// A list of frame ranges to keep, and its small text file: the window saves and loads it, the
// command line reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarvex {

// Frames First..Last of a source, both inclusive.
struct TKeepRange {
    int32_t First = 0;
    int32_t Last = 0;
    bool operator==(const TKeepRange&) const = default;
};

struct TCutListEntry {
    std::string Source; // the file the range comes from, as written in the list
    TKeepRange Frames;
    double Start = 0; // seconds: the start of the first frame
    double End = 0;   // seconds: the end of the last frame
    bool operator==(const TCutListEntry&) const = default;
};

struct TCutList {
    std::vector<TCutListEntry> Entries;
};

// The list as text: a header line, then one range a line.
std::string FormatCutList(const TCutList& list);
// Raises EZarvexError naming the line that cannot be read.
TCutList ParseCutList(const std::string& text);

// Where the list of an AVI file is kept by default: beside it, "clip.avi" -> "clip.cuts".
std::string CutListPathFor(const std::string& aviPath);

// output with _1, _2, ... before its extension, the number zero-padded to the digits of count.
std::string RangeFileName(const std::string& output, int number, int count);

} // namespace zarvex
