#include "support/FileSafety.h"

#include "support/Errors.h"

#include <filesystem>

namespace zarvex {

bool IsSameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty())
        return false;
    std::error_code ec;
    const bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

bool OutputExists(const std::string& path) {
    std::error_code ec;
    const bool found = std::filesystem::exists(path, ec); // "not found" is no error
    if (ec)
        throw EZarvexError("Cannot use the path \"" + path + "\": " + ec.message());
    return found;
}

void RefuseSourceAsOutput(const std::string& target, const std::string& source) {
    if (IsSameFile(target, source))
        throw EZarvexError("The output file is the source file.");
}

} // namespace zarvex
