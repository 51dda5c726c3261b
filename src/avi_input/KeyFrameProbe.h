// Tells key frames from the first bytes of a video chunk, for files whose index is lost: chunks
// themselves carry no key flag, so the bitstream has to say it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zarvex {

// Enough of a payload for every rule: headers that come before the first picture (H.264
// parameter sets and encoder SEI, MPEG sequence headers, MPEG-4 VOLs) are well under it.
inline constexpr size_t KeyFrameProbeBytes = 4096;

enum class TKeyFrameRule {
    Intra,   // every non-empty frame stands alone
    Mpeg4,   // MPEG-4 Part 2: the first coded VOP of the chunk is an I-VOP
    MsMpeg4, // MS-MPEG4 v1 to v3 and WMV1: the picture type at the start of the frame
    Wmv2,    // WMV2: one picture type bit at the start of the frame
    H263,    // H.263 and H.263+: the picture type of the picture header
    Ffv1,    // FFV1: the range-coded key frame bit at the start of the frame
    Vp8,     // VP8: the frame type bit of the frame tag
    Vp9,     // VP9: the frame type of the first frame's uncompressed header
    H264,    // H.264: an IDR slice, or a recovery point before an I slice
    Mpeg12,  // MPEG-1/2 video: the first picture of the chunk is an I picture
    Unknown, // nothing to read: only the stream's first frame counts as a key frame
};

// What one stream's chunks leave behind for the next ones. Start one per stream with KeyStateFor
// and pass it to every call for that stream, in file order.
struct TKeyState {
    bool SawFrame = false;       // a non-empty chunk came before
    int TimeIncrementBits = 0;   // from the last MPEG-4 VOL header; 0 while none was seen
    int NalLengthSize = -1;      // H.264: bytes before each NAL unit for its length, 0 for start
                                 // codes, -1 until known
    std::vector<uint8_t> Buffer; // unescaped H.264 bytes, kept to save allocations
};

// The rule for a video stream: its format's compression code first, then the stream header's
// handler when the compression code says nothing we know.
TKeyFrameRule KeyFrameRuleFor(uint32_t biCompression, uint32_t handler);

// The starting state for a stream with this 'strf' (a BITMAPINFOHEADER and the codec data after
// it): H.264 remuxed from MP4 keeps length-prefixed NAL units, which its avcC data announces.
// Without it the state is learnt from the chunks, which is right unless the stream's first chunk
// is ambiguous.
TKeyState KeyStateFor(const uint8_t* format, size_t size);

// Whether the chunk whose payload starts with data[0..size) is a key frame. size may be any
// prefix of the payload (KeyFrameProbeBytes are plenty); nothing beyond it is read. Empty chunks
// are never key frames. For Unknown, the stream's first non-empty chunk is the only key frame.
bool IsKeyFramePayload(TKeyFrameRule rule, const uint8_t* data, size_t size, TKeyState& state);

} // namespace zarvex
