// Plain-text facts about an opened AVI file, as the information window and the CLI show them.
#pragma once

#include <string>
#include <vector>

namespace zarvex {

class TAVIFileReader;
class TAVIStream;

// "File size: 700MB", "Streams:", then one line per stream; "The file is not opened" without
// streams.
std::vector<std::string> FileInfoLines(const TAVIFileReader& reader);

// "   1. vids:XVID - Sample size: 0 - Start frame: 0 - Initial frames: 0" for stream i.
std::string StreamInfoLine(const TAVIStream& stream, int i);

// End time of the stream's last entry in seconds: all its samples, or all its chunks.
double StreamDuration(const TAVIStream& stream);

} // namespace zarvex
