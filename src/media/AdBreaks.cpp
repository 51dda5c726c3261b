#include "media/SpotDetect.h"

#include <algorithm>

namespace zarvex::media {

TAdBreaks FindAdBreaks(const TDetection& detection, const TBreakOptions& options) {
    TAdBreaks result;
    // A break is a black run that silence overlaps by a frame or more. Its frames are the
    // black ones: the picture's edges are exact, the sound's depend on its codec's delay.
    for (const TSpot& black : detection.Black) {
        const bool silent =
            std::any_of(detection.Silence.begin(), detection.Silence.end(), [&](const TSpot& s) {
                return s.First <= black.Last && s.Last >= black.First;
            });
        if (!silent)
            continue;
        TSpot b = black;
        b.Kind = TSpotKind::Break;
        if (!result.Breaks.empty() && result.Breaks.back().Last + 1 >= b.First) {
            TSpot& last = result.Breaks.back();
            last.Last = std::max(last.Last, b.Last);
            last.End = std::max(last.End, b.End);
        } else {
            result.Breaks.push_back(b);
        }
    }
    // Runs of gaps between breaks each as long as an advert; MinAds or more in a row are ads.
    const auto& breaks = result.Breaks;
    auto isAdvert = [&](size_t i) {
        const double length = breaks[i + 1].Start - breaks[i].End;
        return length >= options.MinAdSeconds && length <= options.MaxAdSeconds;
    };
    for (size_t i = 0; i + 1 < breaks.size();) {
        if (!isAdvert(i)) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j + 1 < breaks.size() && isAdvert(j))
            ++j;
        if (int(j - i) >= std::max(options.MinAds, 1))
            result.Ads.push_back({TSpotKind::Break, breaks[i].First, breaks[j].Last,
                                  breaks[i].Start, breaks[j].End, 0});
        i = j;
    }
    int64_t next = 0;
    const int64_t count =
        std::max<int64_t>(detection.FrameCount, breaks.empty() ? 0 : breaks.back().Last + 1);
    for (const TSpot& ad : result.Ads) {
        if (ad.First > next)
            result.Kept.emplace_back(next, ad.First - 1);
        next = ad.Last + 1;
    }
    if (next < count)
        result.Kept.emplace_back(next, count - 1);
    return result;
}

} // namespace zarvex::media
