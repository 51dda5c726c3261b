// The peaks of an audio stream at a fine base resolution, and their reduction to the columns a
// timeline asks for.
#pragma once

#include "media/OverviewSource.h"

#include <cstdint>
#include <vector>

namespace zarvex::media {

// Sample frames per base stretch: 5.8 ms at 44.1 kHz.
inline constexpr int64_t PeakBucketFrames = 256;

// The peaks of a run of base stretches from First on, as one reader worked them out.
struct TPeakSpan {
    int64_t First = 0;
    std::vector<int8_t> Low, High; // Low > High: nothing seen in that stretch

    void Put(int64_t bucket, int low, int high);
};

// Every stretch of the stream; not locked, its owner is.
class TPeakTrack {
public:
    explicit TPeakTrack(int sampleRate) : Rate(sampleRate > 0 ? sampleRate : 44100) {}

    int SampleRate() const { return Rate; }
    void Merge(const TPeakSpan& span);
    std::vector<TPeak> Columns(int64_t from, int64_t timePerColumn, int columns) const;

    // The whole track as Low, High pairs, for the cache.
    const std::vector<int8_t>& Lows() const { return Low; }
    const std::vector<int8_t>& Highs() const { return High; }

private:
    // Base stretches per coarse one, so that a whole-file view reads a few thousand values.
    static constexpr int64_t Coarse = 64;

    void Fold(int64_t b0, int64_t b1, TPeak& peak) const;
    void Grow(size_t buckets);

    int Rate;
    std::vector<int8_t> Low, High;
    std::vector<int8_t> CoarseLow, CoarseHigh;
};

} // namespace zarvex::media
