// Guards that keep the user's source file from ever being written.
#pragma once

#include <string>

namespace zarvex {

// True when both paths name one existing file (the same path, a link, another spelling).
bool IsSameFile(const std::string& a, const std::string& b);

// Raises "The output file is the source file." when target is the source.
void RefuseSourceAsOutput(const std::string& target, const std::string& source);

// Replaces path (the file a link names, when it is one) with exactly text, written first to a
// new file beside it and renamed over it: a failure leaves the old file as it was. Raises
// EOSError naming path.
void ReplaceFileWith(const std::string& path, const std::string& text);

} // namespace zarvex
