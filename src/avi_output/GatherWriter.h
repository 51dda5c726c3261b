// Sequential output that gathers small writes, so that a data chunk costs about one system call.
#pragma once

#include "support/OSFile.h"

#include <cstdint>
#include <vector>

namespace zarvex {

class TGatherWriter {
public:
    // Payloads from this size on go straight from the caller's buffer to the file.
    static constexpr size_t LargeWrite = 8192;
    static constexpr size_t FlushAt = 256 * 1024;

    explicit TGatherWriter(const TOSFile& file) : File(file) {
        Pending.reserve(FlushAt + LargeWrite);
    }

    // The position after everything written so far, pending bytes included.
    int64_t Position() const { return Start + int64_t(Pending.size()); }

    void Put(const void* data, size_t count);
    void PutZeros(size_t count);
    void PutU32(uint32_t value);
    // Overwrites bytes written earlier, in the file or still pending.
    void Patch(int64_t position, const void* data, size_t count);
    // Reads bytes written earlier; a short read raises EOSError.
    void ReadBack(int64_t position, void* destination, size_t count);
    void Flush();

private:
    void PutLarge(const void* data, size_t count);

    const TOSFile& File;
    int64_t Start = 0; // file position of Pending[0]
    std::vector<uint8_t> Pending;
};

} // namespace zarvex
