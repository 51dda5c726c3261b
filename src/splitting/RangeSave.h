// Saving a list of ranges: into one file, or one file each; by key-frame copy or frame-exact,
// the frame-exact cuts coming from the media layer.
#pragma once

#include "splitting/Joiner.h"
#include "splitting/VideoPlan.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zarvex {

class TZarvex;

enum class TCutMode { KeyFrame, Exact };

struct TRangeSave {
    std::vector<TJoinPiece> Pieces; // Plan is filled here for Exact
    std::string Output;             // with Separate: the name the numbered files are made from
    TCutMode Mode = TCutMode::KeyFrame;
    bool Separate = false; // one file per piece, RangeFileName(Output, i, n)
    std::function<void(bool& cancel, double percent)> OnProgress;
    // Asked about every existing output before anything is written; true means overwrite.
    std::function<bool(const std::string& question)> OnConfirmOverwrite;
    // Needed for Exact: a piece's frame-exact video, or nullopt and a note when it must be a
    // key-frame copy, hearing of its progress (0 to 1; false cancels it, and the plan ends
    // where it got); and the single exact cut, which checks its own result and returns a note.
    using TPlanProgress = std::function<bool(double share)>;
    std::function<std::optional<TVideoPlan>(const TJoinPiece& piece, std::string& note,
                                            const TPlanProgress& progress)>
        PlanExact;
    std::function<std::string(TZarvex& copier, int32_t first, int32_t last)> CutExact;
};

// Writes the ranges. False, with nothing written, when an overwrite question was not answered
// Yes. messages gets one line for every range that could not be cut exactly. Raises like the
// copier; every output written is completed.
bool SaveRanges(const TRangeSave& save, std::vector<std::string>& messages, bool& cancelled);

} // namespace zarvex
