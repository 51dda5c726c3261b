// 24-bit device-independent bitmaps: the picture as the detector hands it over, and .bmp files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarvex {

inline constexpr int BitmapFileHeaderSize = 14;
inline constexpr int BitmapInfoHeaderSize = 40;

// Bytes of one 24-bit row, padded to a multiple of 4.
inline int64_t BitmapRowStride(int32_t width) {
    return (int64_t(width) * 3 + 3) & ~int64_t(3);
}

// Rows bottom-up, blue-green-red, each padded to a multiple of 4 bytes.
struct TBitmap24 {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Bits;

    void SetSize(int32_t width, int32_t height);
    int64_t Stride() const { return BitmapRowStride(Width); }
    int64_t ImageSize() const { return Stride() * Height; }
};

// The 40-byte BITMAPINFOHEADER of an uncompressed bottom-up 24-bit picture.
void PutBitmapInfoHeader(uint8_t* p, int32_t width, int32_t height);
// True when p holds such a header; gives its width and height.
bool ReadBitmapInfoHeader(const uint8_t* p, int32_t& width, int32_t& height);

// The whole file: BITMAPFILEHEADER, BITMAPINFOHEADER, no colour table, the rows.
std::vector<uint8_t> BitmapFileBytes(const TBitmap24& bitmap);
void SaveBitmapFile(const TBitmap24& bitmap, const std::string& path);

// Creates or replaces path with exactly these bytes, or leaves it as it was; raises EOSError
// naming the file.
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace zarvex
