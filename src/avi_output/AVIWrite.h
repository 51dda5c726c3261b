// Writes an AVI file in the OpenDML layout: RIFF lists of about 1 GiB, 'indx' super indexes over
// 'ix##' standard indexes, and a legacy 'idx1' for the first RIFF list.
#pragma once

#include "avi_input/AVIRecords.h"
#include "avi_input/MemBuf.h"
#include "avi_output/GatherWriter.h"
#include "support/OSFile.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zarvex {

class TAVIFileWriter {
public:
    TAVIFileWriter();
    // Completes an open file, so that a writer dropped on a failure never leaves one unreadable.
    ~TAVIFileWriter();
    TAVIFileWriter(const TAVIFileWriter&) = delete;
    TAVIFileWriter& operator=(const TAVIFileWriter&) = delete;

    // 1: 'idx1' only; 2: OpenDML indexes only; 3: both. Set before Open.
    uint8_t IndexKind = 3;
    // The video frames the caller means to write, for the message of a file cut short; 0: unknown.
    uint32_t ExpectedFrames = 0;
    // Called between the pieces of a long copy in the kernel (CopyChunk), so that the caller can
    // report and cancel. False stops the copy: the chunks not wholly in the file are dropped, the
    // file is completed with those before them and closed, and later writes do nothing.
    std::function<bool()> OnCopyPiece;

    void Open(const std::string& fileName, uint32_t aviFlags);
    void AddStream(int32_t streamId, const AVIStreamHeader& header, const uint8_t* format,
                   int32_t formatSize);
    void WriteChunk(int32_t streamId, const uint8_t* data, bool keyFrame, int32_t size);
    // A palette change ('##pc') for the stream's frames from its next one on; it is not a frame.
    void WritePaletteChange(int32_t streamId, const uint8_t* data, int32_t size);
    // The id this file's chunks of a stream carry ('00dc', '01wb', ...); 0 for an unknown stream.
    uint32_t ChunkId(int32_t streamId) const;
    // Copies a chunk of another file as it stands, header and pad byte included, without reading
    // it here: its header must already read ChunkId(streamId) and size. Adjacent chunks of the
    // source go in one copy. Once such a run is long, a 'JUNK' filler goes in front of it that
    // puts it at the source's offset within 64 KiB, which the system copies markedly faster.
    void CopyChunk(int32_t streamId, const TOSFile& source, int64_t headerPosition, bool keyFrame,
                   int32_t size);
    // Completes the file and closes it; does nothing when no file is open. When the disk fills
    // or the source shrinks, any of these drops the trailing chunks that no longer fit with their
    // indexes, completes the file and raises EZarvexError naming the file and what it holds.
    void Close();
    // Close for the paths where a failure is already being reported: errors are swallowed.
    void CloseQuietly() noexcept;
    bool IsOpen() const { return Handle.IsOpen(); }
    // "NAME was completed with N of M frames.", counting the video chunks written so far.
    std::string HoldsText() const;

    static constexpr uint32_t RiffLimit = 1u << 30;
    static constexpr uint32_t StdIndexFlushAt = 8000;
    static constexpr uint32_t SuperIndexPayload = 32728;
    static constexpr uint32_t SuperIndexLimit = 2044;
    static constexpr int64_t CopyAlignment = 65536;
    static constexpr int64_t AlignRunsFrom = 4 << 20;

private:
    struct TStreamSlot {
        uint32_t ChunkId = 0; // 0: free
        uint32_t SampleSize = 0;
        uint32_t ChunkCount = 0;
        uint64_t TotalBytes = 0;
        uint64_t HeaderPos = 0;
        uint64_t SuperIndexPos = 0;
        uint32_t PendingBytes = 0;
        uint32_t LargestChunk = 0;
        std::unique_ptr<TMemoryBuf> SuperIndex;
        std::unique_ptr<TMemoryBuf> StdIndex;
    };

    bool WithIdx1() const { return IndexKind == 1 || IndexKind == 3; }
    bool WithOpenDML() const { return IndexKind == 2 || IndexKind == 3; }
    int64_t Pos() const { return Out->Position(); }

