#include "avi_input/Palette.h"

#include "support/Endian.h"

#include <algorithm>

namespace zarvex {

namespace {
constexpr size_t MinBitmapInfo = 40;

size_t TableStart(const std::vector<uint8_t>& format) {
    return format.size() < MinBitmapInfo ? format.size() : GetU32(format.data());
}
} // namespace

bool IsPaletteChangeId(uint32_t id) {
    return (id >> 16) == uint32_t('p' | 'c' << 8);
}

uint32_t PaletteEntries(const std::vector<uint8_t>& format) {
    const size_t start = TableStart(format);
    if (format.size() < MinBitmapInfo || start < MinBitmapInfo || start > format.size())
        return 0;
    const uint16_t bits = GetU16(format.data() + 14);
    uint32_t n = GetU32(format.data() + 32);
    if (n == 0)
        n = bits >= 1 && bits <= 8 ? 1u << bits : 0;
    return uint32_t(std::min<size_t>({n, 256, (format.size() - start) / 4}));
}

void ApplyPaletteChange(std::vector<uint8_t>& format, const uint8_t* payload, uint32_t size) {
    if (size < 4 || size > MaxPaletteChange)
        return;
    const uint32_t first = payload[0];
    const uint32_t count = payload[1] == 0 ? 256 : payload[1];
    if (first + count > 256)
        return;
    const uint32_t entries = PaletteEntries(format);
    uint8_t* table = format.data() + TableStart(format);
    const uint32_t given = std::min(count, (size - 4) / 4);
    for (uint32_t k = 0; k < given && first + k < entries; ++k) {
        const uint8_t* c = payload + 4 + 4 * k; // red, green, blue, flags
        uint8_t* q = table + 4 * (first + k);   // blue, green, red, reserved
        q[0] = c[2];
        q[1] = c[1];
        q[2] = c[0];
        q[3] = 0;
    }
}

std::vector<uint8_t> WholePaletteChange(const std::vector<uint8_t>& format) {
    const uint32_t entries = PaletteEntries(format);
    if (entries == 0)
        return {};
    std::vector<uint8_t> change = {0, uint8_t(entries == 256 ? 0 : entries), 0, 0};
    const uint8_t* table = format.data() + TableStart(format);
    for (uint32_t k = 0; k < entries; ++k) {
        const uint8_t* q = table + 4 * k;
        change.insert(change.end(), {q[2], q[1], q[0], 0});
    }
    return change;
}

} // namespace zarvex
