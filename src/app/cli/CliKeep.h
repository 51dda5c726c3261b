// The ranges a cut keeps, as typed (--keep, --keep-frames) or read from a cut list file.
#pragma once

#include "splitting/CutList.h"
#include "splitting/ForeignCutList.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zarvex::cli {

struct TKeepSpec {
    std::vector<std::pair<double, double>> Times; // --keep: from the frame shown at the first
                                                  // time to the frame before the second's
    std::vector<TKeepRange> Frames;               // first and last frame, inclusive
    std::optional<TForeignList> List;             // --keep-file, in any format we read
    int64_t Offset = 0;                           // frames added to the list's positions
};

// "T1-T2,T3-T4" and "A-B,C-D"; each returns "" or what is wrong with the text.
std::string ParseKeepTimes(const std::string& text, TKeepSpec& spec);
std::string ParseKeepFrames(const std::string& text, TKeepSpec& spec);
// A cut list file of any format we read, recognised by its content and then its name; returns
// "" or why it cannot be used, naming every line that cannot be read, and sets unreadable when
// the file cannot be read at all.
std::string ReadListFile(const std::string& path, TForeignList& list, bool& unreadable);
std::string ReadKeepFile(const std::string& path, TKeepSpec& spec, bool& unreadable);
// "--offset N": "" or what is wrong with it.
std::string ParseOffset(const std::string& text, int64_t& offset);

// The ranges in a video of count frames at rate / scale frames per second; an end past the
// video means its last frame. Returns "" or why a range holds no frame of it; note says when
// ranges of a list were cut at the end of the video.
std::string ResolveKeep(const TKeepSpec& spec, int64_t count, uint32_t rate, uint32_t scale,
                        std::vector<TKeepRange>& ranges, std::string* note = nullptr);
// True when a cutlist.at list names source (its name and size), or when told to use it anyway:
// with yes after a warning, otherwise asked on the terminal.
bool ConfirmListFits(const TForeignList& list, const std::string& source, bool yes,
                     const std::string& command);
// The note of KeptFrames cutting ranges at the end.
std::string CutAtEndNote(int cut, int64_t count);

struct TCliArgs;
// cut with one of the options above, for one source or (with --folder) several.
int RunCutRanges(const TCliArgs& args);

} // namespace zarvex::cli
