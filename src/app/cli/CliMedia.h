// What the commands take from the media layer (FFmpeg). The program people call leaves it empty
// and starts at once; the commands that need it run in the program that links it.
#pragma once

#include "splitting/RangeSave.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zarvex {
class TAVIFileReader;
class TZarvex;
} // namespace zarvex

namespace zarvex::cli {

struct TCliMedia {
    // Makes FFmpeg read the source through its rebuilt index while the result lives.
    std::function<std::shared_ptr<void>(const TAVIFileReader&)> ReadThroughRebuiltIndex;
    std::function<std::string(TZarvex&, int32_t first, int32_t last)> CopySegmentExact;
    std::function<void(TRangeSave&)> UseExactCuts;
};

TCliMedia& CliMedia();

// Sets the above up; only in the program that links the media layer.
void SetUpCliMedia();

} // namespace zarvex::cli
