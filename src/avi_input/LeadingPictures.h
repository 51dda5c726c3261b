// An open group's key frame is followed in the file by its leading pictures: shown before it,
// they refer to the group before, so a copy that starts at the key frame cannot decode them.
#pragma once

#include <cstdint>

namespace zarvex {

class TAVIStream;

// How many chunks right after key frame `key` hold leading pictures: the B-pictures that follow
// an I-picture that is not an IDR, up to the group's next I- or P-picture. 0 for a closed group
// and for codecs without such groups. Reads only those few chunks.
int64_t LeadingPictures(const TAVIStream& video, int64_t key);

} // namespace zarvex
