// What a decoder needs in front of the first copied chunk of a frame-exact cut: the stream's
// own headers, when the re-encoded pictures before it brought headers of their own and the
// source carries its headers only at its start.
#pragma once

#include "splitting/VideoPlan.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zarvex {
class TAVIStream;
}

namespace zarvex::media {

enum class TBitstream { Mpeg4, MsMpeg4, H264, Other };

TBitstream BitstreamOf(const TAVIStream& video);

// The video's codec code as written (the format's compression code, else the stream handler),
// and the same as upper-case text for messages.
uint32_t RawVideoCode(const TAVIStream& video);
std::string VideoCodeText(const TAVIStream& video);

// Whether a copy can start at the key frame `entry` after re-encoded pictures: for H.264 at an
// IDR picture or an open group's I picture (see OpensWithoutIdr), not at an intra refresh's
// recovery point.
bool CopyCanStartAt(const TAVIStream& video, int64_t entry);

// H.264: whether key frame `entry` is not an IDR picture. Such a picture counts its frame
// number and picture order on from the pictures before it, so the re-encoded run before it
// closes as PicturesAfterIdr and CloseBefore say.
bool OpensWithoutIdr(const TAVIStream& video, int64_t entry);

// H.264: how many pictures the re-encoded run before key frame `key` (not an IDR picture) ends
// with from an IDR picture on: at most the key frame's frame number, so that the frame numbers
// go on without a gap, which decoders would fill with stand-in frames that do not sort as the
// source's frames do, and at most as many as the run holds back (TMatchedEncoder::MostHeld).
// -1 when the key frame cannot be read.
int PicturesAfterIdr(const TAVIStream& video, int64_t key);

// Numbers the picture order of those last pictures of the run so that the key frame's, counted
// on from them, comes right after; `held` is how many frames of the run the decoder holds at
// the key frame, `drop` how much lower the copied pictures' frame numbers must be, for a run
// shorter than the key frame's frame number (see TVideoPlan::FrameNumDrop). False when the run
// does not end so or cannot be numbered.
bool CloseBefore(const TAVIStream& video, int64_t key, std::vector<TRecodedChunk>& run,
                 uint32_t& held, uint32_t& drop);

// A key frame at or before `entry`, `back` key frames further back still, from which a decode
// shows the pictures that a decode from the file's start shows: for H.264 an IDR picture or an
// open group's I picture, not an intra refresh's recovery point, after which the decoder drops
// or damages pictures for a while. 0 when there is none.
int64_t CleanStart(const TAVIStream& video, int64_t entry, int back = 0);

// The headers to write in front of chunk `entry`; empty when it carries them itself.
std::vector<uint8_t> JoinHeaderFor(const TAVIStream& video, int64_t entry);

// MPEG-4 Part 2 in a packed bitstream: where the B-VOP after the key frame's own I-VOP in chunk
// `entry` starts (a picture shown before the key frame's), -1 when there is none.
int64_t PackedBStart(const TAVIStream& video, int64_t entry);

// MPEG-4 Part 2: puts the user data of the source's headers after the VOL of a re-encoded
// run's first chunk. Decoders choose how to decode (which IDCT, which encoder bugs
// to undo) by the user data they see first, and must choose for the copied pictures as they do
// in the source.
void AddSourceUserData(const TAVIStream& video, std::vector<uint8_t>& chunk);

// MPEG-4 Part 2: when the source's VOL enables GMC, declares the same GMC settings in the VOL
// of a re-encoded run's first chunk (whose pictures use none). FFmpeg's frame threads take the
// sprite accuracy only from a VOL they read themselves, the codec data's first of all, and
// would decode the copied GMC pictures with the re-encoded run's otherwise.
void MatchSourceSprites(const TAVIStream& video, std::vector<uint8_t>& chunk);

// Empty when the H.264 of the stream has start codes (the only kind re-encoded runs can join);
// else why not.
std::string H264Refusal(const TAVIStream& video);

} // namespace zarvex::media
