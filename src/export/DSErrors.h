// The media layer's failure: an FFmpeg result code and its text.
#pragma once

#include "support/Errors.h"

#include <cstdint>
#include <string>

namespace zarvex {

// Raised for a failed media-layer call; Code is FFmpeg's (negative) result.
class EMediaError : public EZarvexError {
public:
    EMediaError(int code, const std::string& message) : EZarvexError(message), Code(code) {}
    int Code;
};

// "Media Error: " + the code as u32 upper-case hex + " (" + FFmpeg's text + ")".
std::string MediaErrorText(int code);

// Any code other than 0 raises EMediaError; FFmpeg's positive "count" results are not passed here.
void CheckDSResult(int code);

// FFmpeg's own description of a result code.
std::string AvErrorString(int code);

} // namespace zarvex
