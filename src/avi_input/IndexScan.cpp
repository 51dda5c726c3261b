#include "avi_input/IndexScan.h"

#include "avi_input/AVIStream.h"
#include "avi_input/FourCC.h"
#include "avi_input/KeyFrameProbe.h"
#include "avi_input/Palette.h"
#include "support/Endian.h"
#include "support/Errors.h"

#include <algorithm>

namespace zarvex {

namespace {
// Large enough that a pass costs about what reading the file does; fixed whatever the file.
constexpr uint32_t ScanBufferSize = 2u << 20;
// Enough of a picture's start for its headers (sequence, picture and slice headers).
constexpr uint32_t KeyProbeBytes = uint32_t(KeyFrameProbeBytes);
constexpr int64_t ProgressStep = 4 << 20;
constexpr uint32_t ckRec = MakeFourCC('r', 'e', 'c', ' ');

bool IsDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}

// 'JUNK', 'idx1' and the standard indexes 'ix##' carry no data of their own.
bool IsSkippedId(uint32_t id) {
    if (id == ckJUNK || id == ckIdx1)
        return true;
    return (id & 0xFFFF) == ('i' | 'x' << 8) && IsDigit(uint8_t(id >> 16)) &&
           IsDigit(uint8_t(id >> 24));
}
} // namespace

bool IsDataChunkSuffix(uint16_t suffix) {
    // '__' is interleaved DV ('iavs'), as capture tools write it.
    static constexpr uint16_t known[] = {'d' | 'c' << 8, 'd' | 'b' << 8, 'w' | 'b' << 8,
                                         'p' | 'c' << 8, 't' | 'x' << 8, '_' | '_' << 8,
                                         's' | 'b' << 8};
    return std::find(std::begin(known), std::end(known), suffix) != std::end(known);
}

// A sequential window: one large read serves many chunk headers and payload starts.
class TIndexScan::TBuffer {
public:
    TBuffer(const TOSFile& handle, int64_t fileSize) : Handle(handle), FileSize(fileSize) {
        Data.resize(size_t(std::clamp<int64_t>(fileSize, 4096, ScanBufferSize)));
    }

    // n bytes at pos (n at most 4096), or null when the file ends before them.
    const uint8_t* At(int64_t pos, uint32_t n) {
        if (pos < 0 || n > FileSize - pos)
            return nullptr;
        if (pos < Start || pos + n > Start + Length) {
            Start = pos & ~int64_t(4095);
            Length = std::min<int64_t>(int64_t(Data.size()), FileSize - Start);
            int64_t got = -1;
            try {
                got = Handle.ReadAt(Data.data(), Length, Start);
            } catch (const EOSError&) {
            }
            if (got != Length) {
                Start = Length = 0;
                throw EZarvexError("Unable to read file");
            }
        }
        return Data.data() + (pos - Start);
    }

private:
    const TOSFile& Handle;
    int64_t FileSize;
    std::vector<uint8_t> Data;
    int64_t Start = 0;
    int64_t Length = 0;
};

TIndexScan::TIndexScan(const TOSFile& handle, int64_t fileSize,
                       const std::vector<TAVIStream*>& streams)
    : FileSize(fileSize), Streams(streams), Owner(65536, -1),
      Buffer(std::make_unique<TBuffer>(handle, fileSize)) {
    // Stream numbers repeat from stream 100 on; the first stream of a number takes its chunks.
    for (int i = int(Streams.size()) - 1; i >= 0; --i)
        Owner[Streams[size_t(i)]->StreamNumber] = int16_t(i);
    for (TAVIStream* s : Streams) {
        const bool video = s->Header.fccType == streamVids || s->Header.fccType == streamIavs;
        Judges.push_back(video ? KeyFrameJudgeFor(s->Format, s->Header.fccHandler)
                               : TKeyFrameJudge{});
    }
}

TIndexScan::~TIndexScan() = default;

