#include "avi_output/GatherWriter.h"

#include "support/Endian.h"
#include "support/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace zarvex {

namespace {
const uint8_t ZeroBlock[64 * 1024] = {};
}

void TGatherWriter::Put(const void* data, size_t count) {
    FinishRun();
    if (count >= LargeWrite) {
        PutLarge(data, count);
        return;
    }
    auto* p = static_cast<const uint8_t*>(data);
    Pending.insert(Pending.end(), p, p + count);
    if (Pending.size() >= FlushAt)
        Flush();
}

void TGatherWriter::PutZeros(size_t count) {
    while (count > 0) {
        size_t n = std::min(count, sizeof ZeroBlock);
        Put(ZeroBlock, n);
        count -= n;
    }
}

void TGatherWriter::PutU32(uint32_t value) {
    uint8_t b[4];
    zarvex::PutU32(b, value);
    Put(b, 4);
}

void TGatherWriter::PutLarge(const void* data, size_t count) {
    int64_t written = 0;
    try {
        File.WriteTwoAt(Pending.data(), int64_t(Pending.size()), data, int64_t(count), Start,
                        &written);
    } catch (...) {
        SolidEnd = Start + written;
        throw;
    }
    Start += int64_t(Pending.size() + count);
    SolidEnd = Start;
    Pending.clear();
}

void TGatherWriter::PutFrom(const TOSFile& source, int64_t position, int64_t count) {
    if (!Continues(source, position) || RunCount >= MaxRun)
        FinishRun(true);
    if (RunCount == 0) {
        Flush();
        RunSource = &source;
        RunPosition = position;
    }
    RunCount += count;
}

void TGatherWriter::PutBeforeRun(const void* data, size_t count) {
    if (RunCount == 0) {
        Put(data, count);
        return;
    }
    WriteSolid(data, int64_t(count));
    Start += int64_t(count);
    SolidEnd = Start;
}

void TGatherWriter::FinishRun(bool mayStop) {
    if (RunCount == 0)
        return;
    const int64_t count = std::exchange(RunCount, 0);
    const int64_t at = Start;
    Start += count; // the layout stands whatever the copy does, so a failed file still closes
    int64_t copied = 0;
    while (copied < count) {
        if (copied > 0 && OnPiece && !OnPiece() && mayStop)
            throw ECopyStopped();
        const int64_t piece = std::min(count - copied, PieceBytes);
        int64_t got = 0;
        try {
            File.CopyFrom(*RunSource, RunPosition + copied, piece, at + copied, &got);
        } catch (...) {
            SolidEnd = at + copied + got;
            throw;
        }
        copied += got;
        SolidEnd = at + copied;
        if (got != piece)
            throw ESourceChanged();
    }
}

void TGatherWriter::Flush() {
    FinishRun();
    if (Pending.empty())
        return;
    WriteSolid(Pending.data(), int64_t(Pending.size()));
    Start += int64_t(Pending.size());
    SolidEnd = Start;
    Pending.clear();
}

void TGatherWriter::WriteSolid(const void* data, int64_t count) {
    int64_t written = 0;
    try {
        File.WriteAt(data, count, Start, &written);
    } catch (...) {
        SolidEnd = Start + written;
        throw;
    }
}

void TGatherWriter::Reset(int64_t position) {
    Pending.clear();
    RunCount = 0;
    RunSource = nullptr;
    Start = SolidEnd = position;
}

void TGatherWriter::Patch(int64_t position, const void* data, size_t count) {
    FinishRun();
    auto* p = static_cast<const uint8_t*>(data);
    const int64_t end = position + int64_t(count);
    if (position < Start) {
        const size_t inFile = size_t(std::min(end, Start) - position);
        File.WriteAt(p, int64_t(inFile), position);
        p += inFile;
        count -= inFile;
        position += int64_t(inFile);
    }
    if (count > 0)
        std::memcpy(Pending.data() + (position - Start), p, count);
}

void TGatherWriter::ReadBack(int64_t position, void* destination, size_t count) {
    Flush();
    if (File.ReadAt(destination, int64_t(count), position) != int64_t(count))
        throw MakeOSError(EIO);
}

} // namespace zarvex
