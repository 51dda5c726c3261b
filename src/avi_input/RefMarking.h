// A copy that starts on an H.264 picture that is not an IDR leaves behind the pictures before
// it, yet the slices after it may still carry commands that mark those pictures unused. A
// decoder reports each such command as a failure, so the copy writes those few slices without
// them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace zarvex {

class TAVIStream;

// The chunks after key frame `key` whose reference marking names a frame that a decoder of the
// copy does not hold, each with its bytes without those commands. The copy leaves out chunks
// key+1..leftOutTo; before the key frame the decoder holds `before` frames of its own, those
// numbered right below the key frame's. Empty for an IDR key frame, for other codecs and for
// what cannot be parsed. Reads only the few chunks in which such commands can occur.
std::map<int64_t, std::vector<uint8_t>> RefMarkingRepairs(const TAVIStream& video, int64_t key,
                                                          int64_t leftOutTo, uint32_t before);

// Key frame `key`'s chunk for a copy that follows other pictures, when it is an H.264 I picture
// that is not an IDR: an end of sequence, the parameter sets when the chunk lacks them, and
// the picture made an IDR, so that a decoder holds none of the earlier pictures. An IDR
// picture's frame_num is 0: the chunks after it need theirs lowered by the key frame's (see
// PictureOrderOf and TFrameNumShift). Empty when the chunk needs no change or cannot be
// rewritten.
std::vector<uint8_t> RestartedKey(const TAVIStream& video, int64_t key);

// Lowers frame_num in the H.264 chunks of a copy, one after another in decode order, up to
// the next IDR picture: after a restarted key frame (see RestartedKey), or after re-encoded
// pictures that end on a lower frame_num than the copied key frame's. A decoder would invent
// the missing numbers' frames otherwise.
class TFrameNumShift {
public:
    // Parameter sets from the stream's format, its first picture and key frame `key`.
    TFrameNumShift(const TAVIStream& video, int64_t key, uint32_t drop);
    // Whether the chunk was changed; false for an IDR picture and everything after it, and
    // for what cannot be read.
    bool Apply(std::vector<uint8_t>& chunk);
    bool Finished() const { return Done || Drop == 0; }

private:
    struct TState;
    std::shared_ptr<TState> State;
    uint32_t Drop = 0;
    bool Done = false;
};

// pic_order_cnt_lsb of the first slice of H.264 chunk `entry`, and the range of such values.
struct TPictureOrder {
    uint32_t Lsb = 0;
    uint32_t Range = 0;
    uint32_t FrameNum = 0;
    uint32_t FrameNumRange = 0;
    bool Reference = false;
};
std::optional<TPictureOrder> PictureOrderOf(const TAVIStream& video, int64_t entry);

// The same for a chunk whose parameter sets are those in `sets` (or its own).
std::optional<TPictureOrder> PictureOrderIn(const std::vector<uint8_t>& chunk,
                                            const std::vector<uint8_t>& sets);

// Sets pic_order_cnt_lsb in every slice of an H.264 chunk whose parameter sets are those in
// `sets` (or its own); false, leaving the chunk as it was, when it cannot.
bool SetPocLsb(std::vector<uint8_t>& chunk, const std::vector<uint8_t>& sets, uint32_t lsb);

// The SPS's max_num_ref_frames of an H.264 chunk that carries one; 0 when it carries none.
uint32_t ReferenceFramesOf(const std::vector<uint8_t>& chunk);
// Whether an H.264 chunk's first slice is an IDR picture's.
bool IsIdrChunk(const std::vector<uint8_t>& chunk);

} // namespace zarvex
