// Black frames, silence and scene changes of a recording, found by FFmpeg's own filters
// (blackdetect, silencedetect, scdet) in one pass over the file, and kept per file in the cache
// folder of the overviews.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zarvex::media {

enum class TSpotKind { Black, Silence, Scene, Break };

// "black", "silence", "scene", "break".
std::string SpotKindName(TSpotKind kind);

struct TSpot {
    TSpotKind Kind = TSpotKind::Black;
    int64_t First = 0, Last = 0; // frames, inclusive; a scene change is one frame
    double Start = 0, End = 0;   // seconds; End where the spot ends (after Last for frames)
    double Score = 0;            // a scene change's score, 0 otherwise
    bool operator==(const TSpot&) const = default;
};

struct TDetectOptions {
    bool Black = true, Silence = true, Scenes = true;
    double BlackSeconds = 0.1;  // blackdetect d
    double PictureBlack = 0.98; // pic_th
    double PixelBlack = 0.10;   // pix_th
    double SilenceDb = -60;     // silencedetect n
    double SilenceSeconds = 0.1;
    double SceneThreshold = 10; // scdet threshold, percent
    bool operator==(const TDetectOptions&) const = default;
};

struct TDetection {
    TDetectOptions Options;
    std::vector<TSpot> Black, Silence, Scenes; // each in time order
    int64_t FrameCount = 0;
    double FramesPerSecond = 25;
};

// cancel set by the callback stops the work; percent runs 0 to 100.
using TDetectProgress = std::function<void(bool& cancel, double percent)>;

// One pass over the whole file. Raises EZarvexError when the file cannot be read, and
// EZarvexError with the text "Cancelled." when the callback cancels. A file without sound gives
// no silence, one without pictures no black frames or scene changes.
TDetection DetectSpots(const std::string& path, const TDetectOptions& options,
                       const TDetectProgress& progress = {});

// The results kept for a file as it is now (its size and modification time) and these options;
// false when there are none. Saving never fails the caller: a failure only costs the cache.
bool LoadDetection(const std::string& cacheFolder, const std::string& path,
                   const TDetectOptions& options, TDetection& detection);
void SaveDetection(const std::string& cacheFolder, const std::string& path,
                   const TDetection& detection);

struct TBreakOptions {
    double MinAdSeconds = 10, MaxAdSeconds = 90; // the length of one advert
    int MinAds = 2;                              // adverts in a row that make a block
};

struct TAdBreaks {
    // Where black frames and silence meet: the candidates, in time order.
    std::vector<TSpot> Breaks;
    // The ad blocks found: from the first frame of a block's first break to the last frame of its
    // last break, Kind Break.
    std::vector<TSpot> Ads;
    // The programme: every frame outside Ads, as first and last frames.
    std::vector<std::pair<int64_t, int64_t>> Kept;
};

// Breaks where black and silence overlap; runs between breaks as long as adverts, MinAds or more
// in a row, are ads. A dark scene without silence or a quiet passage without black is no break.
TAdBreaks FindAdBreaks(const TDetection& detection, const TBreakOptions& options = {});

} // namespace zarvex::media
