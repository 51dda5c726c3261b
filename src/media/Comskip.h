// comskip, where it is installed, run as a separate program on a recording: we write its ini
// file asking for its frame list, and read that list back like any other cut list.
#pragma once

#include "splitting/ForeignCutList.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zarvex::media {

// The comskip program found on PATH, or "" when it is not installed.
std::string ComskipProgram();
// What to tell a user who has no comskip.
std::string ComskipInstallHint();

// cancel set by the callback stops comskip; percent runs 0 to 100.
using TComskipProgress = std::function<void(bool& cancel, double percent)>;

// Runs comskip on path in a temporary folder of its own (nothing is written beside the
// recording) and returns its list of commercials (Format ComskipTxt, parts to remove). Raises
// EZarvexError when comskip is missing, fails, or is cancelled ("Cancelled.").
TForeignList RunComskip(const std::string& path, const TComskipProgress& progress = {});

// comskip counts the pictures it decodes, from 1; an empty chunk has none. Turns such a list
// into frame slots: pictureSlots[i] is the slot of picture i (from 0), slots the video's count.
// With no pictureSlots every slot is taken to hold a picture.
void ComskipFramesToSlots(TForeignList& list, const std::vector<int64_t>& pictureSlots,
                          int64_t slots);

} // namespace zarvex::media
