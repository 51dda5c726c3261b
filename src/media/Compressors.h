// The installed compressors: FFmpeg's encoders that can stand in an AVI file and take the
// pictures and samples the render engine makes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarvex::media {

// What the compressor options dialog sets; zero leaves the encoder's own default.
struct TCompressorOptions {
    int64_t BitRate = 0;      // bits per second (video and audio)
    int Quality = 0;          // video: fixed quantiser 1 (best) .. 31, used when BitRate is 0
    int KeyFrameInterval = 0; // video: at most this many frames from one key frame to the next
};

struct TCompressor {
    std::string EncoderName;  // FFmpeg's name, e.g. "mpeg4"
    std::string FriendlyName; // e.g. "MPEG-4 part 2 (mpeg4)"
    bool Audio = false;
    TCompressorOptions Options;
};

// Video (audio false) or audio compressors in FFmpeg's registry order; empty when there are
// none. Built once per run, since trying every encoder takes a moment.
const std::vector<TCompressor>& InstalledCompressors(bool audio);

// The compressor record of an encoder by name; raises EZarvexError "Unknown compressor: NAME"
// when it is not among the installed ones.
TCompressor FindCompressor(bool audio, const std::string& encoderName);

} // namespace zarvex::media
