#include "avi_input/FileBufs.h"

#include "support/Errors.h"

#include <cstring>

namespace zarvex {

TFileReadBuffer::TFileReadBuffer(const TOSFile& handle, uint32_t bufferSize)
    : Handle(handle), BufferSize(bufferSize) {
    try {
        FFileSize = Handle.Size();
    } catch (const EOSError&) {
        throw EZarvexError("Unable to receive file size");
    }
    Buffer.resize(BufferSize);
}

uint32_t TFileReadBuffer::Read(void* destination, uint32_t count, int64_t position) {
    if (count == 0 || position < 0 || position >= FFileSize)
        return 0;
    if (count > BufferSize / 2) {
        try {
            return static_cast<uint32_t>(Handle.ReadAt(destination, count, position));
        } catch (const EOSError&) {
            return 0; // the direct path reports a short count and leaves judgement to the caller
        }
    }
    if (FWindowStart < 0 || position < FWindowStart || position + count > FWindowStart + BufferSize)
        Fill(position);
    if (position + count > FFileSize)
        count = static_cast<uint32_t>(FFileSize - position);
    std::memcpy(destination, Buffer.data() + (position - FWindowStart), count);
    return count;
}

void TFileReadBuffer::Fill(int64_t position) {
    FWindowStart = position & ~int64_t(4095);
    int64_t n = BufferSize;
    if (FWindowStart + n > FFileSize)
        n = FFileSize - FWindowStart;
    int64_t got = -1;
    try {
        got = Handle.ReadAt(Buffer.data(), n, FWindowStart);
    } catch (const EOSError&) {
    }
    if (got != n) {
        FWindowStart = -1;
        throw EZarvexError("Unable to read file");
    }
}

} // namespace zarvex
