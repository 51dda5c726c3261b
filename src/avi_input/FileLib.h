// File sizes, and sizes as short text.
#pragma once

#include <cstdint>
#include <string>

namespace zarvex {

// Size of the named file; 0 when it is missing or cannot be opened.
int64_t FileSizeOf(const std::string& fileName);

// "999 byte", "0.98 KB", "976.56 KB", "0.95 MB": thresholds in powers of ten, divisors in two.
std::string FileSizeText(int64_t n);

} // namespace zarvex
