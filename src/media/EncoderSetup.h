// Opening FFmpeg's encoders with the render engine's input and a compressor's options.
#pragma once

#include "media/Compressors.h"
#include "media/FFmpegPtr.h"

#include <cstdint>
#include <functional>
#include <string>

namespace zarvex::media {

// The encoder's RIFF FourCC (video) or format tag (audio) in FFmpeg's AVI tables; 0 for none.
uint32_t RiffTag(const AVCodec& codec);

// The encoder's first input format swscale can produce, AV_PIX_FMT_NONE when there is none.
AVPixelFormat EncoderPixelFormat(const AVCodec& codec);

class TLogCapture;

// "The NAME compressor WHAT: WORDS. Media Error: ..." for a failure of an encoder.
std::string EncoderFailureText(const AVCodec& codec, const std::string& what,
                               const std::string& words, int code);

// A negative code raises EMediaError with the encoder's name and what the log caught.
void CheckEncoderResult(const AVCodecContext& ctx, int code, const TLogCapture& log);

// Hands every packet the encoder has ready to take, then unreferences it; raises EMediaError
// when the encoder fails.
void ReceivePackets(AVCodecContext& encoder, AVPacket& packet,
                    const std::function<void(const AVPacket&)>& take);

// Opens a video encoder for pictures of width x height at `rate` frames per second, without
// B-frames so that every packet is one frame in display order. Raises EMediaError naming
// the encoder and its reason.
TCodecContextPtr OpenVideoEncoder(const AVCodec& codec, const TCompressorOptions& options,
                                  int width, int height, AVRational rate, int threads = 0);

// Opens an audio encoder for `rate` Hz and `channels` channels; raises EMediaError.
TCodecContextPtr OpenAudioEncoder(const AVCodec& codec, const TCompressorOptions& options, int rate,
                                  int channels);

// The encoder of a compressor record; raises EZarvexError "Unknown compressor: NAME".
const AVCodec& CompressorCodec(const TCompressor& compressor);

} // namespace zarvex::media
