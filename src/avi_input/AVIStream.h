// One stream of an opened AVI file: its headers and its complete chunk index in memory.
#pragma once

#include "avi_input/AVIRecords.h"
#include "avi_input/ChunkWindow.h"
#include "avi_input/MemBuf.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zarvex {

class TAVIFileReader;
class TFileReadBuffer;

struct TAVIIndexEntry {
    int64_t Offset = 0; // payload position, never the chunk header's
    uint32_t Size = 0;
    uint8_t KeyFrame = 0;
    int64_t BytesBefore = 0;
};

// A palette change chunk ('##pc') of a palettised stream. It is no frame: it gives new colours
// to the frames from entry Before on.
struct TPaletteChange {
    int64_t Offset = 0; // payload position
    uint32_t Size = 0;
    int64_t Before = 0;
};

// Entries are stored packed, 21 bytes each, so that a million chunks cost about 20 MiB.
inline constexpr uint32_t IndexEntryBytes = 21;

class TAVIStream {
public:
    explicit TAVIStream(TAVIFileReader& reader);
    TAVIStream(const TAVIStream&) = delete;
    TAVIStream& operator=(const TAVIStream&) = delete;

    AVIStreamHeader Header;
    std::vector<uint8_t> Format;
    uint16_t StreamNumber = 0; // the two number characters of its chunk ids, first in the low byte
    int32_t Cursor = 0;
    int32_t Width = 0;
    int32_t Height = 0;

    uint32_t EntryCount() const { return Index.Size() / IndexEntryBytes; }
    bool GetEntry(int64_t i, TAVIIndexEntry& entry) const;
    bool ReadChunk(int64_t i, void* destination) const;
    // The payload of entry i inside the window (refilled as needed), valid until the window's next
    // use; null on a short read, as ReadChunk's false.
    const uint8_t* ReadChunk(int64_t i, TChunkWindow& window) const;
    // Where chunk i's own header is, when that, its payload and its pad byte all lie inside
    // the file, for copying the chunk as it stands; else -1.
    int64_t ChunkSpan(int64_t i) const;
    // Chunk i's payload; empty when it is empty, unreadable or claims to reach past the file's
    // end, so that no size read from a damaged index drives an allocation.
    std::vector<uint8_t> ChunkBytes(int64_t i) const;
    // The file the chunks are read from.
    const TOSFile& File() const;
    uint32_t EntrySize(int64_t i) const;
    int64_t EntryBytesBefore(int64_t i) const;
    bool IsKeyFrame(int64_t i) const;
    double EntryTime(int64_t i) const;
    // True when the stream's times count bytes (dwSampleSize > 0) rather than entries. Video
    // always counts frames: one entry is one frame whatever its sample size says.
    bool CountsBytes() const;
    // A stream whose header has a time base of zero (XSUB subtitles as ffmpeg writes them): its
    // entries take their times from their payloads or their place among the video chunks.
    bool Untimed() const { return Header.dwRate == 0 || Header.dwScale == 0; }
    int32_t PrevKeyFrame(int64_t i) const;
    // Where a key-frame copy from frame i starts: i when it is a key frame, else the key frame
    // before it, else the first frame.
    int32_t CopyStart(int64_t i) const {
        return IsKeyFrame(i) ? int32_t(i) : std::max(PrevKeyFrame(i), 0);
    }
    int32_t NextKeyFrame(int64_t i) const;

    int64_t AddEntry(uint32_t size, bool keyFrame, int64_t position);
    // A palette change standing before the next entry added.
    void AddPaletteChange(uint32_t size, int64_t position);
    // Palette changes found apart from the entries, once all are loaded: each precedes the
    // first entry after it in the file. Those known already are passed over.
    void PlacePaletteChanges(std::vector<TPaletteChange> changes);
    const std::vector<TPaletteChange>& PaletteChanges() const { return FPaletteChanges; }
    // True for a video stream of 8 bits or fewer per pixel, whose pictures index a palette.
    bool IsPalettised() const;
    // The format with the palette in effect at entry i: the colour table after the changes
    // before it.
    std::vector<uint8_t> FormatAt(int64_t i) const;

private:
    friend class TAVIFileReader;

    // Everything other holds but its reader and cursor.
    void CopyFrom(const TAVIStream& other);
    void SetStrl(int64_t pos, uint32_t size) {
        StrlPos = pos;
        StrlSize = size;
    }
    void ParseHeaders();
    void CheckHeaders() const;
    void ApplyRepairs();
    void LoadOpenDMLIndex();
    void ClearEntries() {
        Index.Clear();
        RunningTotal = 0;
        UntimedTimes.clear();
        FPaletteChanges.clear();
    }
    void LoadStdIndex(TFileReadBuffer& buffer, int64_t position);
    bool IsPaletteChangeAt(int64_t offset, uint32_t size) const;
    bool InRange(int64_t i) const { return i >= 0 && i < int64_t(EntryCount()); }
    const uint8_t* EntryAt(int64_t i) const { return Index.Data() + IndexEntryBytes * i; }

    int64_t StrlPos = 0;
    int64_t IndxPos = -1;
    uint32_t StrlSize = 0;
    uint32_t IndxSize = 0;
    int64_t RunningTotal = 0;
    TAVIFileReader& Reader;
    TMemoryBuf Index;
    std::vector<double> UntimedTimes; // per entry, for an untimed stream
    std::vector<TPaletteChange> FPaletteChanges;
    bool IntraOnly = false; // every picture is a key frame, whatever the index says
};

} // namespace zarvex
