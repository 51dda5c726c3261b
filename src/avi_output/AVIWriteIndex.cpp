// The writer's indexes, continuation lists and the completion of a file.
#include "avi_input/FourCC.h"
#include "avi_output/AVIWrite.h"
#include "support/Endian.h"
#include "support/Errors.h"

#include <array>

namespace zarvex {

// Writes the pending entries as an 'ix##' chunk and lists it in the super index; the entries
// stay until the caller lets them go.
void TAVIFileWriter::WriteStdIndex(TStreamSlot& slot) {
    const uint32_t n = slot.StdIndex->Size() / 8;
    const uint64_t q = uint64_t(Pos());
    uint8_t super[16];
    PutU64(super, q);
    PutU32(super + 8, 32 + 8 * n);
    PutU32(super + 12, slot.SampleSize == 0 ? n : slot.PendingBytes / slot.SampleSize);
    if (slot.SuperIndex->Size() / 16 + 1 >= SuperIndexLimit)
        throw EZarvexError("ODML index overflow");

    uint8_t head[32];
    PutU32(head, MakeFourCC('i', 'x', char(slot.ChunkId & 0xFF), char(slot.ChunkId >> 8 & 0xFF)));
    PutU32(head + 4, 24 + 8 * n);
    PutU16(head + 8, 2);
    head[10] = 0;
    head[11] = AVI_INDEX_OF_CHUNKS;
    PutU32(head + 12, n);
    PutU32(head + 16, slot.ChunkId);
    PutU64(head + 20, BaseOffset);
    PutU32(head + 28, 0);
    Out->Put(head, sizeof head);
    Out->Put(slot.StdIndex->Data(), slot.StdIndex->Size());
    slot.SuperIndex->Append(super, 16);
}

void TAVIFileWriter::FlushStdIndex(TStreamSlot& slot) {
    const uint32_t listed = slot.SuperIndex->Size();
    try {
        WriteStdIndex(slot);
        Out->Flush(); // the entries go only once their chunk is surely on disk
    } catch (...) {
        slot.SuperIndex->SetSize(listed);
        throw;
    }
    slot.PendingBytes = 0;
    slot.StdIndex->SetSize(0);
    Checkpoint = Pos();
}

void TAVIFileWriter::FlushAllStdIndexes() {
    if (!WithOpenDML())
        return;
    for (auto& slot : Slots)
        if (slot.ChunkId != 0 && slot.StdIndex->Size() > 0)
            FlushStdIndex(slot);
}

void TAVIFileWriter::WriteLegacyIndex() {
    int64_t room = 2048 - Pos() % 2048;
    if (room < 8)
        room += 2048; // no filler fits in 1 to 7 bytes: aim at the next multiple
    PutJunk(uint32_t(room));
    PutChunkHeader(ckIdx1, LegacyIndex.Size());
    Out->Put(LegacyIndex.Data(), LegacyIndex.Size());
}

void TAVIFileWriter::StartContinuation() {
    FlushAllStdIndexes();
    PatchSize(MoviPos);
    if (FirstRiff && WithIdx1())
        WriteLegacyIndex();
    PatchSize(RiffPos);
    const uint64_t riff = uint64_t(Pos());
    PutListHeader(ckRIFF, 0, formAVIX);
    const uint64_t movi = uint64_t(Pos());
    PutListHeader(ckLIST, 0, listMovi);
    // Nothing changes until the list is on disk: a full disk before that completes the list
    // being left as if it were the last.
    Out->Flush();
    BaseOffset = RiffPos = riff;
    MoviPos = movi;
    LegacyIndex.Clear();
    if (MainVideoSlot >= 0 && FirstRiff)
        MainHeader.dwTotalFrames = Slots[size_t(MainVideoSlot)].ChunkCount;
    FirstRiff = false;
    Checkpoint = Pos();
}

void TAVIFileWriter::FinishStreamHeaders(TStreamSlot& slot) {
    uint8_t raw[AVIStreamHeader::ByteSize];
    Out->ReadBack(int64_t(slot.HeaderPos), raw, sizeof raw);
    AVIStreamHeader h = AVIStreamHeader::Read(raw);
    h.dwLength =
        slot.SampleSize != 0 ? uint32_t(slot.TotalBytes / slot.SampleSize) : slot.ChunkCount;
    h.dwSuggestedBufferSize = slot.LargestChunk + 1024;
    h.Write(raw);
    Out->Patch(int64_t(slot.HeaderPos), raw, sizeof raw);
    if (!WithOpenDML())
        return;
    const uint32_t n = slot.SuperIndex->Size() / 16;
    uint8_t head[32] = {};
    PutU32(head, ckIndx);
    PutU32(head + 4, SuperIndexPayload);
    PutU16(head + 8, 4);
    head[11] = AVI_INDEX_OF_INDEXES;
    PutU32(head + 12, n);
    PutU32(head + 16, slot.ChunkId);
    Out->Patch(int64_t(slot.SuperIndexPos), head, sizeof head);
    Out->Patch(int64_t(slot.SuperIndexPos) + 32, slot.SuperIndex->Data(), n * 16);
}

void TAVIFileWriter::FinishFile() {
    if (HeadersOpen)
        CloseHeaders(); // a file without chunks still gets its 'movi' and indexes
    // A full disk may have this tried again on fewer chunks: the indexes stay as they were.
    std::array<uint32_t, 100> listed{};
    for (size_t i = 0; i < Slots.size(); ++i)
        if (Slots[i].SuperIndex)
            listed[i] = Slots[i].SuperIndex->Size();
    try {
        WriteIndexesAndHeaders();
    } catch (...) {
        for (size_t i = 0; i < Slots.size(); ++i)
            if (Slots[i].SuperIndex)
                Slots[i].SuperIndex->SetSize(listed[i]);
        throw;
    }
}

void TAVIFileWriter::WriteIndexesAndHeaders() {
    if (WithOpenDML())
        for (auto& slot : Slots)
            if (slot.ChunkId != 0 && slot.StdIndex->Size() > 0)
                WriteStdIndex(slot);
    PatchSize(MoviPos);
    if (FirstRiff && WithIdx1())
        WriteLegacyIndex();
    PatchSize(RiffPos);
    if (MainVideoSlot >= 0) {
        const uint32_t frames = Slots[size_t(MainVideoSlot)].ChunkCount;
        if (FirstRiff)
            MainHeader.dwTotalFrames = frames;
        TotalFramesAll = frames;
    }
    uint32_t largest = 0;
    for (const auto& slot : Slots)
        if (slot.ChunkId != 0 && slot.LargestChunk > largest)
            largest = slot.LargestChunk;
    MainHeader.dwSuggestedBufferSize = largest + 1024;

    uint8_t avih[8 + MainAVIHeader::ByteSize];
    PutU32(avih, ckAvih);
    PutU32(avih + 4, MainAVIHeader::ByteSize);
    MainHeader.Write(avih + 8);
    Out->Patch(int64_t(HdrlPos + 12), avih, sizeof avih);
    if (WithOpenDML()) {
        uint8_t dmlh[8 + 248] = {};
        PutU32(dmlh, ckDmlh);
        PutU32(dmlh + 4, 248);
        PutU32(dmlh + 8, TotalFramesAll);
        Out->Patch(int64_t(DmlhPos), dmlh, sizeof dmlh);
    }
    for (auto& slot : Slots)
        if (slot.ChunkId != 0)
            FinishStreamHeaders(slot);
    Out->Flush();
}

void TAVIFileWriter::Release() {
    Out.reset();
    Handle.Close();
    for (auto& slot : Slots)
        slot = TStreamSlot();
    LegacyIndex.Clear();
}

void TAVIFileWriter::Close() {
    if (!Handle.IsOpen())
        return;
    try {
        Guarded([&] {
            Out->EndRun();
            FinishFile();
        });
    } catch (...) {
        // The handle is let go either way, so a second Close cannot append a second index.
        Release();
        throw;
    }
    Release();
}

void TAVIFileWriter::CloseQuietly() noexcept {
    try {
        Close();
    } catch (...) {
        // Close lets the handle go in every case; the caller reports the failure that led here.
    }
}

} // namespace zarvex
