// An aligned read-ahead window over an open file, for walking many small index records.
#pragma once

#include "support/OSFile.h"

#include <cstdint>
#include <vector>

namespace zarvex {

class TFileReadBuffer {
public:
    // Takes the file size once; raises "Unable to receive file size" when it cannot.
    TFileReadBuffer(const TOSFile& handle, uint32_t bufferSize);

    // Copies up to count bytes at position into destination; returns how many were delivered.
    uint32_t Read(void* destination, uint32_t count, int64_t position);

    int64_t FileSize() const { return FFileSize; }
    int64_t WindowStart() const { return FWindowStart; }

private:
    void Fill(int64_t position);

    const TOSFile& Handle;
    std::vector<uint8_t> Buffer;
    int64_t FWindowStart = -1;
    uint32_t BufferSize;
    int64_t FFileSize = 0;
};

} // namespace zarvex