    void PutChunkHeader(uint32_t id, uint32_t size);
    void PutListHeader(uint32_t id, uint32_t size, uint32_t type);
    void PutJunk(uint32_t totalSize);
    TStreamSlot& BeginChunk(int32_t streamId, int32_t size);
    void IndexChunk(TStreamSlot& slot, uint64_t headerPosition, bool keyFrame, int32_t size);
    void AlignRun();
    void PatchSize(uint64_t headerPos);
    void SetMainVideo(int32_t streamId, const AVIStreamHeader& header, const uint8_t* format,
                      int32_t formatSize);
    void CloseHeaders();
    bool WouldOverflowRiff(int32_t size) const;
    void StartContinuation();
    void FlushStdIndex(TStreamSlot& slot);
    void FlushAllStdIndexes();
    void WriteLegacyIndex();
    void FinishFile();
    void WriteIndexesAndHeaders();
    void FinishStreamHeaders(TStreamSlot& slot);
    void WriteStdIndex(TStreamSlot& slot);
    void Release();
    // Runs a step of writing; a full disk or a shrunken source ends in Salvage.
    template <class TStep> void Guarded(TStep step);
    [[noreturn]] void Salvage(const std::string& reason);
    // Completes the file with its chunks wholly written and closes it; HoldsText() of it. Raises
    // reason with "could not be completed" when not even that fits.
    std::string CutBack(const std::string& reason);
    int64_t DropChunksPast(int64_t limit);

    TOSFile Handle;
    std::string FileName;
    std::unique_ptr<TGatherWriter> Out;
    // The end of the last thing other than a data chunk (headers, an index, a RIFF list's
    // start): a file cut short is never cut before it.
    int64_t Checkpoint = 0;
    uint64_t RiffPos = 0;
    uint64_t HdrlPos = 0;
    uint64_t MoviPos = 0;
    uint64_t DmlhPos = 0;
    MainAVIHeader MainHeader;
    uint32_t TotalFramesAll = 0; // the 'dmlh' payload's first field; the rest are zero
    bool HeadersOpen = false;
    int32_t MainVideoSlot = -1;
    bool FirstRiff = true;
    // The run of copied chunks not yet aligned: where it starts in both files, and the index
    // entries written for it, which move with it.
    struct TCopyRun {
        bool Open = false;
        int64_t OutputStart = 0;
        int64_t SourceStart = 0;
        uint32_t LegacyFrom = 0;
        std::vector<std::pair<int32_t, uint32_t>> StdEntries; // slot, byte offset
    } Run;
    uint64_t BaseOffset = 0;
    std::array<TStreamSlot, 100> Slots;
    TMemoryBuf LegacyIndex;
};

// Sets a writer's OnCopyPiece for as long as it lives.
class TCopyPieceScope {
public:
    TCopyPieceScope(TAVIFileWriter& writer, std::function<bool()> onPiece) : Writer(writer) {
        writer.OnCopyPiece = std::move(onPiece);
    }
    ~TCopyPieceScope() { Writer.OnCopyPiece = nullptr; }
    TCopyPieceScope(const TCopyPieceScope&) = delete;
    TCopyPieceScope& operator=(const TCopyPieceScope&) = delete;

private:
    TAVIFileWriter& Writer;
};

// True for the failures of a write that a smaller file would have avoided.
bool IsRoomError(int code);
// What a full disk or a file over the size limit is called in the message.
std::string RoomFailure(int code);

template <class TStep> void TAVIFileWriter::Guarded(TStep step) {
    if (!Out)
        return; // stopped through OnCopyPiece
    try {
        step();
    } catch (const ECopyStopped&) {
        CutBack("The copy was stopped.");
    } catch (const ESourceChanged& e) {
        Salvage(e.what());
    } catch (const EOSError& e) {
        if (!IsRoomError(e.Code))
            throw;
        Salvage(RoomFailure(e.Code));
    }
}

} // namespace zarvex
