// Completing a file that cannot take all its chunks: on a full disk, past the system's file size
// limit, or when the source shrinks under a copy.
#include "avi_output/AVIWrite.h"

#include "support/Endian.h"

#include <algorithm>
#include <cerrno>

namespace zarvex {

bool IsRoomError(int code) {
    return code == ENOSPC || code == EDQUOT || code == EFBIG;
}

std::string RoomFailure(int code) {
    return code == EFBIG ? "The output reached the largest file the system allows."
                         : "The disk is full.";
}

namespace {

int64_t ChunkEnd(int64_t headerPosition, uint32_t size) {
    return headerPosition + 8 + int64_t(size) + (size & 1);
}

} // namespace

// Forgets the chunks that end past limit; returns where the file ends without them.
int64_t TAVIFileWriter::DropChunksPast(int64_t limit) {
    limit = std::max(limit, Checkpoint);
    int64_t end = Checkpoint;
    if (WithOpenDML()) {
        for (auto& slot : Slots) {
            if (slot.ChunkId == 0)
                continue;
            while (slot.StdIndex->Size() >= 8) {
                const uint8_t* e = slot.StdIndex->Data() + slot.StdIndex->Size() - 8;
                const uint32_t size = GetU32(e + 4) & 0x7FFFFFFFu;
                const int64_t chunkEnd = ChunkEnd(int64_t(BaseOffset) + GetU32(e) - 8, size);
                if (chunkEnd <= limit) {
                    end = std::max(end, chunkEnd);
                    break;
                }
                slot.StdIndex->SetSize(slot.StdIndex->Size() - 8);
                slot.PendingBytes -= size;
                --slot.ChunkCount;
                slot.TotalBytes -= size;
            }
        }
    }
    while (FirstRiff && LegacyIndex.Size() >= 16) {
        const uint8_t* e = LegacyIndex.Data() + LegacyIndex.Size() - 16;
        const uint32_t size = GetU32(e + 12);
        const int64_t chunkEnd = ChunkEnd(GetU32(e + 8), size);
        if (chunkEnd <= limit) {
            end = std::max(end, chunkEnd);
            break;
        }
        LegacyIndex.SetSize(LegacyIndex.Size() - 16);
        if (WithOpenDML())
            continue; // counted above
        for (auto& slot : Slots)
            if (slot.ChunkId != 0 && slot.ChunkId == GetU32(e)) {
                --slot.ChunkCount;
                slot.TotalBytes -= size;
            }
    }
    return end;
}

std::string TAVIFileWriter::HoldsText() const {
    const uint32_t frames = MainVideoSlot >= 0 ? Slots[size_t(MainVideoSlot)].ChunkCount : 0;
    std::string text = FileName + " was completed with " + std::to_string(frames);
    if (ExpectedFrames > 0)
        text += " of " + std::to_string(ExpectedFrames);
    return text + (frames == 1 && ExpectedFrames == 0 ? " frame." : " frames.");
}

// Cuts the file back to its last whole chunk and completes it there; when the indexes do not fit
// in what that frees, more chunks go, twice as many bytes each round.
void TAVIFileWriter::Salvage(const std::string& reason) {
    throw EZarvexError(reason + " " + CutBack(reason));
}

std::string TAVIFileWriter::CutBack(const std::string& reason) {
    Run = TCopyRun();
    if (Checkpoint == 0) { // not even the headers are on disk
        Release();
        throw EZarvexError(reason + " " + FileName + " could not be completed.");
    }
    int64_t limit = Out->Solid();
    int64_t step = 64 * 1024;
    const uint8_t kind = IndexKind; // the caller's, for the next file
    for (;;) {
        const int64_t end = DropChunksPast(limit);
        try {
            Handle.Truncate(end);
            Out->Reset(end);
            FinishFile();
            break;
        } catch (const EOSError& e) {
            if (IsRoomError(e.Code) && end <= Checkpoint && IndexKind == 3) {
                // Tiny chunks before an 'ix##' can need more 'idx1' than the chunks after it
                // free: the OpenDML indexes, which readers prefer, serve alone then.
                IndexKind = 2;
                limit = end;
                continue;
            }
            if (!IsRoomError(e.Code) || end <= Checkpoint) {
                IndexKind = kind;
                Release();
                throw EZarvexError(reason + " " + FileName + " could not be completed.");
            }
        } catch (...) {
            IndexKind = kind;
            Release();
            throw;
        }
        limit = end - step;
        step *= 2;
    }
    const std::string holds = HoldsText();
    IndexKind = kind;
    Release();
    return holds;
}

} // namespace zarvex
