// AVI stream headers and formats of the render engine's output streams, as readers expect them.
#pragma once

#include "avi_input/AVIRecords.h"
#include "media/FFmpegPtr.h"

#include <cstdint>
#include <vector>

namespace zarvex::media {

struct TAviStreamFormat {
    AVIStreamHeader Header;
    std::vector<uint8_t> Format; // BITMAPINFOHEADER or WAVEFORMATEX and its extra bytes
};

// Bottom-up 24-bit DIB rows of `width` pixels, padded to four bytes as bitmaps are.
int RawRowBytes(int width);

// Uncompressed 24-bit RGB pictures, or the pictures of an opened encoder.
TAviStreamFormat VideoStreamFormat(int width, int height, AVRational rate,
                                   const AVCodecContext* encoder);

// 16-bit PCM, or the packets of an opened audio encoder.
TAviStreamFormat AudioStreamFormat(int rate, int channels, const AVCodecContext* encoder);

// True when the encoder's packets are counted in bytes (PCM-like), false when one chunk holds
// one frame of frame_size samples.
bool ByteCountedAudio(const AVCodecContext& encoder);

} // namespace zarvex::media
