#include "splitting/AudioFrames.h"

namespace zarvex {

namespace {

// Bit rates in kbit/s by [MPEG-1 or not][layer 1..3][index 1..14].
const uint16_t MpegBitRates[2][3][14] = {
    {{32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};

const uint32_t MpegSampleRates[3] = {44100, 48000, 32000};

const uint16_t Ac3BitRates[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                  192, 224, 256, 320, 384, 448, 512, 576, 640};

using TFrameLength = uint32_t (*)(const uint8_t*, size_t);

} // namespace

uint32_t MpegAudioFrameLength(const uint8_t* p, size_t available) {
    if (available < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return 0;
    const int version = (p[1] >> 3) & 3;   // 0: 2.5, 1: reserved, 2: 2, 3: 1
    const int layerBits = (p[1] >> 1) & 3; // 1: III, 2: II, 3: I
    const int rateIndex = p[2] >> 4;
    const int srIndex = (p[2] >> 2) & 3;
    if (version == 1 || layerBits == 0 || rateIndex == 0 || rateIndex == 15 || srIndex == 3)
        return 0;
    const int layer = 4 - layerBits;
    const bool mpeg1 = version == 3;
    const uint32_t bitRate = MpegBitRates[mpeg1 ? 0 : 1][layer - 1][rateIndex - 1] * 1000u;
    const uint32_t sampleRate = MpegSampleRates[srIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const uint32_t padding = (p[2] >> 1) & 1;
    if (layer == 1)
        return (12 * bitRate / sampleRate + padding) * 4;
    if (layer == 3 && !mpeg1)
        return 72 * bitRate / sampleRate + padding;
    return 144 * bitRate / sampleRate + padding;
}

uint32_t Ac3FrameLength(const uint8_t* p, size_t available) {
    if (available < 6 || p[0] != 0x0B || p[1] != 0x77)
        return 0;
    const int bsid = p[5] >> 3;
    if (bsid > 10 && bsid <= 16) // E-AC-3 carries its own frame size in words
        return ((uint32_t(p[2] & 0x07) << 8 | p[3]) + 1) * 2;
    if (bsid > 16)
        return 0;
    const int fscod = p[4] >> 6;
    const int frmsizecod = p[4] & 0x3F;
    if (fscod == 3 || frmsizecod >= 38)
        return 0;
    const uint32_t kbps = Ac3BitRates[frmsizecod / 2];
    switch (fscod) {
    case 0:
        return kbps * 4; // 48 kHz
    case 1:
        return 2 * (kbps * 1000 * 1536 / 44100 / 16 + (frmsizecod & 1)); // 44.1 kHz
    default:
        return kbps * 6; // 32 kHz
    }
}

std::vector<uint32_t> FrameBoundaries(const uint8_t* data, uint32_t size, TAudioFraming framing) {
    const TFrameLength length =
        framing == TAudioFraming::Mpeg ? MpegAudioFrameLength : Ac3FrameLength;
    std::vector<uint32_t> starts;
    for (uint32_t first = 0; first < size; ++first) {
        const uint32_t n = length(data + first, size - first);
        if (n == 0)
            continue;
        // A sync pattern inside frame data is confirmed only by a header where it says the next
        // frame starts, unless the frame runs to or past the end of the chunk.
        if (uint64_t(first) + n < size && length(data + first + n, size - first - n) == 0)
            continue;
        uint64_t at = first;
        while (at < size) {
            const uint32_t len = length(data + at, size - at);
            if (len == 0)
                break;
            starts.push_back(uint32_t(at));
            at += len;
        }
        if (at <= size)
            starts.push_back(uint32_t(at));
        break;
    }
    return starts;
}

} // namespace zarvex
