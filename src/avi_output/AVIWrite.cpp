#include "avi_output/AVIWrite.h"

#include "avi_input/FourCC.h"
#include "support/Endian.h"
#include "support/Errors.h"

#include <cstdio>

namespace zarvex {

namespace {

// MulDiv: a × b / c rounded to the nearest integer, in 64 bits.
uint32_t MulDiv(uint32_t a, uint32_t b, uint32_t c) {
    if (c == 0)
        return 0;
    return uint32_t((uint64_t(a) * b + c / 2) / c);
}

bool IsVideoType(uint32_t fccType) {
    return fccType == streamVids || fccType == streamIavs;
}

} // namespace

TAVIFileWriter::TAVIFileWriter() = default;

TAVIFileWriter::~TAVIFileWriter() {
    CloseQuietly();
}

void TAVIFileWriter::PutChunkHeader(uint32_t id, uint32_t size) {
    uint8_t b[8];
    PutU32(b, id);
    PutU32(b + 4, size);
    Out->Put(b, 8);
}

void TAVIFileWriter::PutListHeader(uint32_t id, uint32_t size, uint32_t type) {
    PutChunkHeader(id, size);
    Out->PutU32(type);
}

void TAVIFileWriter::PutJunk(uint32_t totalSize) {
    PutChunkHeader(ckJUNK, totalSize - 8);
    Out->PutZeros(totalSize - 8);
}

void TAVIFileWriter::PatchSize(uint64_t headerPos) {
    uint8_t b[4];
    PutU32(b, uint32_t(uint64_t(Pos()) - headerPos - 8));
    Out->Patch(int64_t(headerPos + 4), b, 4);
}

void TAVIFileWriter::Open(const std::string& fileName, uint32_t aviFlags) {
    Close();
    Handle = TOSFile::Create(fileName);
    FileName = fileName;
    Checkpoint = 0;
    Out = std::make_unique<TGatherWriter>(Handle);
    Out->OnPiece = [this] { return !OnCopyPiece || OnCopyPiece(); };
    RiffPos = 0;
    PutListHeader(ckRIFF, 0, formAVI);
    HdrlPos = uint64_t(Pos());
    PutListHeader(ckLIST, 0, listHdrl);
    MainHeader = MainAVIHeader();
    MainHeader.dwFlags = aviFlags;
    uint8_t raw[MainAVIHeader::ByteSize];
    MainHeader.Write(raw);
    PutChunkHeader(ckAvih, MainAVIHeader::ByteSize);
    Out->Put(raw, sizeof raw);

    for (auto& slot : Slots)
        slot = TStreamSlot();
    TotalFramesAll = 0;
    MoviPos = DmlhPos = 0;
    HeadersOpen = true;
    MainVideoSlot = -1;
    FirstRiff = true;
    BaseOffset = 0;
    LegacyIndex.Clear();
    Run = TCopyRun();
}

void TAVIFileWriter::AddStream(int32_t streamId, const AVIStreamHeader& header,
                               const uint8_t* format, int32_t formatSize) {
    if (streamId < 0 || streamId > 99)
        throw EZarvexError("Abnormal stream id (must be 0..99)");
    TStreamSlot& slot = Slots[size_t(streamId)];
    if (slot.ChunkId != 0)
        throw EZarvexError("Not unique stream id");
    if (!HeadersOpen)
        throw EZarvexError("Headers was already closed");
    if (formatSize < 0)
        throw EZarvexError("Invalid stream format size");

    AVIStreamHeader h = header;
    h.dwLength = 0;
    if (h.fccType == streamVids && formatSize >= 40) {
        h.rcLeft = h.rcTop = 0;
        h.rcRight = int16_t(GetI32(format + 4));
        h.rcBottom = int16_t(GetI32(format + 8));
    }
    const uint64_t strl = uint64_t(Pos());
    PutListHeader(ckLIST, 0, listStrl);
    slot.HeaderPos = uint64_t(Pos()) + 8;
    uint8_t raw[AVIStreamHeader::ByteSize];
    h.Write(raw);
    PutChunkHeader(ckStrh, sizeof raw);
    Out->Put(raw, sizeof raw);
    PutChunkHeader(ckStrf, uint32_t(formatSize));
    Out->Put(format, size_t(formatSize));
    if (formatSize & 1)
        Out->PutZeros(1);
    if (WithOpenDML()) {
        slot.SuperIndexPos = uint64_t(Pos());
        PutChunkHeader(ckIndx, SuperIndexPayload);
        Out->PutZeros(SuperIndexPayload);
    }
    PatchSize(strl);

    char id[8];
    std::snprintf(id, sizeof id, "%02u%s", MainHeader.dwStreams % 100,
                  IsVideoType(h.fccType) ? "dc" : "wb");
    slot.ChunkId = StrToFourCC(id);
    slot.SampleSize = h.dwSampleSize;
    ++MainHeader.dwStreams;
    if (WithOpenDML()) {
        slot.SuperIndex = std::make_unique<TMemoryBuf>();
        slot.StdIndex = std::make_unique<TMemoryBuf>();
    }
    if (MainVideoSlot < 0 && IsVideoType(h.fccType))
        SetMainVideo(streamId, h, format, formatSize);
}

void TAVIFileWriter::SetMainVideo(int32_t streamId, const AVIStreamHeader& header,
                                  const uint8_t* format, int32_t formatSize) {
    MainHeader.dwMicroSecPerFrame = MulDiv(header.dwScale, 1000000, header.dwRate);
    if (header.fccType == streamVids) {
        if (formatSize < 40)
            throw EZarvexError("Invalid video format");
        MainHeader.dwWidth = GetU32(format + 4);
        MainHeader.dwHeight = GetU32(format + 8);
    } else {
        MainHeader.dwWidth = uint32_t(int32_t(header.rcRight));
        MainHeader.dwHeight = uint32_t(int32_t(header.rcBottom));
    }
    MainVideoSlot = streamId;
}

void TAVIFileWriter::CloseHeaders() {
    if (WithOpenDML()) {
        const uint64_t odml = uint64_t(Pos());
        PutListHeader(ckLIST, 0, listOdml);
        DmlhPos = uint64_t(Pos());
        PutChunkHeader(ckDmlh, 248);
        Out->PutZeros(248);
        PatchSize(odml);
    }
    PatchSize(HdrlPos);
    // The first data chunk starts at a multiple of 2048, just after the 12-byte 'movi' header.
    const int64_t p = Pos();
    int64_t room = 2048 - p % 2048 - 12;
    if (room > 0 && room < 8)
        room += 2048; // no filler fits in 1 to 7 bytes: aim at the next multiple
    if (room > 0)
        PutJunk(uint32_t(room));
    MoviPos = uint64_t(Pos());
    PutListHeader(ckLIST, 0, listMovi);
    HeadersOpen = false;
    // On disk before any chunk, so that a full disk later still finds them there.
    Out->Flush();
    Checkpoint = Pos();
}

void TAVIFileWriter::WriteChunk(int32_t streamId, const uint8_t* data, bool keyFrame,
                                int32_t size) {
    Guarded([&] {
        Out->EndRun(); // here, before anything of this chunk, a stop can cut the file back
        TStreamSlot& slot = BeginChunk(streamId, size);
        Run.Open = false;
        const uint64_t p = uint64_t(Pos());
        PutChunkHeader(slot.ChunkId, uint32_t(size));
        Out->Put(data, size_t(size));
        if (size & 1)
            Out->PutZeros(1);
        IndexChunk(slot, p, keyFrame, size);
    });
}

void TAVIFileWriter::WritePaletteChange(int32_t streamId, const uint8_t* data, int32_t size) {
    Guarded([&] {
        TStreamSlot& slot = BeginChunk(streamId, size);
        Run.Open = false;
        const uint64_t p = uint64_t(Pos());
        const uint32_t id = (slot.ChunkId & 0xFFFF) | uint32_t('p' | 'c' << 8) << 16;
        PutChunkHeader(id, uint32_t(size));
        Out->Put(data, size_t(size));
        if (size & 1)
            Out->PutZeros(1);
        // Readers of 'idx1' pass over it; a standard index has no id to tell it from a frame.
        if (FirstRiff && WithIdx1()) {
            uint8_t e[16];
            PutU32(e, id);
            PutU32(e + 4, AVIIF_NOTIME);
            PutU32(e + 8, uint32_t(p));
            PutU32(e + 12, uint32_t(size));
            LegacyIndex.Append(e, 16);
        }
    });
}

uint32_t TAVIFileWriter::ChunkId(int32_t streamId) const {
    return streamId < 0 || streamId > 99 ? 0 : Slots[size_t(streamId)].ChunkId;
}

TAVIFileWriter::TStreamSlot& TAVIFileWriter::BeginChunk(int32_t streamId, int32_t size) {
    if (streamId < 0 || streamId > 99)
        throw EZarvexError("Abnormal stream id (must be 0..99)");
    TStreamSlot& slot = Slots[size_t(streamId)];
    if (slot.ChunkId == 0)
        throw EZarvexError("Not initialized stream id");
    if (size < 0)
        throw EZarvexError("Invalid chunk size: " + std::to_string(size));
    if (HeadersOpen)
        CloseHeaders();
    if (WouldOverflowRiff(size))
        StartContinuation();
    return slot;
}

void TAVIFileWriter::IndexChunk(TStreamSlot& slot, uint64_t headerPosition, bool keyFrame,
                                int32_t size) {
    const uint64_t p = headerPosition;
    if (FirstRiff && WithIdx1()) {
        uint8_t e[16];
        PutU32(e, slot.ChunkId);
        PutU32(e + 4, keyFrame ? AVIIF_KEYFRAME : 0);
        PutU32(e + 8, uint32_t(p));
        PutU32(e + 12, uint32_t(size));
        LegacyIndex.Append(e, 16);
    }
    if (WithOpenDML()) {
        uint8_t e[8];
        PutU32(e, uint32_t(p + 8 - BaseOffset));
        PutU32(e + 4, uint32_t(size) | (keyFrame ? 0 : 0x80000000u));
        if (Run.Open)
            Run.StdEntries.emplace_back(int32_t(&slot - Slots.data()), slot.StdIndex->Size());
        slot.StdIndex->Append(e, 8);
        slot.PendingBytes += uint32_t(size);
    }
    // Counted before a flush can fail, so that dropping the chunk again undoes all of it.
    ++slot.ChunkCount;
    slot.TotalBytes += uint32_t(size);
    if (uint32_t(size) > slot.LargestChunk)
        slot.LargestChunk = uint32_t(size);
    if (WithOpenDML() && slot.StdIndex->Size() / 8 >= StdIndexFlushAt)
        FlushStdIndex(slot);
}

bool TAVIFileWriter::WouldOverflowRiff(int32_t size) const {
    const uint64_t need =
        (uint64_t(Pos()) - RiffPos) + LegacyIndex.Size() + 8 + uint64_t(size) + 8 + 16 + 1;
    return need >= RiffLimit;
}

} // namespace zarvex
