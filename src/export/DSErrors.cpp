#include "export/DSErrors.h"

#include <cstdio>

extern "C" {
#include <libavutil/error.h>
}

namespace zarvex {

std::string AvErrorString(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0)
        std::snprintf(text, sizeof text, "unknown error %d", code);
    return text;
}

std::string MediaErrorText(int code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(static_cast<uint32_t>(code)));
    return std::string("Media Error: ") + hex + " (" + AvErrorString(code) + ")";
}

void CheckDSResult(int code) {
    if (code != 0)
        throw EMediaError(code, MediaErrorText(code));
}

} // namespace zarvex