TIndexScan::TKind TIndexScan::Classify(int64_t pos, int& stream, uint32_t& size) {
    const uint8_t* h = Buffer->At(pos, 8);
    if (!h)
        return TKind::Invalid;
    const uint32_t id = GetU32(h);
    size = GetU32(h + 4);
    const int64_t room = FileSize - pos - 8;
    if (id == ckLIST || id == ckRIFF) {
        const uint8_t* t = Buffer->At(pos, 12);
        if (!t || size < 4)
            return TKind::Invalid;
        const uint32_t type = GetU32(t + 8);
        // 'rec ' groups and the data lists of later RIFF lists are walked into; a list that
        // is cut off is walked into too, as far as it goes.
        if ((id == ckLIST && (type == ckRec || type == listMovi)) ||
            (id == ckRIFF && type == formAVIX))
            return TKind::Enter;
        return size <= room ? TKind::Skip : TKind::Invalid;
    }
    // One of these cut off by the end of the file ends the data: nothing but it can follow.
    if (IsSkippedId(id))
        return TKind::Skip;
    stream = Owner[GetU16(h)];
    if (stream < 0 || !IsDataChunkSuffix(GetU16(h + 2)))
        return TKind::Invalid;
    return size <= room ? TKind::Data : TKind::CutOff;
}

// After damage, a header found by searching must be followed by another one (or the end of the
// file), so that picture bytes that happen to look like a header are not taken for one.
bool TIndexScan::Confirmed(int64_t next) {
    if (next + 8 > FileSize)
        return true;
    int stream = -1;
    uint32_t size = 0;
    const TKind kind = Classify(next, stream, size);
    return kind == TKind::Data || kind == TKind::Enter || kind == TKind::Skip;
}

void TIndexScan::AddChunk(int s, int64_t pos, uint32_t size, TIndexScanReport& report) {
    TAVIStream& stream = *Streams[size_t(s)];
    TScanStreamResult& result = report.Streams[size_t(s)];
    if (IsPaletteChangeId(GetU32(Buffer->At(pos, 8)))) {
        stream.AddPaletteChange(size, pos + 8);
        return;
    }
    bool key = true;
    if (TKeyFrameJudge& judge = Judges[size_t(s)]; judge.IsKey) {
        const uint32_t n = std::min(size, KeyProbeBytes);
        key = judge.IsKey(Buffer->At(pos + 8, n), n, size);
    }
    stream.AddEntry(size, key, pos + 8);
    ++result.Chunks;
    result.KeyFrames += stream.IsKeyFrame(stream.EntryCount() - 1) ? 1 : 0;
}

bool TIndexScan::Run(int64_t start, TIndexScanReport& report, const TProgressEvent& progress) {
    report.FileSize = FileSize;
    report.DataEnd = start;
    report.Streams.assign(Streams.size(), {});
    for (size_t i = 0; i < Streams.size(); ++i) {
        report.Streams[i].Video = bool(Judges[i].IsKey);
        report.Streams[i].Keys = Judges[i].Source;
    }
    int64_t pos = start + (start & 1);
    int64_t skipFrom = -1; // start of the bytes being searched through, or -1
    int64_t cutOff = -1;
    int64_t nextReport = pos;
    while (pos <= FileSize - 8) {
        if (pos >= nextReport) {
            bool cancel = false;
            if (progress)
                progress(100.0 * double(pos) / double(FileSize), cancel);
            if (cancel)
                return false;
            nextReport = pos + ProgressStep;
        }
        int s = -1;
        uint32_t size = 0;
        const TKind kind = Classify(pos, s, size);
        const int64_t next = pos + 8 + int64_t(size) + (size & 1);
        const bool accepted =
            kind == TKind::Enter ||
            ((kind == TKind::Data || kind == TKind::Skip) && (skipFrom < 0 || Confirmed(next)));
        if (!accepted) {
            if (kind == TKind::CutOff && skipFrom < 0)
                cutOff = pos;
            if (skipFrom < 0)
                skipFrom = pos;
            pos += 2;
            continue;
        }
        if (skipFrom >= 0) {
            report.AddSkip(skipFrom, pos - skipFrom);
            skipFrom = -1;
            cutOff = -1;
        }
        if (kind == TKind::Enter) {
            pos += 12;
            continue;
        }
        if (kind == TKind::Data) {
            AddChunk(s, pos, size, report);
            report.DataEnd = pos + 8 + int64_t(size);
        }
        pos = next;
    }
    // Bytes after the last chunk are the rest of a cut-off file, not damage inside it.
    report.CutOffChunk = cutOff;
    report.Rebuilt = true;
    return true;
}

} // namespace zarvex
