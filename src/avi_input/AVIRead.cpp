#include "avi_input/AVIRead.h"

#include "avi_input/FourCC.h"
#include "avi_input/Palette.h"
#include "support/Endian.h"

#include <algorithm>
#include <array>
#include <utility>

namespace zarvex {

namespace {
// A hostile list of millions of empty chunks must not cost gigabytes of records.
constexpr size_t MaxChildrenPerList = size_t(1) << 20;
constexpr uint32_t ReadWindowSize = 8192;
constexpr uint32_t ckRec = MakeFourCC('r', 'e', 'c', ' ');
constexpr uint32_t ckJunk = MakeFourCC('J', 'U', 'N', 'K');
// The first entries that Idx1Base looks through for one naming a stream.
constexpr uint32_t ProbeEntries = 1024;

// Writers number streams in decimal: stream 10 writes '10wb'. Numbers repeat from 100 on.
uint16_t StreamNumberOf(size_t i) {
    const size_t n = i % 100;
    return uint16_t(uint8_t('0' + n / 10) | uint8_t('0' + n % 10) << 8);
}
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
    FIndexCutShort = false;
    FScanReport = TIndexScanReport{};
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
    RiffSize = GetU32(riff + 4);
    // Capture tools write the sizes when they finish; a recording that never did has zero.
    const bool unfinished = RiffSize < 4 && IndexRebuild != TIndexRebuild::Never;
    WalkList(unfinished ? uint32_t(std::min<int64_t>(FFileSize - 8, UINT32_MAX)) : RiffSize);

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

