#include "splitting/Joiner.h"

#include "avi_input/AVIRead.h"
#include "splitting/ZarvexCls.h"
#include "support/Errors.h"

namespace zarvex {

void TJoiner::Write(const std::vector<TJoinPiece>& pieces, const std::string& output) {
    if (pieces.empty())
        throw EZarvexError("The list holds no segments");
    // Placeholder until the joining copier lands: the first piece alone.
    TZarvex copier(*pieces.front().Source);
    copier.FileName = output;
    copier.CopySegment(pieces.front().Range.First, pieces.front().Range.Last);
    Cancel = copier.Cancelled();
}

} // namespace zarvex
