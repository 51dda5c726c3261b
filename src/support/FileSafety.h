// Guards that keep the user's source file from ever being written.
#pragma once

#include <string>
#include <string_view>

namespace zarvex {

// True when both paths name one existing file (the same path, a link, another spelling).
bool IsSameFile(const std::string& a, const std::string& b);

// True when something is at path; raises EZarvexError naming the path when the system cannot
// resolve it (a link to itself, a name too long).
bool OutputExists(const std::string& path);

// A name for the output of a cut beside source that is not taken yet: "clip-cut.avi", then
// "clip-cut-2.avi", ...
std::string FreeOutputName(const std::string& source);

// Raises "The output file is the source file." when target is the source.
void RefuseSourceAsOutput(const std::string& target, const std::string& source);

// Replaces path (the file a link names, when it is one) with exactly text, written first to a
// new file beside it and renamed over it: a failure leaves the old file as it was. Raises
// EOSError naming path.
void ReplaceFileWith(const std::string& path, std::string_view text);

} // namespace zarvex
