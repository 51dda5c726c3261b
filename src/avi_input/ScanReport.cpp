#include "avi_input/ScanReport.h"

#include <string>

namespace zarvex {

namespace {

std::string KeysText(TKeyFrameSource s) {
    switch (s) {
    case TKeyFrameSource::Derived:
        return "key frames derived from the pictures";
    case TKeyFrameSource::EveryFrame:
        return "every frame a key frame";
    case TKeyFrameSource::FirstFrameOnly:
        break;
    }
    return "key frames: first frame only";
}

std::string StreamLine(size_t i, const TScanStreamResult& s) {
    std::string line = "Stream " + std::to_string(i + 1) + ": ";
    if (!s.Video)
        return line + std::to_string(s.Chunks) + " chunks";
    return line + std::to_string(s.Chunks) + " frames, " + std::to_string(s.KeyFrames) +
           " key frames (" + KeysText(s.Keys) + ")";
}

} // namespace

void TIndexScanReport::AddSkip(int64_t start, int64_t length) {
    if (length <= 0)
        return;
    SkippedBytes += uint64_t(length);
    ++SkipCount;
    if (Skips.size() < MaxSkipRanges)
        Skips.push_back({start, length});
}

std::vector<std::string> ScanReportLines(const TIndexScanReport& r) {
    std::vector<std::string> lines;
    if (!r.Rebuilt)
        return lines;
    lines.push_back("Index: rebuilt by scanning (" + r.Reason + ")");
    for (size_t i = 0; i < r.Streams.size(); ++i)
        lines.push_back(StreamLine(i, r.Streams[i]));
    lines.push_back("Data ends at byte " + std::to_string(r.DataEnd) + " of " +
                    std::to_string(r.FileSize));
    if (r.CutOffChunk >= 0)
        lines.push_back("A last chunk cut off at byte " + std::to_string(r.CutOffChunk) +
                        " is left out");
    if (r.SkipCount > 0) {
        std::string skips = "Skipped " + std::to_string(r.SkippedBytes) + " bytes in " +
                            std::to_string(r.SkipCount) + " places:";
        for (const TSkippedBytes& s : r.Skips)
            skips += " " + std::to_string(s.Start) + "+" + std::to_string(s.Length);
        if (r.SkipCount > r.Skips.size())
            skips += " ...";
        lines.push_back(skips);
    }
    return lines;
}

std::string ScanReportSummary(const TIndexScanReport& r) {
    uint64_t frames = 0, others = 0;
    bool firstOnly = false;
    for (const TScanStreamResult& s : r.Streams) {
        (s.Video ? frames : others) += s.Chunks;
        firstOnly = firstOnly || (s.Video && s.Keys == TKeyFrameSource::FirstFrameOnly);
    }
    std::string line = "index rebuilt by scanning (" + r.Reason + "): " + std::to_string(frames) +
                       " video frames and " + std::to_string(others) +
                       " other chunks recovered, data ends at byte " + std::to_string(r.DataEnd) +
                       " of " + std::to_string(r.FileSize);
    if (r.SkipCount > 0)
        line += ", " + std::to_string(r.SkippedBytes) + " bytes skipped";
    if (firstOnly)
        line += "; key frames: first frame only";
    return line;
}

} // namespace zarvex
