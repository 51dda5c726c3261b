#include "splitting/CutListEdit.h"

#include <algorithm>

namespace zarvex {

namespace {

// A source's rank: firstSource 0, the others by their first appearance, a new one last.
size_t SourceRank(const std::vector<TCutListEntry>& entries, const std::string& source,
                  const std::string& firstSource) {
    if (source == firstSource)
        return 0;
    std::vector<std::string> seen;
    for (const TCutListEntry& e : entries)
        if (e.Source != firstSource && std::find(seen.begin(), seen.end(), e.Source) == seen.end())
            seen.push_back(e.Source);
    return size_t(std::find(seen.begin(), seen.end(), source) - seen.begin()) + 1;
}

} // namespace

size_t TimeOrderPosition(const std::vector<TCutListEntry>& entries, const TCutListEntry& entry,
                         const std::string& firstSource) {
    const size_t rank = SourceRank(entries, entry.Source, firstSource);
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t r = SourceRank(entries, entries[i].Source, firstSource);
        if (r > rank || (r == rank && entries[i].Frames.First > entry.Frames.First))
            return i;
    }
    return entries.size();
}

std::vector<TCutListEntry> SortedByTime(const std::vector<TCutListEntry>& entries,
                                        const std::string& firstSource) {
    std::vector<TCutListEntry> sorted;
    for (const TCutListEntry& e : entries)
        sorted.insert(sorted.begin() + std::ptrdiff_t(TimeOrderPosition(sorted, e, firstSource)),
                      e);
    return sorted;
}

std::vector<bool> OverlappingEntries(const std::vector<TCutListEntry>& entries) {
    std::vector<bool> overlapping(entries.size(), false);
    for (size_t i = 0; i < entries.size(); ++i)
        for (size_t j = i + 1; j < entries.size(); ++j) {
            const TKeepRange &a = entries[i].Frames, &b = entries[j].Frames;
            if (entries[i].Source == entries[j].Source && a.First <= b.Last && b.First <= a.Last)
                overlapping[i] = overlapping[j] = true;
        }
    return overlapping;
}

std::vector<TKeepRange> Complement(std::vector<TKeepRange> cut, int32_t frameCount) {
    std::sort(cut.begin(), cut.end(),
              [](const TKeepRange& a, const TKeepRange& b) { return a.First < b.First; });
    std::vector<TKeepRange> kept;
    int32_t next = 0; // the first frame not yet cut or kept
    for (const TKeepRange& r : cut) {
        if (r.First > next)
            kept.push_back({next, std::min(r.First, frameCount) - 1});
        next = std::max(next, r.Last + 1);
        if (next >= frameCount)
            break;
    }
    if (next < frameCount)
        kept.push_back({next, frameCount - 1});
    std::erase_if(kept, [](const TKeepRange& r) { return r.Last < r.First; });
    return kept;
}

} // namespace zarvex
