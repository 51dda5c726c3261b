// The reader's checks of a loaded index, and its rebuild by scanning the data.
#include "avi_input/AVIRead.h"

#include "avi_input/FourCC.h"
#include "avi_input/IndexScan.h"
#include "support/Endian.h"

#include <algorithm>

namespace zarvex {

namespace {
// Entries checked between the first and the last: a cheap look at a few places of the file.
constexpr int64_t StaleSamples = 16;
// Walking the top-level lists of a hostile file must end.
constexpr int MaxTopLevelChunks = 4096;
constexpr int ShortIndexProbes = 8;
constexpr uint32_t ckRec = MakeFourCC('r', 'e', 'c', ' ');
} // namespace

void TAVIFileReader::LoadOrRebuildIndex() {
    bool failed = false;
    std::string failure;
    try {
        LoadIndex();
    } catch (const EAVIReadError& e) {
        failed = true;
        failure = e.what();
    }
    const std::string reason = IndexTrouble(failed);
    if (reason.empty())
        return;
    const bool missing = TotalEntries == 0 && Idx1Pos < 0;
    bool rebuild = IndexRebuild == TIndexRebuild::Always;
    if (IndexRebuild == TIndexRebuild::Ask && OnRebuildQuestion)
        rebuild = OnRebuildQuestion(missing ? MissingIndexQuestion : DamagedIndexQuestion);
    if (rebuild && RebuildIndex(reason))
        return;
    // Declined or cancelled: what the index gives, as without the checks.
    if (missing)
        throw EAVIReadError("The index is not found");
    if (rebuild)
        LoadIndex();
    else if (failed)
        throw EAVIReadError(failure);
}

std::string TAVIFileReader::IndexTrouble(bool loadFailed) {
    if (TotalEntries == 0 && (Idx1Pos < 0 || loadFailed))
        return "no index";
    if (loadFailed)
        return "the index cannot be read";
    if (FVideoStream && FVideoStream->EntryCount() == 0)
        return "the index holds no video entries";
    if (FIndexCutShort || IndexStopsShort())
        return "the index stops short of the data";
    if (IndexIsStale())
        return "the index does not match the data";
    return "";
}

bool TAVIFileReader::IsDataHeaderAt(int64_t position, const TAVIStream* stream) const {
    uint8_t head[12];
    int64_t got = 0;
    try {
        got = Handle.ReadAt(head, 12, position);
    } catch (const EOSError&) {
        return false;
    }
    if (got < 8)
        return false;
    // Entries are checked by stream number only, as readers use them; a chunk found past the
    // index must look like data in full.
    if (stream)
        return GetU16(head) == stream->StreamNumber;
    if (GetU32(head) == ckLIST)
        return got == 12 && GetU32(head + 8) == ckRec;
    if (!IsDataChunkSuffix(GetU16(head + 2)))
        return false;
    for (const auto& s : FStreams)
        if (GetU16(head) == s->StreamNumber)
            return true;
    return false;
}

bool TAVIFileReader::IndexIsStale() const {
    for (const auto& s : FStreams) {
        const auto stale = [&](int64_t i) {
            TAVIIndexEntry e;
            s->GetEntry(i, e);
            // An empty entry may stand for a dropped frame with no chunk of its own.
            if (e.Size == 0)
                return false;
            return e.Offset < 8 || e.Offset > FFileSize - int64_t(e.Size) ||
                   !IsDataHeaderAt(e.Offset - 8, s.get());
        };
        const int64_t n = s->EntryCount();
        const int64_t step = std::max<int64_t>(1, n / StaleSamples);
        for (int64_t i = 0; i < n; i += step)
            if (stale(i))
                return true;
        if (n > 0 && stale(n - 1))
            return true;
    }
    return false;
}

int64_t TAVIFileReader::DataEnd() {
    int64_t end = std::min<int64_t>(MoviPos - 4 + int64_t(MoviSize), FFileSize);
    // Later RIFF lists ('AVIX') each hold one more data list.
    int64_t pos = 8 + int64_t(RiffSize) + (RiffSize & 1);
    uint8_t head[12];
    for (int k = 0; k < MaxTopLevelChunks && pos <= FFileSize - 12; ++k) {
        if (Handle.ReadAt(head, 12, pos) != 12)
            break;
        const uint32_t size = GetU32(head + 4);
        if (GetU32(head) == ckRIFF && GetU32(head + 8) == formAVIX)
            end = std::min<int64_t>(pos + 8 + int64_t(size), FFileSize);
        pos += 8 + int64_t(size) + (size & 1);
    }
    return end;
}

bool TAVIFileReader::IndexStopsShort() {
    int64_t indexEnd = 0;
    for (const auto& s : FStreams) {
        TAVIIndexEntry e;
        if (s->GetEntry(int64_t(s->EntryCount()) - 1, e))
            indexEnd = std::max<int64_t>(indexEnd, e.Offset + e.Size);
        if (!s->PaletteChanges().empty()) {
            const TPaletteChange& c = s->PaletteChanges().back();
            indexEnd = std::max<int64_t>(indexEnd, c.Offset + c.Size);
        }
    }
    indexEnd += indexEnd & 1;
    // Data the index does not reach follows its last chunk. Empty chunks (dropped frames some
    // writers leave out of the index) and 'rec ' headers are passed over, a few at most.
    const int64_t end = DataEnd();
    int64_t pos = indexEnd;
    for (int k = 0; k < ShortIndexProbes && pos + 8 <= end && IsDataHeaderAt(pos, nullptr); ++k) {
        uint8_t head[8];
        if (Handle.ReadAt(head, 8, pos) != 8)
            break;
        const uint32_t size = GetU32(head + 4);
        if (GetU32(head) == ckLIST)
            pos += 12;
        else if (size > 0)
            return true;
        else
            pos += 8;
    }
    return false;
}

bool TAVIFileReader::RebuildIndex(const std::string& reason) {
    std::vector<TAVIStream*> streams;
    for (auto& s : FStreams) {
        s->ClearEntries();
        streams.push_back(s.get());
    }
    TotalEntries = 0;
    FScanReport = TIndexScanReport{};
    FScanReport.Reason = reason;
    TIndexScan scan(Handle, FFileSize, streams);
    if (scan.Run(MoviPos, FScanReport, OnScanProgress))
        return true;
    FScanReport = TIndexScanReport{};
    for (auto& s : FStreams)
        s->ClearEntries();
    return false;
}

} // namespace zarvex
