// What an index rebuilt by scanning recovered, kept by the reader and shown to the user.
#pragma once

#include "avi_input/ScanKeys.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zarvex {

struct TScanStreamResult {
    bool Video = false;
    uint32_t Chunks = 0;
    uint32_t KeyFrames = 0;
    TKeyFrameSource Keys = TKeyFrameSource::EveryFrame;
};

struct TSkippedBytes {
    int64_t Start = 0;
    int64_t Length = 0;
};

struct TIndexScanReport {
    static constexpr size_t MaxSkipRanges = 5;

    bool Rebuilt = false;
    std::string Reason; // why the index was rebuilt
    int64_t FileSize = 0;
    int64_t DataEnd = 0;      // end of the last chunk recovered
    int64_t CutOffChunk = -1; // header position of a last chunk cut off by the end of the file
    uint64_t SkippedBytes = 0;
    uint64_t SkipCount = 0;
    std::vector<TSkippedBytes> Skips; // the first MaxSkipRanges ranges
    std::vector<TScanStreamResult> Streams;

    void AddSkip(int64_t start, int64_t length);
};

// The report as text lines, for the command line and the windows.
std::vector<std::string> ScanReportLines(const TIndexScanReport& report);
// One line: what was recovered and how.
std::string ScanReportSummary(const TIndexScanReport& report);

} // namespace zarvex
