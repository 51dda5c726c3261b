// How the index scan decides which video chunks are key frames: the chunks carry no flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace zarvex {

enum class TKeyFrameSource {
    Derived,       // read from each picture's bitstream
    EveryFrame,    // intra-only codec
    FirstFrameOnly // codec not known here: only the first picture can be trusted
};

struct TKeyFrameJudge {
    // Called once per video chunk in file order with the first bytes of its payload.
    std::function<bool(const uint8_t* payload, size_t available, uint32_t size)> IsKey;
    TKeyFrameSource Source = TKeyFrameSource::FirstFrameOnly;
};

// The judge for a video stream with this 'strf' (a BITMAPINFOHEADER and codec data) and handler.
TKeyFrameJudge KeyFrameJudgeFor(const std::vector<uint8_t>& format, uint32_t handler);

} // namespace zarvex
