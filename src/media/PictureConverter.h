// Colour conversion and scaling of decoded pictures into packed pixel buffers.
#pragma once

#include "media/FFmpegPtr.h"
#include "media/StretchGeometry.h"

#include <array>
#include <cstdint>
#include <vector>

namespace zarvex::media {

// The swscale flags of every conversion, so that results match ffmpeg's own (-sws_flags bicubic).
inline constexpr int ConverterFlags = SWS_BICUBIC;

// Keeps one swscale context and builds it again only when sizes or formats change.
class TPictureConverter {
public:
    // Writes the frame, scaled to width x height, as packed pixels of `format` into rows of
    // `stride` bytes starting at `pixels`; bottomUp stores the last row first (bitmap order).
    // Width or height 0 keep the frame's own.
    void Convert(const AVFrame& frame, AVPixelFormat format, uint8_t* pixels, int stride,
                 bool bottomUp, int width = 0, int height = 0);

    // Scales the `from` part of frame into the `to` part of dst, a frame with buffers of any
    // format (negative strides allowed); the rest of dst is not touched. Offsets of subsampled
    // formats move to the chroma grid.
    void ConvertRect(const AVFrame& frame, const TRect& from, AVFrame& dst, const TRect& to);

private:
    // Source width, height and format; destination width, height and format.
    using TKey = std::array<int, 6>;
    void Prepare(const TKey& key);

    SwsContext* Context = nullptr; // owned by Owner
    TSwsPtr Owner;
    TKey Built{};
    std::vector<uint8_t> Scratch;
};

// Bytes of one packed 24-bit row, padded to a multiple of 4 (the bitmap rule).
inline int BitmapStride(int width) {
    return (width * 3 + 3) & ~3;
}

} // namespace zarvex::media
