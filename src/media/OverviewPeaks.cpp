#include "media/OverviewPeaks.h"

#include <algorithm>

namespace zarvex::media {

namespace {

constexpr int8_t NoLow = 127, NoHigh = -127;

void Widen(TPeak& peak, int low, int high) {
    if (low > high)
        return;
    if (!peak.Known) {
        peak.Low = int8_t(low);
        peak.High = int8_t(high);
        peak.Known = true;
        return;
    }
    peak.Low = int8_t(std::min<int>(peak.Low, low));
    peak.High = int8_t(std::max<int>(peak.High, high));
}

} // namespace

void TPeakSpan::Put(int64_t bucket, int low, int high) {
    if (bucket < First)
        return;
    const size_t i = size_t(bucket - First);
    if (i >= Low.size()) {
        Low.resize(i + 1, NoLow);
        High.resize(i + 1, NoHigh);
    }
    Low[i] = int8_t(std::clamp(std::min<int>(Low[i], low), -127, 127));
    High[i] = int8_t(std::clamp(std::max<int>(High[i], high), -127, 127));
}

void TPeakTrack::Grow(size_t buckets) {
    if (buckets <= Low.size())
        return;
    Low.resize(buckets, NoLow);
    High.resize(buckets, NoHigh);
    const size_t coarse = (buckets + Coarse - 1) / Coarse;
    CoarseLow.resize(coarse, NoLow);
    CoarseHigh.resize(coarse, NoHigh);
}

void TPeakTrack::Merge(const TPeakSpan& span) {
    if (span.Low.empty() || span.First < 0)
        return;
    Grow(size_t(span.First) + span.Low.size());
    for (size_t i = 0; i < span.Low.size(); ++i) {
        const size_t b = size_t(span.First) + i;
        Low[b] = std::min(Low[b], span.Low[i]);
        High[b] = std::max(High[b], span.High[i]);
        CoarseLow[b / Coarse] = std::min(CoarseLow[b / Coarse], Low[b]);
        CoarseHigh[b / Coarse] = std::max(CoarseHigh[b / Coarse], High[b]);
    }
}

void TPeakTrack::Fold(int64_t b0, int64_t b1, TPeak& peak) const {
    b0 = std::max<int64_t>(b0, 0);
    b1 = std::min<int64_t>(b1, int64_t(Low.size()));
    while (b0 < b1) {
        if (b0 % Coarse == 0 && b0 + Coarse <= b1) {
            Widen(peak, CoarseLow[size_t(b0 / Coarse)], CoarseHigh[size_t(b0 / Coarse)]);
            b0 += Coarse;
        } else {
            Widen(peak, Low[size_t(b0)], High[size_t(b0)]);
            ++b0;
        }
    }
}

std::vector<TPeak> TPeakTrack::Columns(int64_t from, int64_t timePerColumn, int columns) const {
    std::vector<TPeak> out(size_t(std::max(columns, 0)));
    if (timePerColumn <= 0)
        return out;
    // Base stretches in 100-ns units, as an exact fraction: Rate / (Bucket * 10^7).
    const __int128 den = __int128(PeakBucketFrames) * 10000000;
    auto bucketAt = [&](int64_t t) {
        const __int128 n = __int128(t) * Rate;
        return int64_t(n >= 0 ? n / den : -((-n + den - 1) / den));
    };
    for (int k = 0; k < columns; ++k) {
        const int64_t t0 = from + int64_t(k) * timePerColumn;
        const int64_t b0 = bucketAt(t0);
        const int64_t b1 = std::max(b0 + 1, bucketAt(t0 + timePerColumn));
        Fold(b0, b1, out[size_t(k)]);
    }
    return out;
}

} // namespace zarvex::media
