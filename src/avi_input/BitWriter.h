// Most-significant-bit-first writing into a growing byte buffer.
#pragma once

#include <cstdint>
#include <vector>

namespace zarvex {

class TBitWriter {
public:
    void Bit(uint32_t bit) {
        if (Count % 8 == 0)
            Bytes.push_back(0);
        if (bit & 1)
            Bytes.back() |= uint8_t(0x80 >> (Count % 8));
        ++Count;
    }
    // Up to 32 bits.
    void Write(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i)
            Bit(value >> i & 1);
    }
    // Unsigned Exp-Golomb code.
    void Ue(uint32_t value) {
        const uint64_t code = uint64_t(value) + 1;
        int bits = 0;
        while (code >> (bits + 1))
            ++bits;
        Write(0, bits);
        for (int i = bits; i >= 0; --i)
            Bit(uint32_t(code >> i) & 1);
    }
    bool Aligned() const { return Count % 8 == 0; }
    const std::vector<uint8_t>& Data() const { return Bytes; }

private:
    std::vector<uint8_t> Bytes;
    uint64_t Count = 0;
};

} // namespace zarvex
