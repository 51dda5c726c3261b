// The palette in effect at each packet of a palettised stream. FFmpeg's AVI reader hands a
// palette (the format's, or one from a palette change chunk) to the packet after it only once,
// while reading on, so after a seek the decoder would keep an empty or a later palette.
#pragma once

#include "media/FFmpegPtr.h"

#include <array>
#include <cstdint>
#include <map>

namespace zarvex::media {

class TPaletteTrack {
public:
    // Reads the whole stream once to learn every palette and where it starts, then puts the
    // reading back at the start. Does nothing for a stream that carries no palettes.
    void Learn(AVFormatContext& format, const AVStream& stream, AVPacket& packet);
    bool Empty() const { return Palettes.empty(); }

    // After a seek, the next packet fed gets the palette in effect at it.
    void Sought() { Pending = true; }
    // Notes or attaches the palette of a packet about to go to the decoder.
    void Prepare(AVPacket& packet);

private:
    using TPalette = std::array<uint8_t, AVPALETTE_SIZE>;
    void Note(const AVPacket& packet);
    std::map<int64_t, TPalette> Palettes; // by the dts of the first packet that uses each
    bool Pending = true;
};

// True for a stream whose pictures are indices into a palette of the file's.
bool IsPalettised(const AVStream& stream);

} // namespace zarvex::media
