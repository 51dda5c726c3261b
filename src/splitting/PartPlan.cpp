#include "splitting/PartPlan.h"

#include "avi_input/AVIStream.h"

namespace zarvex {

std::string PartFileName(const std::string& folder, const std::string& prefix, int number,
                         int partCount) {
    std::string digits = std::to_string(number);
    const size_t width = std::to_string(partCount).size();
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), '0');
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    return path + prefix + digits + ".avi";
}

std::vector<TPart> PlanParts(const TAVIStream& video, int32_t partCount, const std::string& folder,
                             const std::string& prefix) {
    std::vector<TPart> parts;
    const int64_t count = video.EntryCount();
    if (count == 0 || partCount < 1)
        return parts;
    uint64_t total = 0;
    for (int64_t i = 0; i < count; ++i)
        total += video.EntrySize(i);
    const uint64_t target = total / uint64_t(partCount);

    int32_t last = 0;
    uint64_t sum = 0;
    for (int64_t i = 0; i < count; ++i) {
        sum += video.EntrySize(i);
        if ((sum >= target && video.IsKeyFrame(i)) || i == count - 1) {
            const int number = int(parts.size()) + 1;
            parts.push_back({last, int32_t(i), PartFileName(folder, prefix, number, partCount)});
            last = int32_t(i);
            sum = 0;
        }
    }
    return parts;
}

} // namespace zarvex
