// Opens arbitrary bytes with the index rebuilt by scanning whenever it is found wanting, and
// reads every chunk the scan found.
#include "avi_input/AVIRead.h"

#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace zarvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int fd = memfd_create("avi", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size))
        return 0;
    TAVIFileReader reader;
    reader.IndexRebuild = TIndexRebuild::Always;
    try {
        reader.Open("/proc/self/fd/" + std::to_string(fd));
    } catch (const EZarvexError&) {
        return 0;
    }
    ScanReportLines(reader.ScanReport());
    ScanReportSummary(reader.ScanReport());
    std::vector<uint8_t> buffer;
    for (int i = 0; i < reader.StreamCount(); ++i) {
        const TAVIStream& s = reader.Streams(i);
        for (uint32_t e = 0; e < s.EntryCount(); ++e) {
            // A scanned entry always lies inside the file.
            buffer.resize(std::max<size_t>(s.EntrySize(e), 1));
            if (!s.ReadChunk(e, buffer.data()) && reader.ScanReport().Rebuilt)
                __builtin_trap();
        }
    }
    return 0;
}
