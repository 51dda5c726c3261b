#include "support/Errors.h"

#include <cerrno>
#include <cstring>

namespace zarvex {

EOSError MakeOSError(int code, const std::string& path) {
    if (code == 0)
        return EOSError(0, "A call to an OS function failed", path);
    return EOSError(
        code, "System Error.  Code: " + std::to_string(code) + ".\n" + std::strerror(code), path);
}

void RaiseLastOSError(const std::string& path) {
    throw MakeOSError(errno, path);
}

std::string MessageNaming(const std::string& path, const std::exception& e) {
    const auto* os = dynamic_cast<const EOSError*>(&e);
    if (os && !os->Path.empty())
        return e.what();
    return path + ": " + e.what();
}

} // namespace zarvex
