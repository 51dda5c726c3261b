#include "info/FileInfoText.h"

#include "avi_input/AVIRead.h"
#include "avi_input/FourCC.h"
#include "support/Endian.h"

namespace zarvex {

std::string StreamInfoLine(const TAVIStream& stream, int i) {
    const AVIStreamHeader& h = stream.Header;
    std::string codec;
    if (h.fccType == streamAuds && stream.Format.size() >= 2)
        codec = std::to_string(GetU16(stream.Format.data()));
    else
        codec = FourCCToStr(h.fccHandler);
    return "   " + std::to_string(i + 1) + ". " + FourCCToStr(h.fccType) + ":" + codec +
           " - Sample size: " + std::to_string(h.dwSampleSize) +
           " - Start frame: " + std::to_string(h.dwStart) +
           " - Initial frames: " + std::to_string(h.dwInitialFrames);
}

std::vector<std::string> FileInfoLines(const TAVIFileReader& reader) {
    if (reader.StreamCount() == 0)
        return {"The file is not opened"};
    std::vector<std::string> lines;
    lines.push_back("File size: " + std::to_string(reader.GetFileSize() / 1024 / 1024) + "MB");
    lines.push_back("Streams:");
    for (int i = 0; i < reader.StreamCount(); ++i)
        lines.push_back(StreamInfoLine(reader.Streams(i), i));
    return lines;
}

double StreamDuration(const TAVIStream& stream) {
    const uint32_t n = stream.EntryCount();
    if (n == 0)
        return 0.0;
    // An untimed stream lasts until its last entry starts.
    if (stream.Untimed())
        return stream.EntryTime(n - 1);
    const AVIStreamHeader& h = stream.Header;
    double units =
        !stream.CountsBytes()
            ? double(n)
            : double(stream.EntryBytesBefore(n - 1) + stream.EntrySize(n - 1)) / h.dwSampleSize;
    return units / h.dwRate * h.dwScale;
}

} // namespace zarvex
