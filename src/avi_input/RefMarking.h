// A copy that starts on an H.264 picture that is not an IDR leaves behind the pictures before
// it, yet the slices after it may still carry commands that mark those pictures unused. A
// decoder reports each such command as a failure, so the copy writes those few slices without
// them.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace zarvex {

class TAVIStream;

// The chunks after key frame `key` whose reference marking names a picture from before it,
// each with its bytes without those commands. Empty for an IDR picture, for other codecs and
// for what cannot be parsed. Reads only the few chunks in which such commands can occur.
std::map<int64_t, std::vector<uint8_t>> RefMarkingRepairs(const TAVIStream& video, int64_t key);

} // namespace zarvex
