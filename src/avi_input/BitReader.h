// Most-significant-bit-first reading of a bounded byte range. Reading past the end gives zero bits
// and sets Overrun, so callers test once at the end instead of before every field.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zarvex {

class TBitReader {
public:
    TBitReader(const uint8_t* data, size_t size) : Data(data), Bits(uint64_t(size) * 8) {}

    uint32_t Bit() {
        if (Pos >= Bits) {
            Over = true;
            return 0;
        }
        const uint32_t bit = Data[Pos >> 3] >> (7 - (Pos & 7)) & 1;
        ++Pos;
        return bit;
    }
    // Up to 32 bits.
    uint32_t Read(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i)
            value = value << 1 | Bit();
        return value;
    }
    void Skip(int count) { Pos += uint64_t(count); }
    // Unsigned Exp-Golomb code.
    uint32_t Ue() {
        int zeros = 0;
        while (Bit() == 0) {
            if (Over || ++zeros > 31) {
                Over = true;
                return 0;
            }
        }
        return (1u << zeros) - 1 + Read(zeros);
    }
    // Signed Exp-Golomb code.
    int32_t Se() {
        const uint32_t code = Ue();
        return code & 1 ? int32_t((code + 1) / 2) : -int32_t(code / 2);
    }
    bool Overrun() const { return Over || Pos > Bits; }
    uint64_t Position() const { return Pos; }

private:
    const uint8_t* Data;
    uint64_t Bits;
    uint64_t Pos = 0;
    bool Over = false;
};

} // namespace zarvex
