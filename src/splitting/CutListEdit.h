// Edits of a cut list that keep it readable: the place of a new range in time order, sorting,
// ranges that overlap, and the ranges left when the listed ones are cut out.
#pragma once

#include "splitting/CutList.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zarvex {

// Where entry goes so that each source's ranges stay in time order; the sources keep their
// order in the list, firstSource (the open file) before all others.
size_t TimeOrderPosition(const std::vector<TCutListEntry>& entries, const TCutListEntry& entry,
                         const std::string& firstSource);
// The entries by source (firstSource first, the others in the order they appear) and by time.
std::vector<TCutListEntry> SortedByTime(const std::vector<TCutListEntry>& entries,
                                        const std::string& firstSource);
// For each entry: whether it shares a frame with another entry of the same source.
std::vector<bool> OverlappingEntries(const std::vector<TCutListEntry>& entries);
// The frames 0..frameCount-1 that none of cut holds, as ranges in order.
std::vector<TKeepRange> Complement(std::vector<TKeepRange> cut, int32_t frameCount);

} // namespace zarvex
