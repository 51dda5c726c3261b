// Decoding of one audio stream into interleaved signed 16-bit samples at a rate and channel count
// of the caller's choice, positioned to the sample.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zarvex::media {

class TAudioDecoder {
public:
    // Opens the file's first audio stream and its decoder, resampling to sampleRate and channels.
    // Raises EMediaError (AVERROR_DECODER_NOT_FOUND when there is no decoder), or EZarvexError
    // "Audio stream is not found" when the file has none.
    TAudioDecoder(const std::string& path, int sampleRate, int channels);
    TAudioDecoder(const TAudioDecoder&) = delete;
    TAudioDecoder& operator=(const TAudioDecoder&) = delete;
    ~TAudioDecoder();

    int SampleRate() const;
    int Channels() const;

    // Positions the output at `time` (100-ns units from the stream start): the next Read starts
    // with the sample frame at that time, decoded from before it; silence fills any gap before the
    // stream's first sample.
    void Seek(int64_t time);

    // Appends up to maxFrames sample frames (each Channels() samples) to out; returns the number
    // appended, 0 at the end of the stream.
    int Read(std::vector<int16_t>& out, int maxFrames);

    // Time of the next sample frame Read would return, 100-ns units.
    int64_t Position() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> Impl;
};

} // namespace zarvex::media
