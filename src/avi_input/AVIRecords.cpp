#include "avi_input/AVIRecords.h"

#include "support/Endian.h"

namespace zarvex {

MainAVIHeader MainAVIHeader::Read(const uint8_t* p) {
    MainAVIHeader h;
    uint32_t* fields[] = {&h.dwMicroSecPerFrame,
                          &h.dwMaxBytesPerSec,
                          &h.dwPaddingGranularity,
                          &h.dwFlags,
                          &h.dwTotalFrames,
                          &h.dwInitialFrames,
                          &h.dwStreams,
                          &h.dwSuggestedBufferSize,
                          &h.dwWidth,
                          &h.dwHeight,
                          &h.dwReserved[0],
                          &h.dwReserved[1],
                          &h.dwReserved[2],
                          &h.dwReserved[3]};
    for (auto* f : fields) {
        *f = GetU32(p);
        p += 4;
    }
    return h;
}

void MainAVIHeader::Write(uint8_t* p) const {
    const uint32_t fields[] = {
        dwMicroSecPerFrame, dwMaxBytesPerSec, dwPaddingGranularity,  dwFlags,      dwTotalFrames,
        dwInitialFrames,    dwStreams,        dwSuggestedBufferSize, dwWidth,      dwHeight,
        dwReserved[0],      dwReserved[1],    dwReserved[2],         dwReserved[3]};
    for (uint32_t f : fields) {
        PutU32(p, f);
        p += 4;
    }
}

AVIStreamHeader AVIStreamHeader::Read(const uint8_t* p) {
    AVIStreamHeader h;
    h.fccType = GetU32(p + 0);
    h.fccHandler = GetU32(p + 4);
    h.dwFlags = GetU32(p + 8);
    h.wPriority = GetU16(p + 12);
    h.wLanguage = GetU16(p + 14);
    h.dwInitialFrames = GetU32(p + 16);
    h.dwScale = GetU32(p + 20);
    h.dwRate = GetU32(p + 24);
    h.dwStart = GetU32(p + 28);
    h.dwLength = GetU32(p + 32);
    h.dwSuggestedBufferSize = GetU32(p + 36);
    h.dwQuality = GetU32(p + 40);
    h.dwSampleSize = GetU32(p + 44);
    h.rcLeft = GetI16(p + 48);
    h.rcTop = GetI16(p + 50);
    h.rcRight = GetI16(p + 52);
    h.rcBottom = GetI16(p + 54);
    return h;
}

void AVIStreamHeader::Write(uint8_t* p) const {
    PutU32(p + 0, fccType);
    PutU32(p + 4, fccHandler);
    PutU32(p + 8, dwFlags);
    PutU16(p + 12, wPriority);
    PutU16(p + 14, wLanguage);
    PutU32(p + 16, dwInitialFrames);
    PutU32(p + 20, dwScale);
    PutU32(p + 24, dwRate);
    PutU32(p + 28, dwStart);
    PutU32(p + 32, dwLength);
    PutU32(p + 36, dwSuggestedBufferSize);
    PutU32(p + 40, dwQuality);
    PutU32(p + 44, dwSampleSize);
    PutU16(p + 48, uint16_t(rcLeft));
    PutU16(p + 50, uint16_t(rcTop));
    PutU16(p + 52, uint16_t(rcRight));
    PutU16(p + 54, uint16_t(rcBottom));
}

} // namespace zarvex
