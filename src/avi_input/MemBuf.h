// One contiguous growable block of bytes with a linear growth step.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace zarvex {

class TMemoryBuf {
public:
    TMemoryBuf() = default;
    TMemoryBuf(const TMemoryBuf&) = delete;
    TMemoryBuf& operator=(const TMemoryBuf&) = delete;

    uint8_t* Data() const { return Block.get(); }
    uint32_t Size() const { return FSize; }
    uint32_t Capacity() const { return FCapacity; }
    uint32_t GrowBy() const { return FGrowBy; }
    void SetGrowBy(uint32_t value) { FGrowBy = value; }

    // Makes n bytes available; a smaller n only lowers Size. Raises std::bad_alloc (leaving the
    // buffer as it was) when the block cannot grow.
    void SetSize(uint32_t n);
    void Append(const void* source, uint32_t count);
    void Clear();

private:
    struct FreeDeleter {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    // realloc rather than a vector: large blocks grow in place by remapping, so growth never
    // holds two copies of an index at once.
    std::unique_ptr<uint8_t, FreeDeleter> Block;
    uint32_t FCapacity = 0;
    uint32_t FSize = 0;
    uint32_t FGrowBy = 10240;
};

} // namespace zarvex
