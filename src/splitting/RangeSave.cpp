#include "splitting/RangeSave.h"

#include "splitting/CutList.h"
#include "splitting/ZarvexCls.h"
#include "support/Errors.h"
#include "support/FileSafety.h"

#include <filesystem>

namespace zarvex {

namespace {

// Percent of the bar for planning the frame-exact pieces of a joined list.
constexpr double PlanShare = 20.0;

std::string SegmentNote(size_t i, const std::string& note) {
    return "Segment " + std::to_string(i + 1) + ": " + note;
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
        if (OutputExists(name) && (!save.OnConfirmOverwrite ||
                                   !save.OnConfirmOverwrite(TZarvex::OverwriteQuestion(name))))
            return false;
    if (save.Mode == TCutMode::Exact && (!save.PlanExact || !save.CutExact))
        throw EZarvexError("Frame-exact cutting is not available here");
    std::vector<TJoinPiece> pieces = save.Pieces;
    std::vector<std::optional<TVideoPlan>> plans(n);
    // One file each goes through the single cut, which checks its own result.
    const bool single = save.Separate && save.Mode == TCutMode::Exact;
    // Planning re-encodes the pieces' heads: its share of the bar, and Cancel there ends the
    // list with the piece being planned, as far as its plan got.
    const double planned = save.Mode == TCutMode::Exact && !single ? PlanShare : 0.0;
    for (size_t i = 0; i < n && planned > 0 && !cancelled; ++i) {
        std::string note;
        plans[i] = save.PlanExact(pieces[i], note, [&](double share) {
            bool cancel = false;
            if (save.OnProgress)
                save.OnProgress(cancel, planned * (double(i) + share) / double(n));
            cancelled = cancelled || cancel;
            return !cancel;
        });
        pieces[i].Plan = plans[i] ? &*plans[i] : nullptr;
        if (!note.empty())
            messages.push_back(n > 1 ? SegmentNote(i, note) : note);
        if (cancelled)
            pieces.resize(i + 1);
    }
    const bool plannedOnly = cancelled;
    for (size_t f = 0; f < names.size() && (!cancelled || plannedOnly); ++f) {
        TJoiner joiner;
        const double share = (100.0 - planned) / double(names.size());
        joiner.OnProgress = [&](bool& cancel, double percent) {
            if (plannedOnly)
                return; // what was planned is written whole
            if (save.OnProgress)
                save.OnProgress(cancel, planned + share * (double(f) + percent / 100.0));
        };
        if (single) {
            TZarvex copier(*pieces[f].Source);
            copier.FileName = names[f];
            copier.OnProgress = [&](TZarvex&, bool& cancel, double percent) {
                joiner.OnProgress(cancel, percent);
            };
            const std::string note =
                save.CutExact(copier, pieces[f].Range.First, pieces[f].Range.Last);
            if (!note.empty())
                messages.push_back(SegmentNote(f, note));
            cancelled = copier.Cancelled();
        } else {
            joiner.Write(save.Separate ? std::vector<TJoinPiece>{pieces[f]} : pieces, names[f]);
            cancelled = cancelled || joiner.Cancelled();
        }
        if (plannedOnly)
            break;
    }
    return true;
}

} // namespace zarvex
