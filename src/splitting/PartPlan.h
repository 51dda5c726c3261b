// Where a split cuts the video, and what its part files are called.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarvex {

class TAVIStream;

struct TPart {
    int32_t FirstFrame = 0;
    int32_t LastFrame = 0; // inclusive; also the first frame of the next part
    std::string FileName;
};

// Folder/Prefix + the part number zero-padded to the digits of partCount + ".avi".
std::string PartFileName(const std::string& folder, const std::string& prefix, int number,
                         int partCount);

// Parts of about equal video bytes, each starting at a key frame; one more than partCount
// when the last cut falls before the last frame. Depends on the index alone.
std::vector<TPart> PlanParts(const TAVIStream& video, int32_t partCount, const std::string& folder,
                             const std::string& prefix);

} // namespace zarvex
