// Guards that keep the user's source file from ever being written.
#pragma once

#include <string>

namespace zarvex {

// True when both paths name one existing file (the same path, a link, another spelling).
bool IsSameFile(const std::string& a, const std::string& b);

// Raises "The output file is the source file." when target is the source.
void RefuseSourceAsOutput(const std::string& target, const std::string& source);

} // namespace zarvex
