// The fixed-size header records of an AVI file, read and written field by field.
#pragma once

#include <cstdint>

namespace zarvex {

inline constexpr uint32_t AVIF_HASINDEX = 0x10;
inline constexpr uint32_t AVIIF_LIST = 0x01;
inline constexpr uint32_t AVIIF_KEYFRAME = 0x10;
inline constexpr uint32_t AVIIF_NOTIME = 0x100;
inline constexpr uint8_t AVI_INDEX_OF_INDEXES = 0;
inline constexpr uint8_t AVI_INDEX_OF_CHUNKS = 1;

struct MainAVIHeader {
    static constexpr int ByteSize = 56;
    uint32_t dwMicroSecPerFrame = 0;
    uint32_t dwMaxBytesPerSec = 0;
    uint32_t dwPaddingGranularity = 0;
    uint32_t dwFlags = 0;
    uint32_t dwTotalFrames = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwStreams = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwWidth = 0;
    uint32_t dwHeight = 0;
    uint32_t dwReserved[4] = {0, 0, 0, 0};

    static MainAVIHeader Read(const uint8_t* p);
    void Write(uint8_t* p) const;
};

struct AVIStreamHeader {
    static constexpr int ByteSize = 56;
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    uint32_t dwFlags = 0;
    uint16_t wPriority = 0;
    uint16_t wLanguage = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwStart = 0;
    uint32_t dwLength = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwQuality = 0;
    uint32_t dwSampleSize = 0;
    int16_t rcLeft = 0;
    int16_t rcTop = 0;
    int16_t rcRight = 0;
    int16_t rcBottom = 0;

    static AVIStreamHeader Read(const uint8_t* p);
    void Write(uint8_t* p) const;
};

} // namespace zarvex
