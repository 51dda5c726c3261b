#include "export/BitmapFile.h"

#include "support/Endian.h"
#include "support/Errors.h"
#include "support/FileSafety.h"

#include <algorithm>
#include <filesystem>
#include <limits>

namespace zarvex {

void TBitmap24::SetSize(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0)
        throw EZarvexError("Invalid bitmap size");
    Width = width;
    Height = height;
    Bits.assign(size_t(ImageSize()), 0);
}

void PutBitmapInfoHeader(uint8_t* p, int32_t width, int32_t height) {
    std::fill(p, p + BitmapInfoHeaderSize, uint8_t(0));
    PutU32(p, BitmapInfoHeaderSize);
    PutU32(p + 4, uint32_t(width));
    PutU32(p + 8, uint32_t(height)); // positive: bottom-up rows
    PutU16(p + 12, 1);               // planes
    PutU16(p + 14, 24);              // bits per pixel
    // compression 0 (BI_RGB) at 16; resolutions and colour counts stay 0
    PutU32(p + 20, uint32_t(BitmapRowStride(width) * height));
}

bool ReadBitmapInfoHeader(const uint8_t* p, int32_t& width, int32_t& height) {
    width = GetI32(p + 4);
    height = GetI32(p + 8);
    return GetU32(p) == BitmapInfoHeaderSize && width > 0 && height > 0 && GetU16(p + 12) == 1 &&
           GetU16(p + 14) == 24 && GetU32(p + 16) == 0;
}

std::vector<uint8_t> BitmapFileBytes(const TBitmap24& bitmap) {
    const int64_t image = bitmap.ImageSize();
    const int64_t offset = BitmapFileHeaderSize + BitmapInfoHeaderSize;
    if (image + offset > std::numeric_limits<uint32_t>::max())
        throw EZarvexError("The picture is too large for a bitmap file");
    std::vector<uint8_t> out(size_t(offset + image));
    uint8_t* p = out.data();
    p[0] = 'B';
    p[1] = 'M';
    PutU32(p + 2, uint32_t(offset + image));
    PutU16(p + 6, 0);
    PutU16(p + 8, 0);
    PutU32(p + 10, uint32_t(offset));
    PutBitmapInfoHeader(p + BitmapFileHeaderSize, bitmap.Width, bitmap.Height);
    std::copy(bitmap.Bits.begin(), bitmap.Bits.begin() + image, p + offset);
    return out;
}

void SaveBitmapFile(const TBitmap24& bitmap, const std::string& path) {
    WriteWholeFile(path, BitmapFileBytes(bitmap));
}

// The picture appears under its name only when whole, so a full disk or a kill never leaves
// half a file there.
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    try {
        ReplaceFileWith(
            path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const EOSError& e) {
        throw EOSError(e.Code, "Cannot write file \"" + path + "\". " + e.Text);
    }
}

} // namespace zarvex
