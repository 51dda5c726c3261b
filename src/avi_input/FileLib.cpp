#include "avi_input/FileLib.h"

#include "support/OSFile.h"

#include <cstdio>

namespace zarvex {

int64_t FileSizeOf(const std::string& fileName) {
    try {
        return TOSFile::OpenRead(fileName).Size();
    } catch (...) {
        return 0;
    }
}

namespace {
// The "0.##" pattern: at most two decimals, trailing zeros and a bare point dropped.
std::string TwoDecimals(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string s = text;
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    return s;
}
} // namespace

std::string FileSizeText(int64_t n) {
    if (n < 1000)
        return std::to_string(n) + " byte";
    if (n < 1000000)
        return TwoDecimals(double(n) / 1024.0) + " KB";
    return TwoDecimals(double(n) / 1048576.0) + " MB";
}

} // namespace zarvex