    if (IndexRebuild == TIndexRebuild::Never)
        LoadIndex();
    else
        LoadOrRebuildIndex();
    TimeUntimedStreams();
}

void TAVIFileReader::OpenCopyOf(const TAVIFileReader& other) {
    Close();
    Handle = TOSFile::OpenRead(other.FFileName);
    FFileName = other.FFileName;
    Walker = std::make_unique<TFileReadBuffer>(Handle, ReadWindowSize);
    FFileSize = Walker->FileSize();
    if (FFileSize < other.FFileSize)
        throw EAVIReadError("The source file changed while it was read.");
    FHasOpenDMLIndex = other.FHasOpenDMLIndex;
    FIndexCutShort = other.FIndexCutShort;
    FScanReport = other.FScanReport;
    FMainHeader = other.FMainHeader;
    TotalEntries = other.TotalEntries;
    HdrlPos = other.HdrlPos;
    MoviPos = other.MoviPos;
    Idx1Pos = other.Idx1Pos;
    HdrlSize = other.HdrlSize;
    MoviSize = other.MoviSize;
    Idx1Size = other.Idx1Size;
    RiffSize = other.RiffSize;
    for (const auto& theirs : other.FStreams) {
        FStreams.push_back(std::make_unique<TAVIStream>(*this));
        FStreams.back()->CopyFrom(*theirs);
        if (theirs.get() == other.FVideoStream)
            FVideoStream = FStreams.back().get();
        if (theirs.get() == other.FAudioStream)
            FAudioStream = FStreams.back().get();
    }
}

void TAVIFileReader::LoadIndex() {
    if (FHasOpenDMLIndex) {
        for (auto& s : FStreams)
            s->LoadOpenDMLIndex();
        LoadIdx1PaletteChanges();
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
    const uint32_t avihSize = avih->Size;
    if (avihSize != MainAVIHeader::ByteSize)
        WalkPastMainHeader(*avih);

    for (const auto& c : Chunks) {
        if (c.ListType != listStrl)
            continue;
        FStreams.push_back(std::make_unique<TAVIStream>(*this));
        FStreams.back()->SetStrl(c.DataPos, c.Size);
    }
    for (size_t i = 0; i < FStreams.size(); ++i) {
        TAVIStream& s = *FStreams[i];
        s.StreamNumber = StreamNumberOf(i);
        s.ParseHeaders();
        const uint32_t type = s.Header.fccType;
        // An untimed stream (subtitles in a 'vids' stream) has no frames to show or cut at.
        if (s.Untimed())
            continue;
        if ((type == streamVids || type == streamIavs) && !FVideoStream)
            FVideoStream = &s;
        if (type == streamAuds && !FAudioStream)
            FAudioStream = &s;
    }
    if (FStreams.empty())
        throw EAVIReadError(avihSize == MainAVIHeader::ByteSize
                                ? "The file has no streams"
                                : "The main header has a wrong size and no streams follow it");
}

bool TAVIFileReader::IsHeaderListAt(int64_t position) {
    uint8_t head[12];
    Seek(position);
    if (ReadBytes(head, 12) != 12)
        return false;
    const uint32_t id = GetU32(head), type = GetU32(head + 8);
    return (id == ckLIST && (type == listStrl || type == listOdml)) || id == ckJunk;
}

void TAVIFileReader::WalkPastMainHeader(TChunkInfo avih) {
    // A wrong size field of an otherwise sound 'avih': the stream lists follow its 56 bytes.
    const int64_t declared = avih.DataPos + int64_t(avih.Size) + (avih.Size & 1);
    const int64_t fixed = avih.DataPos + MainAVIHeader::ByteSize;
    const int64_t end = HdrlPos + int64_t(HdrlSize);
    if ((declared < end && IsHeaderListAt(declared)) || !IsHeaderListAt(fixed))
        return;
    Seek(fixed);
    WalkList(uint32_t(end - fixed));
    avih.Size = MainAVIHeader::ByteSize;
    Chunks.insert(Chunks.begin(), avih);
}

void TAVIFileReader::CountEntries(uint64_t added) {
    // Every real entry takes at least 8 bytes of index in the file; more is a looping index.
    TotalEntries += added;
    if (TotalEntries > uint64_t(FFileSize) / 8)
        throw EAVIReadError("The index describes more chunks than the file can hold");
}

int64_t TAVIFileReader::Idx1Base(const std::vector<int32_t>& owner) {
    // Capture tools put a 'rec ' list or a reserved entry naming no stream first, so the probe
    // takes the first entry that names a stream of the file or a 'rec ' list, whose header
    // reads 'LIST'.
    int64_t base = MoviPos + 4;
    TFileReadBuffer probe(Handle, ReadWindowSize);
    const uint32_t n = std::min(Idx1Size / 16, ProbeEntries);
    uint8_t e[16];
    for (uint32_t j = 0; j < n; ++j) {
        if (probe.Read(e, 16, Idx1Pos + 16 * int64_t(j)) != 16)
            break;
        const uint32_t id = GetU32(e);
        if (id != ckRec && owner[GetU16(e)] < 0)
            continue;
        uint8_t head[8];
        const int64_t at = MoviPos - 4 + int64_t(GetU32(e + 8));
        // Counted from 'movi', an offset from the file start of a small file lies past its end.
        const bool read = probe.Read(head, 8, at) == 8;
        const uint32_t found = read ? GetU32(head) : 0;
        const bool match = id == ckRec ? found == ckLIST || found == ckRec : found == id;
        if (!match)
            base = 8;
        break;
    }
    return base;
}

void TAVIFileReader::LoadIdx1PaletteChanges() {
    std::vector<int32_t> owner(65536, -1);
    for (int i = StreamCount() - 1; i >= 0; --i)
        if (FStreams[size_t(i)]->IsPalettised())
            owner[FStreams[size_t(i)]->StreamNumber] = i;
    if (Idx1Pos < 0 || std::none_of(FStreams.begin(), FStreams.end(),
                                    [](const auto& s) { return s->IsPalettised(); }))
        return;
    const int64_t base = Idx1Base(owner);
    TFileReadBuffer buffer(Handle, ReadWindowSize);
    std::vector<std::vector<TPaletteChange>> found(FStreams.size());
    const uint32_t n = Idx1Size / 16;
    uint8_t e[16];
    for (uint32_t j = 0; j < n; ++j) {
        if (buffer.Read(e, 16, Idx1Pos + 16 * int64_t(j)) != 16)
            break;
        const int32_t s = owner[GetU16(e)];
        if (s < 0 || !IsPaletteChangeId(GetU32(e)))
            continue;
        CountEntries(1);
        found[size_t(s)].push_back({base + int64_t(GetU32(e + 8)), GetU32(e + 12), 0});
    }
    for (size_t s = 0; s < FStreams.size(); ++s)
        if (!found[s].empty())
            FStreams[s]->PlacePaletteChanges(std::move(found[s]));
}

void TAVIFileReader::LoadIdx1() {
    if (Idx1Pos < 0)
        throw EAVIReadError("The index is not found");
    TFileReadBuffer buffer(Handle, ReadWindowSize);
    // Stream numbers repeat from stream 100 on; the first stream of a number takes its entries.
    std::vector<int32_t> owner(65536, -1);
    for (int i = StreamCount() - 1; i >= 0; --i)
        owner[FStreams[size_t(i)]->StreamNumber] = i;
    const int64_t base = Idx1Base(owner);

    const uint32_t n = Idx1Size / 16;
    uint8_t e[16];
    for (uint32_t j = 0; j < n; ++j) {
        if (buffer.Read(e, 16, Idx1Pos + 16 * int64_t(j)) != 16)
            break;
        int32_t s = owner[GetU16(e)];
        if (s < 0)
            continue;
        CountEntries(1);
        const int64_t offset = base + int64_t(GetU32(e + 8));
        if (IsPaletteChangeId(GetU32(e)))
            FStreams[size_t(s)]->AddPaletteChange(GetU32(e + 12), offset);
        else
            FStreams[size_t(s)]->AddEntry(GetU32(e + 12), (GetU32(e + 4) & AVIIF_KEYFRAME) != 0,
                                          offset);
    }
}

} // namespace zarvex
