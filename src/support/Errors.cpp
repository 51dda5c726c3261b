#include "support/Errors.h"

#include <cerrno>
#include <cstring>

namespace zarvex {

EOSError MakeOSError(int code) {
    if (code == 0)
        return EOSError(0, "A call to an OS function failed");
    return EOSError(code,
                    "System Error.  Code: " + std::to_string(code) + ".\n" + std::strerror(code));
}

void RaiseLastOSError() {
    throw MakeOSError(errno);
}

} // namespace zarvex
