// The overview of a recording kept between runs: one file per recording under the cache folder,
// named after its path and valid only for the same size and modification time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarvex::media {

// What the cache file must match.
struct TOverviewCacheKey {
    std::string Path;
    uint64_t Size = 0;
    int64_t ModifiedNs = 0;
    uint32_t KeyFrames = 0;
    uint32_t PeakBlocks = 0;
};

// What is worked out so far: a JPEG per key frame (Done without bytes: it did not decode), and
// the base peaks with the blocks of audio chunks they cover.
struct TOverviewSnapshot {
    std::vector<std::vector<uint8_t>> Pictures;
    std::vector<uint8_t> PictureDone;
    int SampleRate = 0;
    std::vector<int8_t> Low, High;
    std::vector<uint8_t> BlockDone;
};

// The key of the file as it is now; false when it cannot be looked at.
bool OverviewCacheKeyOf(const std::string& path, TOverviewCacheKey& key);
std::string OverviewCacheFile(const std::string& folder, const TOverviewCacheKey& key);

// False, leaving snapshot empty, for a missing, damaged or foreign file.
bool LoadOverviewCache(const std::string& file, const TOverviewCacheKey& key,
                       TOverviewSnapshot& snapshot);
// Writes through a temporary file and a rename, so that a reader never sees half a file; a
// failure only costs the cache.
void SaveOverviewCache(const std::string& file, const TOverviewCacheKey& key,
                       const TOverviewSnapshot& snapshot);

// What the cache folder may hold; saving removes the overviews written longest ago beyond it.
inline constexpr uintmax_t OverviewCacheLimit = uintmax_t(256) << 20;
// Removes the overview and spot files of the folder written longest ago, but never keep, until they
// hold at most limit bytes.
void PruneOverviewCache(const std::string& folder, uintmax_t limit, const std::string& keep);

} // namespace zarvex::media
