// The installed compressors: FFmpeg's encoders that can stand in an AVI file, take the pictures
// and samples the render engine makes, and write what FFmpeg's own AVI reader decodes again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarvex::media {

// What the compressor options dialog sets; zero leaves the encoder's own default.
struct TCompressorOptions {
    int64_t BitRate = 0;      // bits per second (video and audio)
    int Quality = 0;          // video: 1 (best) .. 31, used when BitRate is 0
    int KeyFrameInterval = 0; // video: at most this many frames from one key frame to the next
};

struct TCompressor {
    std::string EncoderName;  // FFmpeg's name, e.g. "mpeg4"
    std::string FriendlyName; // e.g. "MPEG-4 part 2 (mpeg4)"
    bool Audio = false;
    TCompressorOptions Options;
};

// The pictures a video compressor is asked to take: many encoders only open at some sizes or
// frame rates. The default stands for a source not known yet.
struct TPictureFormat {
    int32_t Width = 640;
    int32_t Height = 480;
    double FrameRate = 25;
};

// Video (audio false) or audio compressors in FFmpeg's registry order that open for these
// pictures (audio: the render engine's 44.1 kHz stereo); empty when there are none. Each list is
// built once per run and picture format, since opening every encoder takes a moment.
const std::vector<TCompressor>& InstalledCompressors(bool audio,
                                                     const TPictureFormat& pictures = {});

// The compressor record of an encoder by name, whatever the pictures; raises EZarvexError
// "Unknown compressor: NAME" when it is not one that could be listed.
TCompressor FindCompressor(bool audio, const std::string& encoderName);

// Empty when the compressor opens for these pictures (audio: for the render engine's samples);
// otherwise why it does not, naming it, in the encoder's words and with the media error.
std::string CompressorProblem(const TCompressor& compressor, const TPictureFormat& pictures);

} // namespace zarvex::media
