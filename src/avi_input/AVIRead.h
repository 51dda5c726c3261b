// Opens an AVI file on its own and loads the chunk index of every stream.
#pragma once

#include "avi_input/AVIRecords.h"
#include "avi_input/AVIStream.h"
#include "avi_input/FileBufs.h"
#include "avi_input/ScanReport.h"
#include "support/Errors.h"
#include "support/OSFile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zarvex {

class EAVIReadError : public EZarvexError {
public:
    using EZarvexError::EZarvexError;
};

struct TChunkInfo {
    uint32_t Id = 0;
    uint32_t ListType = 0;
    int64_t DataPos = 0;
    uint32_t Size = 0;
};

// What Open does with a file whose index is missing, cut off or stale.
enum class TIndexRebuild {
    Never,  // open with what the index holds; no index at all is a failure
    Ask,    // rebuild by scanning when OnRebuildQuestion answers true
    Always, // rebuild by scanning
};

class TAVIFileReader {
public:
    using TRebuildQuestionEvent = std::function<bool(const std::string& question)>;
    using TScanProgressEvent = std::function<void(double percent, bool& cancel)>;

    static constexpr const char* MissingIndexQuestion =
        "The index is not found. Rebuild it by reading the whole file?";
    static constexpr const char* DamagedIndexQuestion =
        "The index of this file is damaged. Rebuild it by reading the whole file?";

    TAVIFileReader();
    ~TAVIFileReader();
    TAVIFileReader(const TAVIFileReader&) = delete;
    TAVIFileReader& operator=(const TAVIFileReader&) = delete;

    void Open(const std::string& fileName);
    // Opens the file that other has open, with its streams and index as loaded (a rebuilt
    // index too) without reading them again: a job's own reader beside the viewer's.
    void OpenCopyOf(const TAVIFileReader& other);
    void Close();

    int StreamCount() const { return int(FStreams.size()); }
    TAVIStream& Streams(int i) const;
    TAVIStream* VideoStream() const { return FVideoStream; }
    TAVIStream* AudioStream() const { return FAudioStream; }
    bool HasOpenDMLIndex() const { return FHasOpenDMLIndex; }
    const MainAVIHeader& MainHeader() const { return FMainHeader; }
    const std::string& FileName() const { return FFileName; }
    bool IsOpen() const { return Handle.IsOpen(); }
    // The first byte after the type of the first 'movi' list.
    int64_t MoviDataPos() const { return MoviPos; }

    TIndexRebuild IndexRebuild = TIndexRebuild::Never;
    TRebuildQuestionEvent OnRebuildQuestion; // empty: no
    TScanProgressEvent OnScanProgress;       // the caller may pump its interface here
    // Rebuilt is false when the file's own index was used.
    const TIndexScanReport& ScanReport() const { return FScanReport; }

    int64_t GetFileSize() const;
    void ResetCursors();
    // The next entry in time over all streams; s is -1 once every stream is exhausted.
    void NextChunk(int& s, int& e);

private:
    friend class TAVIStream;

    void Seek(int64_t position) { Pos = position; }
    int64_t Position() const { return Pos; }
    uint32_t ReadBytes(void* destination, uint32_t count);
    void WalkList(uint32_t size);
    const TChunkInfo* FindChunk(uint32_t id, uint32_t listType) const;
    void FreeChunks() { Chunks.clear(); }

    void ParseFileHeaders();
    bool IsHeaderListAt(int64_t position);
    void WalkPastMainHeader(TChunkInfo avih);
    void LoadIdx1();
    // owner maps the two number characters of a chunk id to a stream, or -1.
    int64_t Idx1Base(const std::vector<int32_t>& owner);
    void CountEntries(uint64_t added);
    // The palette changes that 'idx1' lists beside an OpenDML index, which cannot tell them.
    void LoadIdx1PaletteChanges();
    void LoadIndex();
    // The checks of a loaded index and the rebuild, for IndexRebuild other than Never.
    void LoadOrRebuildIndex();
    std::string IndexTrouble(bool loadFailed);
    bool IndexIsStale() const;
    bool IndexStopsShort();
    int64_t DataEnd();
    bool IsDataHeaderAt(int64_t position, const TAVIStream* stream) const;
    // False, with no entries left, when cancelled through OnScanProgress.
    bool RebuildIndex(const std::string& reason);
    void TimeUntimedStreams();

    TOSFile Handle;
    std::unique_ptr<TFileReadBuffer> Walker; // header reads go through one aligned window
    int64_t Pos = 0;
    int64_t FFileSize = 0;
    uint64_t TotalEntries = 0;
    std::string FFileName;
    std::vector<TChunkInfo> Chunks;
    MainAVIHeader FMainHeader;
    int64_t HdrlPos = 0;
    int64_t MoviPos = 0;
    int64_t Idx1Pos = -1;
    uint32_t HdrlSize = 0;
    uint32_t MoviSize = 0;
    uint32_t Idx1Size = 0;
    std::vector<std::unique_ptr<TAVIStream>> FStreams;
    TAVIStream* FVideoStream = nullptr;
    TAVIStream* FAudioStream = nullptr;
    bool FHasOpenDMLIndex = false;
    bool FIndexCutShort = false; // a standard index lies beyond the end of the file
    uint32_t RiffSize = 0;
    TIndexScanReport FScanReport;
};

} // namespace zarvex
