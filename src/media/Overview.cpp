#include "media/Overview.h"

namespace zarvex::media {

std::unique_ptr<TOverviewSource> OpenOverview(const TAVIFileReader&, const TOverviewOptions&) {
    return nullptr;
}

} // namespace zarvex::media
