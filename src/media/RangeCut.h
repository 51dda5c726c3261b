// Saving a list of ranges with this layer's frame-exact cuts.
#pragma once

#include "splitting/RangeSave.h"

#include <string>
#include <vector>

namespace zarvex::media {

// Gives save the frame-exact cuts of this layer.
void UseExactCuts(TRangeSave& save);
// zarvex::SaveRanges with them.
bool SaveRanges(TRangeSave save, std::vector<std::string>& messages, bool& cancelled);

} // namespace zarvex::media
