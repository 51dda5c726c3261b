// Rebuilds the chunk index of an AVI file by walking its data chunk by chunk, for files whose
// index is missing, cut off or stale.
#pragma once

#include "avi_input/ScanReport.h"
#include "support/OSFile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace zarvex {

class TAVIStream;

// The last two characters of a data chunk's id: 'dc', 'db', 'wb', 'pc', 'tx', 'sb' or '__'.
bool IsDataChunkSuffix(uint16_t suffix);

class TIndexScan {
public:
    using TProgressEvent = std::function<void(double percent, bool& cancel)>;

    // streams are the file's streams in order, with no entries yet.
    TIndexScan(const TOSFile& handle, int64_t fileSize, const std::vector<TAVIStream*>& streams);
    ~TIndexScan();
    TIndexScan(const TIndexScan&) = delete;
    TIndexScan& operator=(const TIndexScan&) = delete;

    // Adds an entry for every data chunk from start to the end of the file, entering 'AVIX'
    // lists on the way; false when cancelled through progress.
    bool Run(int64_t start, TIndexScanReport& report, const TProgressEvent& progress);

private:
    enum class TKind { Data, Enter, Skip, CutOff, Invalid };
    class TBuffer;

    TKind Classify(int64_t pos, int& stream, uint32_t& size);
    bool Confirmed(int64_t next);
    void AddChunk(int s, int64_t pos, uint32_t size, TIndexScanReport& report);

    int64_t FileSize;
    std::vector<TAVIStream*> Streams;
    std::vector<int16_t> Owner; // stream of the two number characters of a chunk id, or -1
    std::vector<TKeyFrameJudge> Judges;
    std::unique_ptr<TBuffer> Buffer;
};

} // namespace zarvex
