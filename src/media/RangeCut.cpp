#include "media/RangeCut.h"

#include "avi_input/AVIRead.h"
#include "media/ExactCut.h"
#include "media/ExactPlan.h"
#include "splitting/ZarvexCls.h"
#include "support/Errors.h"

#include <algorithm>
#include <filesystem>
#include <optional>

namespace zarvex::media {

namespace {

// The frame-exact video of a piece, or nullopt with a note when it must be a key-frame copy.
std::optional<TVideoPlan> ExactPlanOf(const TJoinPiece& piece, std::string& note,
                                      const TRangeSave::TPlanProgress& progress) {
    const TAVIStream& video = *piece.Source->VideoStream();
    const int32_t last = std::min<int32_t>(piece.Range.Last, int32_t(video.EntryCount()) - 1);
    const int32_t first = std::clamp<int32_t>(piece.Range.First, 0, last);
    if (CutsAtEveryFrame(video)) {
        TVideoPlan all;
        all.CopyKey = first;
        all.CopyFrom = first + 1;
        all.CopyTo = last;
        return all;
    }
    const int32_t key = video.CopyStart(first);
    std::string why = ExactCutRefusal(*piece.Source);
    if (why.empty()) {
        try {
            return PlanExactVideo(*piece.Source, first, last, progress);
        } catch (const std::exception& e) {
            why = std::string("Its pictures could not be re-encoded: ") + e.what();
        }
    }
    note = FallbackMessage(key) + "\n" + why;
    return std::nullopt;
}

} // namespace

void UseExactCuts(TRangeSave& save) {
    save.PlanExact = ExactPlanOf;
    save.CutExact = [](TZarvex& copier, int32_t first, int32_t last) {
        return CopySegmentExact(copier, first, last);
    };
}

bool SaveRanges(TRangeSave save, std::vector<std::string>& messages, bool& cancelled) {
    UseExactCuts(save);
    return zarvex::SaveRanges(save, messages, cancelled);
}

} // namespace zarvex::media
