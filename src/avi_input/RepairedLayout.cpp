#include "avi_input/RepairedLayout.h"

#include "avi_input/AVIRead.h"
#include "avi_input/FourCC.h"
#include "support/Endian.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace zarvex {

namespace {

// A standard index holds 32-bit offsets from its base, so one covers at most this span.
constexpr int64_t MaxSpan = 0xF0000000;
constexpr size_t SuperEntryBytes = 16;
constexpr size_t StdEntryBytes = 8;

struct TIxRun {
    int64_t First = 0;
    int64_t Count = 0;
    int64_t Base = 0; // source position of its first chunk header
};

struct TStreamRuns {
    const TAVIStream* Stream = nullptr;
    uint32_t ChunkId = 0;
    std::vector<TIxRun> Runs;
    size_t SuperAt = 0; // where its super index starts in the head
};

// Readers take the stream from the two digits of the id; the letters only follow custom.
uint32_t ChunkIdOf(int number, const TAVIStream& s) {
    const bool audio = s.Header.fccType == streamAuds;
    return MakeFourCC(char('0' + number / 10), char('0' + number % 10), audio ? 'w' : 'd',
                      audio ? 'b' : 'c');
}

// A length in the stream's own units: samples for audio with a sample size, else chunks.
int64_t UnitsOf(const TAVIStream& s, int64_t first, int64_t count) {
    if (!s.CountsBytes() || count == 0)
        return count;
    const int64_t last = first + count - 1;
    const int64_t bytes = s.EntryBytesBefore(last) + s.EntrySize(last) - s.EntryBytesBefore(first);
    return bytes / s.Header.dwSampleSize;
}

uint32_t Clamp32(int64_t v) {
    return uint32_t(std::clamp<int64_t>(v, 0, UINT32_MAX));
}

std::vector<TIxRun> RunsOf(const TAVIStream& s) {
    std::vector<TIxRun> runs;
    TAVIIndexEntry e;
    for (int64_t i = 0; i < int64_t(s.EntryCount()) && s.GetEntry(i, e); ++i) {
        const int64_t header = e.Offset - 8;
        if (runs.empty() || header - runs.back().Base > MaxSpan || header < runs.back().Base)
            runs.push_back(TIxRun{i, 0, header});
        ++runs.back().Count;
    }
    return runs;
}

// Lengths say what was recovered, and the file's own super indexes are hidden, since they
// point at what the rebuild found wrong.
void PatchHeaders(std::vector<uint8_t>& head, size_t from, size_t end, const TAVIFileReader& r,
                  int& strh) {
    const TAVIStream* video = r.VideoStream();
    const uint32_t frames = video ? video->EntryCount() : 0;
    for (size_t p = from; p + 8 <= end;) {
        const uint32_t id = GetU32(&head[p]);
        const uint32_t size = GetU32(&head[p + 4]);
        const size_t data = p + 8;
        const size_t stop = size > end - data ? end : data + size;
        if (id == ckLIST && data + 4 <= stop)
            PatchHeaders(head, data + 4, stop, r, strh);
        else if (id == ckIndx)
            PutU32(&head[p], ckJUNK);
        else if (id == ckAvih && stop - data >= 20)
            PutU32(&head[data + 16], frames);
        else if (id == ckDmlh && stop - data >= 4)
            PutU32(&head[data], frames);
        else if (id == ckStrh && stop - data >= 36 && strh < r.StreamCount()) {
            const TAVIStream& s = r.Streams(strh++);
            PutU32(&head[data + 32], Clamp32(UnitsOf(s, 0, s.EntryCount())));
        }
        p = stop + (stop & 1);
    }
}

void Append(std::vector<uint8_t>& to, uint32_t id, uint32_t size) {
    const size_t at = to.size();
    to.resize(at + 8);
    PutU32(&to[at], id);
    PutU32(&to[at + 4], size);
}

// The standard index of one run, at the end of tail.
void AppendStdIndex(std::vector<uint8_t>& tail, const TStreamRuns& s, const TIxRun& run,
                    int64_t shift) {
    const uint32_t ix = MakeFourCC('i', 'x', char(s.ChunkId), char(s.ChunkId >> 8));
    Append(tail, ix, uint32_t(24 + StdEntryBytes * run.Count));
    size_t at = tail.size();
    tail.resize(at + 24 + StdEntryBytes * run.Count, 0);
    PutU16(&tail[at], 2);
    tail[at + 3] = 1; // an index of chunks
    PutU32(&tail[at + 4], uint32_t(run.Count));
    PutU32(&tail[at + 8], s.ChunkId);
    PutU64(&tail[at + 12], uint64_t(run.Base + shift));
    at += 24;
    TAVIIndexEntry e;
    for (int64_t i = run.First; i < run.First + run.Count; ++i, at += StdEntryBytes) {
        s.Stream->GetEntry(i, e);
        PutU32(&tail[at], uint32_t(e.Offset - run.Base));
        PutU32(&tail[at + 4], e.Size | (e.KeyFrame ? 0u : 0x80000000u));
    }
}

// The standard indexes of a stream at the end of tail, and its super index pointing at them.
void AppendIndexes(std::vector<uint8_t>& head, std::vector<uint8_t>& tail, const TStreamRuns& s,
                   int64_t shift, uint64_t tailStart) {
    uint8_t* super = &head[s.SuperAt + 8];
    PutU16(super, 4);
    PutU32(super + 4, uint32_t(s.Runs.size()));
    PutU32(super + 8, s.ChunkId);
    uint8_t* entry = super + 24;
    for (const TIxRun& run : s.Runs) {
        const size_t at = tail.size();
        AppendStdIndex(tail, s, run, shift);
        PutU64(entry, tailStart + at);
        PutU32(entry + 8, uint32_t(tail.size() - at));
        PutU32(entry + 12, Clamp32(UnitsOf(*s.Stream, run.First, run.Count)));
        entry += SuperEntryBytes;
    }
}

} // namespace

