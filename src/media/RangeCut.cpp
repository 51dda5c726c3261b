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

std::string SegmentNote(size_t i, const std::string& note) {
    return "Segment " + std::to_string(i + 1) + ": " + note;
}

// The frame-exact video of a piece, or nullopt with a note when it must be a key-frame copy.
std::optional<TVideoPlan> ExactPlanOf(const TJoinPiece& piece, std::string& note) {
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
            return PlanExactVideo(*piece.Source, first, last, nullptr);
        } catch (const std::exception& e) {
            why = std::string("Its pictures could not be re-encoded: ") + e.what();
        }
    }
    note = FallbackMessage(key) + "\n" + why;
    return std::nullopt;
}

} // namespace

bool SaveRanges(const TRangeSave& save, std::vector<std::string>& messages, bool& cancelled) {
    cancelled = false;
    const size_t n = save.Pieces.size();
    if (n == 0)
        throw EZarvexError("The list holds no segments");
    std::vector<std::string> names;
    for (size_t i = 0; i < (save.Separate ? n : 1); ++i)
        names.push_back(save.Separate ? RangeFileName(save.Output, int(i + 1), int(n))
                                      : save.Output);
    for (const std::string& name : names)
        if (std::filesystem::exists(name) &&
            (!save.OnConfirmOverwrite ||
             !save.OnConfirmOverwrite(TZarvex::OverwriteQuestion(name))))
            return false;
    std::vector<TJoinPiece> pieces = save.Pieces;
    std::vector<std::optional<TVideoPlan>> plans(n);
    // One file each goes through the single cut, which checks its own result.
    const bool single = save.Separate && save.Mode == TCutMode::Exact;
    for (size_t i = 0; i < n && save.Mode == TCutMode::Exact && !single; ++i) {
        std::string note;
        plans[i] = ExactPlanOf(pieces[i], note);
        pieces[i].Plan = plans[i] ? &*plans[i] : nullptr;
        if (!note.empty())
            messages.push_back(n > 1 ? SegmentNote(i, note) : note);
    }
    for (size_t f = 0; f < names.size() && !cancelled; ++f) {
        TJoiner joiner;
        const double share = 100.0 / double(names.size());
        joiner.OnProgress = [&](bool& cancel, double percent) {
            if (save.OnProgress)
                save.OnProgress(cancel, share * (double(f) + percent / 100.0));
        };
        if (single) {
            TZarvex copier(*pieces[f].Source);
            copier.FileName = names[f];
            copier.OnProgress = [&](TZarvex&, bool& cancel, double percent) {
                joiner.OnProgress(cancel, percent);
            };
            const std::string note =
                CopySegmentExact(copier, pieces[f].Range.First, pieces[f].Range.Last);
            if (!note.empty())
                messages.push_back(SegmentNote(f, note));
            cancelled = copier.Cancelled();
        } else {
            joiner.Write(save.Separate ? std::vector<TJoinPiece>{pieces[f]} : pieces, names[f]);
            cancelled = joiner.Cancelled();
        }
    }
    return true;
}

} // namespace zarvex::media
