#include "avi_input/AVIRead.h"

#include "avi_input/FourCC.h"
#include "support/Endian.h"

#include <array>
#include <cstdio>

namespace zarvex {

namespace {
// A hostile list of millions of empty chunks must not cost gigabytes of records.
constexpr size_t MaxChildrenPerList = size_t(1) << 20;
constexpr uint32_t ReadWindowSize = 8192;
} // namespace

TAVIFileReader::TAVIFileReader() = default;

TAVIFileReader::~TAVIFileReader() {
    Close();
}

TAVIStream& TAVIFileReader::Streams(int i) const {
    if (i < 0 || i >= StreamCount())
        throw EListError("List index out of bounds (" + std::to_string(i) + ")");
    return *FStreams[size_t(i)];
}

void TAVIFileReader::Close() {
    FVideoStream = nullptr;
    FAudioStream = nullptr;
    FStreams.clear();
    Walker.reset();
    Handle.Close();
    FFileName.clear();
}

int64_t TAVIFileReader::GetFileSize() const {
    return Handle.IsOpen() ? Handle.Size() : 0;
}

void TAVIFileReader::ResetCursors() {
    for (auto& s : FStreams)
        s->Cursor = 0;
}

void TAVIFileReader::NextChunk(int& s, int& e) {
    s = -1;
    double best = -1.0;
    for (int i = 0; i < StreamCount(); ++i) {
        double t = FStreams[size_t(i)]->EntryTime(FStreams[size_t(i)]->Cursor);
        if (t >= 0 && (best == -1.0 || t < best)) {
            best = t;
            s = i;
        }
    }
    if (s >= 0)
        e = FStreams[size_t(s)]->Cursor++;
}

uint32_t TAVIFileReader::ReadBytes(void* destination, uint32_t count) {
    uint32_t got = Walker->Read(destination, count, Pos);
    Pos += got;
    return got;
}

void TAVIFileReader::WalkList(uint32_t size) {
    FreeChunks();
    const int64_t end = Position() + int64_t(size) - 4;
    uint8_t head[8];
    while (Position() < end && Chunks.size() < MaxChildrenPerList) {
        // A header cut off by the end of the file (a truncated download) ends the walk.
        if (ReadBytes(head, 8) != 8)
            break;
        TChunkInfo info;
        info.Id = GetU32(head);
        info.Size = GetU32(head + 4);
        const int64_t pad = info.Size & 1;
        if (info.Id == ckLIST) {
            uint8_t type[4];
            if (ReadBytes(type, 4) != 4)
                break;
            info.ListType = GetU32(type);
            info.DataPos = Position();
            Seek(info.DataPos - 4 + int64_t(info.Size) + pad);
        } else {
            info.DataPos = Position();
            Seek(info.DataPos + int64_t(info.Size) + pad);
        }
        Chunks.push_back(info);
    }
}

const TChunkInfo* TAVIFileReader::FindChunk(uint32_t id, uint32_t listType) const {
    for (const auto& c : Chunks)
        if (c.Id == id && c.ListType == listType)
            return &c;
    return nullptr;
}

void TAVIFileReader::Open(const std::string& fileName) {
    FHasOpenDMLIndex = false;
    Close();
    Handle = TOSFile::OpenRead(fileName);
    FFileName = fileName;
    Walker = std::make_unique<TFileReadBuffer>(Handle, ReadWindowSize);
    FFileSize = Walker->FileSize();
    TotalEntries = 0;

    uint8_t riff[12];
    Seek(0);
    if (ReadBytes(riff, 12) != 12 || GetU32(riff) != ckRIFF || GetU32(riff + 8) != formAVI)
        throw EAVIReadError("The file has unknown format");
    WalkList(GetU32(riff + 4));

    const TChunkInfo* hdrl = FindChunk(ckLIST, listHdrl);
    if (!hdrl)
        throw EAVIReadError("The header is not found");
    HdrlPos = hdrl->DataPos;
    HdrlSize = hdrl->Size;
    const TChunkInfo* movi = FindChunk(ckLIST, listMovi);
    if (!movi)
        throw EAVIReadError("The data is not found");
    MoviPos = movi->DataPos;
    MoviSize = movi->Size;
    if (const TChunkInfo* idx1 = FindChunk(ckIdx1, 0)) {
        Idx1Pos = idx1->DataPos;
        Idx1Size = idx1->Size;
    } else {
        Idx1Pos = -1;
        Idx1Size = 0;
    }

    ParseFileHeaders();
    FreeChunks();

    if (FHasOpenDMLIndex) {
        for (auto& s : FStreams)
            s->LoadOpenDMLIndex();
    } else {
        LoadIdx1();
    }
}

void TAVIFileReader::ParseFileHeaders() {
    Seek(HdrlPos);
    WalkList(HdrlSize);
    const TChunkInfo* avih = FindChunk(ckAvih, 0);
    if (!avih)
        throw EAVIReadError("The main header is not found");
    std::array<uint8_t, MainAVIHeader::ByteSize> raw{};
    Seek(avih->DataPos);
    ReadBytes(raw.data(), uint32_t(raw.size()));
    FMainHeader = MainAVIHeader::Read(raw.data());

    for (const auto& c : Chunks) {
        if (c.ListType != listStrl)
            continue;
        FStreams.push_back(std::make_unique<TAVIStream>(*this));
        FStreams.back()->SetStrl(c.DataPos, c.Size);
    }
    for (size_t i = 0; i < FStreams.size(); ++i) {
        TAVIStream& s = *FStreams[i];
        char digits[24];
        std::snprintf(digits, sizeof digits, "%02zX", i);
        s.StreamNumber = uint16_t(uint8_t(digits[0]) | uint8_t(digits[1]) << 8);
        s.ParseHeaders();
        const uint32_t type = s.Header.fccType;
        if ((type == streamVids || type == streamIavs) && !FVideoStream)
            FVideoStream = &s;
        if (type == streamAuds && !FAudioStream)
            FAudioStream = &s;
    }
}

void TAVIFileReader::CountEntries(uint64_t added) {
    // Every real entry takes at least 8 bytes of index in the file; more is a looping index.
    TotalEntries += added;
    if (TotalEntries > uint64_t(FFileSize) / 8)
        throw EAVIReadError("The index describes more chunks than the file can hold");
}

int64_t TAVIFileReader::Idx1Base() {
    int64_t base = MoviPos + 4;
    uint8_t first[16];
    TFileReadBuffer probe(Handle, ReadWindowSize);
    if (probe.Read(first, 16, Idx1Pos) == 16) {
        uint8_t head[8];
        int64_t at = MoviPos - 4 + int64_t(GetU32(first + 8));
        if (probe.Read(head, 8, at) == 8 && GetU32(head) != GetU32(first))
            base = 8;
    }
    return base;
}

void TAVIFileReader::LoadIdx1() {
    if (Idx1Pos < 0)
        throw EAVIReadError("The index is not found");
    TFileReadBuffer buffer(Handle, ReadWindowSize);
    const int64_t base = Idx1Base();

    // Stream numbers repeat from stream 256 on; the first stream of a number takes its entries.
    std::vector<int32_t> owner(65536, -1);
    for (int i = StreamCount() - 1; i >= 0; --i)
        owner[FStreams[size_t(i)]->StreamNumber] = i;

    const uint32_t n = Idx1Size / 16;
    uint8_t e[16];
    for (uint32_t j = 0; j < n; ++j) {
        if (buffer.Read(e, 16, Idx1Pos + 16 * int64_t(j)) != 16)
            break;
        int32_t s = owner[GetU16(e)];
        if (s < 0)
            continue;
        CountEntries(1);
        FStreams[size_t(s)]->AddEntry(GetU32(e + 12), (GetU32(e + 4) & AVIIF_KEYFRAME) != 0,
                                      base + int64_t(GetU32(e + 8)));
    }
}

} // namespace zarvex