int64_t FileChangeTime(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return 0;
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

std::shared_ptr<const TRepairedLayout> TRepairedLayout::Build(const TAVIFileReader& reader) {
    std::shared_ptr<TRepairedLayout> l(new TRepairedLayout);
    l->Path = reader.FileName();
    l->ChangeTime = FileChangeTime(l->Path);
    const TOSFile file = TOSFile::OpenRead(l->Path);
    l->FileSize = file.Size();
    l->DataFrom = reader.MoviDataPos();
    const int64_t listAt = l->DataFrom - 12;
    l->Head.resize(size_t(listAt));
    if (file.ReadAt(l->Head.data(), listAt, 0) != listAt)
        throw EZarvexError("The file has changed since it was opened");
    int strh = 0;
    PatchHeaders(l->Head, 12, l->Head.size(), reader, strh);

    std::vector<TStreamRuns> streams;
    for (int k = 0; k < std::min(reader.StreamCount(), 100); ++k) {
        const TAVIStream& s = reader.Streams(k);
        TStreamRuns runs{&s, ChunkIdOf(k, s), RunsOf(s), 0};
        if (!runs.Runs.empty())
            streams.push_back(std::move(runs));
    }
    for (TStreamRuns& s : streams) {
        s.SuperAt = l->Head.size();
        Append(l->Head, ckIndx, uint32_t(24 + SuperEntryBytes * s.Runs.size()));
        l->Head.resize(l->Head.size() + 24 + SuperEntryBytes * s.Runs.size(), 0);
    }
    l->DataLength = uint64_t(std::max<int64_t>(l->FileSize - l->DataFrom, 0));
    Append(l->Head, ckLIST, Clamp32(int64_t(std::min<uint64_t>(4 + l->DataLength, 0xFFFFFFFE))));
    l->Head.resize(l->Head.size() + 4);
    PutU32(&l->Head[l->Head.size() - 4], listMovi);

    const uint64_t tailStart = l->Head.size() + l->DataLength;
    l->Tail.resize(tailStart & 1, 0); // chunks start on even positions
    for (TStreamRuns& s : streams)
        AppendIndexes(l->Head, l->Tail, s, int64_t(l->Head.size()) - l->DataFrom, tailStart);
    PutU32(&l->Head[4], Clamp32(int64_t(std::min<uint64_t>(l->Size() - 8, 0xFFFFFFFE))));
    return l;
}

int64_t TRepairedLayout::Read(const TOSFile& file, uint64_t position, void* destination,
                              int64_t count) const {
    auto* out = static_cast<uint8_t*>(destination);
    const uint64_t dataAt = Head.size();
    const uint64_t tailAt = dataAt + DataLength;
    int64_t done = 0;
    while (done < count && position < Size()) {
        const int64_t want = count - done;
        int64_t got = 0;
        if (position < dataAt) {
            got = std::min<int64_t>(want, int64_t(dataAt - position));
            std::memcpy(out + done, &Head[position], size_t(got));
        } else if (position < tailAt) {
            got = std::min<int64_t>(want, int64_t(tailAt - position));
            got = file.ReadAt(out + done, got, DataFrom + int64_t(position - dataAt));
            if (got <= 0)
                break; // the source shrank since: the end comes early
        } else {
            got = std::min<int64_t>(want, int64_t(Size() - position));
            std::memcpy(out + done, &Tail[position - tailAt], size_t(got));
        }
        done += got;
        position += uint64_t(got);
    }
    return done;
}

} // namespace zarvex
