// Which of a compressor's options its encoder honours, and how they are handed to it.
#pragma once

#include "media/Compressors.h"
#include "media/FFmpegPtr.h"

namespace zarvex::media {

// Which of TCompressorOptions an encoder takes notice of.
struct TOptionFields {
    bool BitRate = false;
    bool Quality = false;
    bool KeyFrameInterval = false;
    bool Any() const { return BitRate || Quality || KeyFrameInterval; }
};

// Judged from FFmpeg's facts about the encoder; raises EZarvexError "Unknown compressor: NAME"
// when FFmpeg has no encoder of that name.
TOptionFields OptionFieldsOf(const TCompressor& compressor);
TOptionFields OptionFieldsOf(const AVCodec& codec);

// Sets the honoured options on a video encoder that is not open yet: the quality 1 (best) .. 31
// becomes a fixed quantiser, or the constant-rate factor of encoders that have one.
void ApplyVideoOptions(AVCodecContext& ctx, const TCompressorOptions& options);

} // namespace zarvex::media
