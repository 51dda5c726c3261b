// Little-endian field access on byte buffers, independent of the host's byte order.
#pragma once

#include <cstdint>

namespace zarvex {

inline uint16_t GetU16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t GetU64(const uint8_t* p) {
    return GetU32(p) | uint64_t(GetU32(p + 4)) << 32;
}
inline int16_t GetI16(const uint8_t* p) {
    return int16_t(GetU16(p));
}
inline int32_t GetI32(const uint8_t* p) {
    return int32_t(GetU32(p));
}

inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
inline void PutU64(uint8_t* p, uint64_t v) {
    PutU32(p, uint32_t(v));
    PutU32(p + 4, uint32_t(v >> 32));
}

} // namespace zarvex
