// Reading chunk payloads in about file order through a mapped window of the source: the bytes go
// from the page cache straight to the writer, one copy instead of two.
#pragma once

#include "support/OSFile.h"

#include <cstdint>
#include <vector>

namespace zarvex {

class TChunkWindow {
public:
    static constexpr int64_t MapBytes = 16 << 20;

    TChunkWindow() = default;
    ~TChunkWindow();
    TChunkWindow(const TChunkWindow&) = delete;
    TChunkWindow& operator=(const TChunkWindow&) = delete;

    // The count bytes at position, valid until the next call; null on a short read. The range
    // must lie within fileSize, the size the file had when it was opened.
    const uint8_t* Get(const TOSFile& file, int64_t fileSize, int64_t position, uint32_t count);

private:
    void Unmap();
    const uint8_t* ReadCopy(const TOSFile& file, int64_t position, uint32_t count);

    uint8_t* Map = nullptr;
    int64_t MapPosition = 0;
    int64_t MapLength = 0;
    std::vector<uint8_t> Copy; // for when mapping is not possible
};

} // namespace zarvex
