#include "avi_input/MemBuf.h"

#include <cstring>
#include <limits>
#include <new>

namespace zarvex {

void TMemoryBuf::SetSize(uint32_t n) {
    if (n > FCapacity) {
        uint64_t wanted = uint64_t(FCapacity) + FGrowBy;
        if (n > wanted)
            wanted = n;
        if (wanted > std::numeric_limits<uint32_t>::max())
            wanted = std::numeric_limits<uint32_t>::max();
        void* grown = std::realloc(Block.get(), wanted);
        if (grown == nullptr)
            throw std::bad_alloc();
        (void)Block.release();
        Block.reset(static_cast<uint8_t*>(grown));
        FCapacity = static_cast<uint32_t>(wanted);
    }
    FSize = n;
}

void TMemoryBuf::Append(const void* source, uint32_t count) {
    if (count == 0)
        return;
    uint32_t old = FSize;
    // Size is a 32-bit count: refuse to wrap around rather than write past the block.
    if (count > std::numeric_limits<uint32_t>::max() - old)
        throw std::bad_alloc();
    SetSize(old + count);
    std::memcpy(Block.get() + old, source, count);
}

void TMemoryBuf::Clear() {
    Block.reset();
    FCapacity = 0;
    FSize = 0;
}

} // namespace zarvex
