// What streams a file has, read from its headers without decoding. Internal to the player.
#pragma once

#include <cstdint>
#include <string>

namespace zarvex::media {

struct TStreamCounts {
    int Result = 0; // 0, or FFmpeg's code when the file does not open as media
    int Video = 0;  // cover pictures not counted
    int Audio = 0;
    int Other = 0;
    int64_t Duration = 0; // the container's, 100-ns units; 0 when unknown
};

TStreamCounts ProbeStreams(const std::string& path);

} // namespace zarvex::media
