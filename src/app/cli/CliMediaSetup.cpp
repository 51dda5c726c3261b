#include "app/cli/CliMedia.h"
#include "avi_input/RepairedLayout.h"
#include "media/ExactCut.h"
#include "media/MediaInput.h"
#include "media/RangeCut.h"

namespace zarvex::cli {

void SetUpCliMedia() {
    TCliMedia& m = CliMedia();
    m.ReadThroughRebuiltIndex = [](const TAVIFileReader& reader) {
        return media::PublishRepairedLayout(TRepairedLayout::Build(reader));
    };
    m.CopySegmentExact = [](TZarvex& copier, int32_t first, int32_t last) {
        return media::CopySegmentExact(copier, first, last);
    };
    m.UseExactCuts = media::UseExactCuts;
}

} // namespace zarvex::cli
