// The overview of an open AVI file, worked out by background threads of its own.
#pragma once

#include "media/OverviewSource.h"

#include <memory>
#include <string>

namespace zarvex {
class TAVIFileReader;
}

namespace zarvex::media {

// Where the pictures and the peaks are kept between runs, by file size and modification time;
// empty keeps them in memory only.
struct TOverviewOptions {
    std::string CacheFolder;
};

// Starts working out the overview of the file that Reader has open. It opens a reader of its own
// (the caller's is not touched after this returns); destroying the result stops the work. Null
// when the file has no video stream to picture.
std::unique_ptr<TOverviewSource> OpenOverview(const TAVIFileReader& reader,
                                              const TOverviewOptions& options);

} // namespace zarvex::media
