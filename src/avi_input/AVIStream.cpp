#include "avi_input/AVIStream.h"

#include "avi_input/AVIRead.h"
#include "avi_input/FourCC.h"
#include "avi_input/IntraCodecs.h"
#include "avi_input/Palette.h"
#include "support/Endian.h"

#include <algorithm>
#include <array>

namespace zarvex {

namespace {
constexpr uint32_t ReadWindowSize = 8192;
constexpr uint32_t MinVideoFormat = 20; // up to and including biCompression
constexpr uint32_t MinAudioFormat = 14; // up to and including nBlockAlign
} // namespace

TAVIStream::TAVIStream(TAVIFileReader& reader) : Reader(reader) {
    Index.SetGrowBy(1048576);
}

bool TAVIStream::GetEntry(int64_t i, TAVIIndexEntry& entry) const {
    if (!InRange(i))
        return false;
    const uint8_t* p = EntryAt(i);
    entry.Offset = int64_t(GetU64(p));
    entry.Size = GetU32(p + 8);
    entry.KeyFrame = p[12];
    entry.BytesBefore = int64_t(GetU64(p + 13));
    return true;
}

std::vector<uint8_t> TAVIStream::ChunkBytes(int64_t i) const {
    if (ChunkSpan(i) < 0)
        return {};
    std::vector<uint8_t> data(EntrySize(i));
    if (!data.empty() && !ReadChunk(i, data.data()))
        data.clear();
    return data;
}

bool TAVIStream::ReadChunk(int64_t i, void* destination) const {
    TAVIIndexEntry e;
    if (!GetEntry(i, e))
        return false;
    // Damaged indexes may point anywhere; a payload outside the file is a short read.
    if (e.Offset < 0 || e.Offset > Reader.FFileSize - int64_t(e.Size))
        return false;
    try {
        return Reader.Handle.ReadAt(destination, e.Size, e.Offset) == int64_t(e.Size);
    } catch (const EOSError&) {
        return false;
    }
}

const uint8_t* TAVIStream::ReadChunk(int64_t i, TChunkWindow& window) const {
    TAVIIndexEntry e;
    if (!GetEntry(i, e))
        return nullptr;
    if (e.Offset < 0 || e.Offset > Reader.FFileSize - int64_t(e.Size))
        return nullptr;
    if (e.Size == 0)
        return window.Get(Reader.Handle, Reader.FFileSize, e.Offset, 0);
    // The chunk's own header comes with the payload: an index that no longer matches the data
    // (bytes inserted or removed since it was written) points where no header of this stream is.
    if (e.Offset < 8 || e.Size > UINT32_MAX - 8)
        return nullptr;
    const uint8_t* chunk = window.Get(Reader.Handle, Reader.FFileSize, e.Offset - 8, e.Size + 8);
    return chunk && GetU16(chunk) == StreamNumber ? chunk + 8 : nullptr;
}

int64_t TAVIStream::ChunkSpan(int64_t i) const {
    TAVIIndexEntry e;
    if (!GetEntry(i, e) || e.Offset < 8)
        return -1;
    const int64_t padded = int64_t(e.Size) + (e.Size & 1);
    return e.Offset > Reader.FFileSize - padded ? -1 : e.Offset - 8;
}

const TOSFile& TAVIStream::File() const {
    return Reader.Handle;
}

uint32_t TAVIStream::EntrySize(int64_t i) const {
    return InRange(i) ? GetU32(EntryAt(i) + 8) : 0xFFFFFFFFu;
}

int64_t TAVIStream::EntryBytesBefore(int64_t i) const {
    return InRange(i) ? int64_t(GetU64(EntryAt(i) + 13)) : -1;
}

bool TAVIStream::IsKeyFrame(int64_t i) const {
    return InRange(i) && EntryAt(i)[12] != 0;
}

double TAVIStream::EntryTime(int64_t i) const {
    if (!InRange(i))
        return -1.0;
    if (Untimed())
        return size_t(i) < UntimedTimes.size() ? UntimedTimes[size_t(i)] : 0.0;
    double x = CountsBytes() ? double(EntryBytesBefore(i)) / Header.dwSampleSize : double(i);
    return x / Header.dwRate * Header.dwScale;
}

bool TAVIStream::CountsBytes() const {
    return Header.dwSampleSize > 0 && !Untimed() && Header.fccType != streamVids &&
           Header.fccType != streamIavs;
}

int32_t TAVIStream::PrevKeyFrame(int64_t i) const {
    // Entries past the end are not key frames, so the walk may start at the last entry.
    int64_t j = std::min<int64_t>(i - 1, int64_t(EntryCount()) - 1);
    for (; j >= 0; --j)
        if (EntryAt(j)[12] != 0)
            return int32_t(j);
    return -1;
}

int32_t TAVIStream::NextKeyFrame(int64_t i) const {
    for (int64_t j = std::max<int64_t>(i + 1, 0); j < int64_t(EntryCount()); ++j)
        if (EntryAt(j)[12] != 0)
            return int32_t(j);
    return -1;
}

int64_t TAVIStream::AddEntry(uint32_t size, bool keyFrame, int64_t position) {
    uint8_t packed[IndexEntryBytes];
    PutU64(packed, uint64_t(position));
    PutU32(packed + 8, size);
    // Some writers flag no frame of an intra-only stream; an empty chunk repeats the picture
    // before it, so it never starts a cut.
    packed[12] = keyFrame || (IntraOnly && size > 0) ? 1 : 0;
    PutU64(packed + 13, uint64_t(RunningTotal));
    Index.Append(packed, IndexEntryBytes);
    RunningTotal += size;
    return RunningTotal;
}

void TAVIStream::AddPaletteChange(uint32_t size, int64_t position) {
    FPaletteChanges.push_back({position, size, int64_t(EntryCount())});
}

void TAVIStream::PlacePaletteChanges(std::vector<TPaletteChange> changes) {
    const auto byOffset = [](const TPaletteChange& a, const TPaletteChange& b) {
        return a.Offset < b.Offset;
    };
    changes.insert(changes.end(), FPaletteChanges.begin(), FPaletteChanges.end());
    std::stable_sort(changes.begin(), changes.end(), byOffset);
    FPaletteChanges.clear();
    for (TPaletteChange c : changes) {
        if (!FPaletteChanges.empty() && FPaletteChanges.back().Offset == c.Offset)
            continue;
        int64_t lo = 0, hi = EntryCount();
        while (lo < hi) {
            const int64_t mid = lo + (hi - lo) / 2;
            if (int64_t(GetU64(EntryAt(mid))) < c.Offset)
                lo = mid + 1;
            else
                hi = mid;
        }
        c.Before = lo;
        FPaletteChanges.push_back(c);
    }
}

bool TAVIStream::IsPalettised() const {
    if (Header.fccType != streamVids || Format.size() < 16)
        return false;
    const uint16_t bits = GetU16(Format.data() + 14);
    return bits >= 1 && bits <= 8;
}

std::vector<uint8_t> TAVIStream::FormatAt(int64_t i) const {
    std::vector<uint8_t> format = Format;
    std::vector<uint8_t> payload;
    for (const TPaletteChange& c : FPaletteChanges) {
        if (c.Before > i)
            break;
        if (c.Size > MaxPaletteChange || c.Offset < 0 || c.Offset > Reader.FFileSize - c.Size)
            continue;
        payload.resize(c.Size);
        try {
            if (Reader.Handle.ReadAt(payload.data(), c.Size, c.Offset) != int64_t(c.Size))
                continue;
        } catch (const EOSError&) {
            continue;
        }
        ApplyPaletteChange(format, payload.data(), c.Size);
    }
    return format;
}

void TAVIStream::ParseHeaders() {
    Reader.Seek(StrlPos);
    Reader.WalkList(StrlSize);

    const TChunkInfo* strh = Reader.FindChunk(ckStrh, 0);
    if (!strh)
        throw EAVIReadError("The stream header is not found");
    std::array<uint8_t, AVIStreamHeader::ByteSize> raw{};
    Reader.Seek(strh->DataPos);
    Reader.ReadBytes(raw.data(), uint32_t(raw.size()));
    Header = AVIStreamHeader::Read(raw.data());

    const TChunkInfo* strf = Reader.FindChunk(ckStrf, 0);
    if (!strf)
        throw EAVIReadError("The stream format is not found");
    // The size field alone must never decide how much memory is taken.
    if (strf->DataPos > Reader.FFileSize - int64_t(strf->Size))
        throw EAVIReadError("The stream format is damaged");
    Format.resize(strf->Size);
    Reader.Seek(strf->DataPos);
    if (Reader.ReadBytes(Format.data(), strf->Size) != strf->Size)
        throw EAVIReadError("The stream format is damaged");

    if (const TChunkInfo* indx = Reader.FindChunk(ckIndx, 0)) {
        IndxPos = indx->DataPos - 8;
        IndxSize = indx->Size;
        Reader.FHasOpenDMLIndex = true;
    } else {
        IndxPos = -1;
    }
    RunningTotal = 0;
    CheckHeaders();
    ApplyRepairs();
}

void TAVIStream::CheckHeaders() const {
    if (Header.fccType == streamVids && Format.size() < MinVideoFormat)
        throw EAVIReadError("The video format is too short");
    if (Header.fccType == streamAuds && Format.size() < MinAudioFormat)
        throw EAVIReadError("The audio format is too short");
}

void TAVIStream::CopyFrom(const TAVIStream& other) {
    Header = other.Header;
    Format = other.Format;
    StreamNumber = other.StreamNumber;
    Width = other.Width;
    Height = other.Height;
    StrlPos = other.StrlPos;
    IndxPos = other.IndxPos;
    StrlSize = other.StrlSize;
    IndxSize = other.IndxSize;
    RunningTotal = other.RunningTotal;
    Index.Clear();
    Index.Append(other.Index.Data(), other.Index.Size());
    UntimedTimes = other.UntimedTimes;
    FPaletteChanges = other.FPaletteChanges;
    IntraOnly = other.IntraOnly;
}

void TAVIStream::ApplyRepairs() {
    // A byte-counted audio stream whose header forgot its sample size: count whole blocks.
    if (Header.fccType == streamAuds && Header.dwSampleSize == 0 && !Untimed() &&
        double(Header.dwRate) / double(Header.dwScale) > 500.0)
        Header.dwSampleSize = GetU16(Format.data() + 12);

    if (Header.fccType == streamVids) {
        Width = GetI32(Format.data() + 4);
        if (Width == 0)
            Width = int32_t(Header.rcRight) - int32_t(Header.rcLeft);
        Height = GetI32(Format.data() + 8);
        if (Height == 0)
            Height = int32_t(Header.rcBottom) - int32_t(Header.rcTop);
        const uint32_t handler = Header.fccHandler;
        Header.fccHandler = GetU32(Format.data() + 16);
        IntraOnly = IsIntraOnlyCode(Header.fccHandler) ||
                    (handler != 0 && handler != 3 && IsIntraOnlyCode(handler));
    }
    if (Header.fccType == streamIavs)
        IntraOnly = true; // interleaved DV
}

void TAVIStream::LoadOpenDMLIndex() {
    if (IndxPos < 0)
        return; // a stream without 'indx' in an OpenDML file has no entries
    TFileReadBuffer buffer(Reader.Handle, ReadWindowSize);
    uint8_t head[32];
    if (buffer.Read(head, 32, IndxPos) != 32) {
        Reader.FIndexCutShort = true;
        return; // an index header cut off by the end of the file counts as absent
    }
    const uint8_t type = head[11];
    if (type == AVI_INDEX_OF_CHUNKS) {
        LoadStdIndex(buffer, IndxPos);
        return;
    }
    if (type != AVI_INDEX_OF_INDEXES)
        throw EAVIReadError("Unsupported type of super index: " + std::to_string(type));
    const uint32_t n = GetU32(head + 12);
    uint8_t e[16];
    for (uint32_t k = 0; k < n; ++k) {
        if (buffer.Read(e, 16, IndxPos + 32 + 16 * int64_t(k)) != 16) {
            Reader.FIndexCutShort = true;
            break;
        }
        LoadStdIndex(buffer, int64_t(GetU64(e)));
    }
}

bool TAVIStream::IsPaletteChangeAt(int64_t offset, uint32_t size) const {
    // Standard index entries carry no chunk id; only the small chunks of a palettised stream
    // are worth a look at their headers.
    if (!IsPalettised() || size < 4 || size > MaxPaletteChange || offset < 8)
        return false;
    uint8_t head[8];
    try {
        return Reader.Handle.ReadAt(head, 8, offset - 8) == 8 && IsPaletteChangeId(GetU32(head)) &&
               GetU32(head + 4) == size;
    } catch (const EOSError&) {
        return false;
    }
}

void TAVIStream::LoadStdIndex(TFileReadBuffer& buffer, int64_t position) {
    uint8_t head[32];
    if (buffer.Read(head, 32, position) != 32) {
        Reader.FIndexCutShort = true;
        return; // unreadable header: the index counts as absent
    }
    const uint8_t type = head[11];
    if (type != AVI_INDEX_OF_CHUNKS)
        throw EAVIReadError("Unsupported type of chunk index: " + std::to_string(type));
    const uint32_t n = GetU32(head + 12);
    const bool changes = IsPaletteChangeId(GetU32(head + 16));
    const uint64_t base = GetU64(head + 20);
    uint8_t e[8];
    for (uint32_t k = 0; k < n; ++k) {
        if (buffer.Read(e, 8, position + 32 + 8 * int64_t(k)) != 8) {
            Reader.FIndexCutShort = true;
            break;
        }
        Reader.CountEntries(1);
        const uint32_t size = GetU32(e + 4);
        // Wrapping unsigned sum: a hostile base lands outside the file, never in UB.
        const auto offset = int64_t(base + GetU32(e));
        if (changes || IsPaletteChangeAt(offset, size & 0x7FFFFFFF))
            AddPaletteChange(size & 0x7FFFFFFF, offset);
        else
            AddEntry(size & 0x7FFFFFFF, (size & 0x80000000u) == 0, offset);
    }
}

} // namespace zarvex
