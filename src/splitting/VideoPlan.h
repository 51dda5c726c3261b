// The video of a frame-exact copy: re-encoded chunks around a run of source chunks copied
// unchanged. The media layer makes the plan; the copier writes it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace zarvex {

struct TRecodedChunk {
    std::vector<uint8_t> Data;
    bool Key = false;
};

struct TVideoPlan {
    std::vector<TRecodedChunk> Head; // the selection's first pictures, re-encoded
    // The copied run: the key frame CopyKey (with JoinHeader in front of its data), then the
    // source chunks CopyFrom..CopyTo. CopyKey -1: nothing is copied. Chunks between CopyKey and
    // CopyFrom hold pictures shown before the key frame's, which the head carries instead.
    int64_t CopyKey = -1;
    std::vector<uint8_t> JoinHeader;
    // Of CopyKey's chunk only the first KeyBytes are copied, when not -1: a packed bitstream's
    // B-picture after the key frame's own belongs to a slot that the head carries.
    int64_t KeyBytes = -1;
    // When not empty, CopyKey's bytes instead of the source's: a later piece's restart.
    std::vector<uint8_t> KeyData;
    int64_t CopyFrom = 0;
    int64_t CopyTo = -1;
    // Source chunks CopyFrom..EmptyTo are written as empty chunks: an open group's leading
    // pictures, which refer to the group before the copy.
    int64_t EmptyTo = -1;
    // Copied source chunks written with these bytes instead: slices whose reference marking
    // named pictures from before the copy.
    std::map<int64_t, std::vector<uint8_t>> Repaired;
    // H.264: the copied chunks (KeyData aside) have their frame_num lowered by this, up to the
    // next IDR picture, so that they count on from the IDR picture before them.
    uint32_t FrameNumDrop = 0;
    std::vector<TRecodedChunk> Tail; // the last pictures, when the copy cannot end on them

    int64_t CopiedCount() const {
        return CopyKey < 0 ? 0 : 1 + std::max<int64_t>(CopyTo - CopyFrom + 1, 0);
    }
    int64_t Count() const { return int64_t(Head.size()) + CopiedCount() + int64_t(Tail.size()); }
    // The source entry that slot i copies; -1 for a re-encoded slot.
    int64_t SourceEntry(int64_t i) const {
        const int64_t k = i - int64_t(Head.size());
        if (k < 0 || k >= CopiedCount())
            return -1;
        return k == 0 ? CopyKey : CopyFrom + k - 1;
    }
};

} // namespace zarvex
