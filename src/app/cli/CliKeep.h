// The ranges a cut keeps, as typed (--keep, --keep-frames) or read from a cut list file.
#pragma once

#include "splitting/CutList.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zarvex::cli {

struct TKeepSpec {
    std::vector<std::pair<double, double>> Times; // --keep: from the frame shown at the first
                                                  // time to the frame before the second's
    std::vector<TKeepRange> Frames;               // first and last frame, inclusive
};

// "T1-T2,T3-T4" and "A-B,C-D"; each returns "" or what is wrong with the text.
std::string ParseKeepTimes(const std::string& text, TKeepSpec& spec);
std::string ParseKeepFrames(const std::string& text, TKeepSpec& spec);
// The frame numbers of a cut list file; sets unreadable when the file cannot be read at all.
std::string ReadKeepFile(const std::string& path, TKeepSpec& spec, bool& unreadable);

// The ranges in a video of count frames at rate / scale frames per second; an end past the
// video means its last frame. Returns "" or why a range holds no frame of it.
std::string ResolveKeep(const TKeepSpec& spec, int64_t count, uint32_t rate, uint32_t scale,
                        std::vector<TKeepRange>& ranges);

struct TCliArgs;
// cut with one of the options above, for one source or (with --folder) several.
int RunCutRanges(const TCliArgs& args);

} // namespace zarvex::cli
