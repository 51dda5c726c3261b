// Opens arbitrary bytes as an AVI file and asks every question of every stream.
#include "avi_input/AVIRead.h"
#include "avi_input/LeadingPictures.h"
#include "avi_input/RefMarking.h"
#include "info/FileInfoText.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace zarvex;

namespace {

void QueryEntry(const TAVIStream& s, int64_t i, std::vector<uint8_t>& buffer) {
    TAVIIndexEntry e;
    s.GetEntry(i, e);
    const uint32_t size = s.EntrySize(i);
    s.EntryBytesBefore(i);
    s.IsKeyFrame(i);
    s.EntryTime(i);
    if (size <= (1u << 20)) {
        buffer.resize(std::max<size_t>(size, 1));
        s.ReadChunk(i, buffer.data());
    }
}

void QueryStream(const TAVIStream& s) {
    std::vector<uint8_t> buffer;
    const int64_t n = s.EntryCount();
    for (int64_t i = -1; i <= n; ++i)
        QueryEntry(s, i, buffer);
    // The key-frame searches are linear scans: probe both ends and a stride between.
    const int64_t stride = std::max<int64_t>(1, n / 64);
    for (int64_t i = -1; i <= n + 1; i += (i < 8 || i > n - 8) ? 1 : stride) {
        s.PrevKeyFrame(i);
        s.NextKeyFrame(i);
    }
    StreamDuration(s);
    // What a copy from the first entries reads of their slices.
    for (int64_t i = 0; i < std::min<int64_t>(n, 4); ++i) {
        LeadingPictures(s, i);
        RefMarkingRepairs(s, i, i + 1, 0);
        RefMarkingRepairs(s, i, i, 3);
        PictureOrderOf(s, i);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int fd = memfd_create("avi", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size))
        return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    TAVIFileReader reader;
    try {
        reader.Open(path);
    } catch (const EZarvexError&) {
    }
    reader.VideoStream();
    reader.AudioStream();
    reader.HasOpenDMLIndex();
    reader.GetFileSize();
    FileInfoLines(reader);
    for (int i = 0; i < reader.StreamCount(); ++i)
        QueryStream(reader.Streams(i));
    reader.ResetCursors();
    int s = 0, e = 0;
    for (reader.NextChunk(s, e); s >= 0; reader.NextChunk(s, e)) {
    }
    reader.Close();
    return 0;
}
