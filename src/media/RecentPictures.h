// Pictures decoded lately, so that going back a little (a step, a drag, a second look at a
// frame) needs no decoding from the key frame again.
#pragma once

#include "media/VideoDecoder.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>

namespace zarvex::media {

class TRecentPictures {
public:
    explicit TRecentPictures(size_t budget = 0) : Budget(budget) {}

    bool Enabled() const { return Budget > 0; }
    // Keeps a second reference to the picture. Follows names the frame of the picture handed
    // out just before it, when nothing was left out in between (-1 otherwise).
    void Add(const TVideoPicture& picture, int64_t follows);
    // The picture shown at the frame: its own, or the one before it when the next picture
    // known to follow that one lies past the frame (the slots between repeat it).
    bool Find(int64_t frame, TVideoPicture& picture) const;
    // The picture that came out right after the one numbered frame.
    bool FindNext(int64_t frame, TVideoPicture& picture) const;
    void Clear();

private:
    struct TEntry {
        TVideoPicture Picture;
        int64_t Next = -1; // frame of the picture known to follow, -1 when unknown
        size_t Bytes = 0;
    };
    size_t Budget;
    size_t Used = 0;
    std::map<int64_t, TEntry> Entries;
    std::deque<int64_t> Order; // oldest first
};

} // namespace zarvex::media
