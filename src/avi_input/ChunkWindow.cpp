#include "avi_input/ChunkWindow.h"

#include "support/Errors.h"

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

namespace zarvex {

TChunkWindow::~TChunkWindow() {
    Unmap();
}

void TChunkWindow::Unmap() {
    if (Map)
        ::munmap(Map, size_t(MapLength));
    Map = nullptr;
    MapLength = 0;
}

const uint8_t* TChunkWindow::Get(const TOSFile& file, int64_t fileSize, int64_t position,
                                 uint32_t count) {
    const int64_t end = position + int64_t(count);
    if (Map && position >= MapPosition && end <= MapPosition + MapLength)
        return Map + (position - MapPosition);
    Unmap();
    const int64_t page = ::sysconf(_SC_PAGESIZE);
    const int64_t start = position - position % page;
    const int64_t length = std::min(std::max(MapBytes, end - start), fileSize - start);
    // Touching a mapping past the file's current end kills the process, so a source that has
    // shrunk since it was opened is read by copy, which reports the missing bytes instead.
    int64_t now = -1;
    try {
        now = file.Size();
    } catch (const EOSError&) {
    }
    if (length <= 0 || now < start + length)
        return ReadCopy(file, position, count);
    void* map = ::mmap(nullptr, size_t(length), PROT_READ, MAP_SHARED | MAP_POPULATE,
                       file.Descriptor(), start);
    if (map == MAP_FAILED)
        return ReadCopy(file, position, count);
    ::madvise(map, size_t(length), MADV_WILLNEED);
    Map = static_cast<uint8_t*>(map);
    MapPosition = start;
    MapLength = length;
    return Map + (position - start);
}

const uint8_t* TChunkWindow::ReadCopy(const TOSFile& file, int64_t position, uint32_t count) {
    Copy.resize(std::max<size_t>(count, 1));
    try {
        if (file.ReadAt(Copy.data(), count, position) == int64_t(count))
            return Copy.data();
    } catch (const EOSError&) {
    }
    return nullptr;
}

} // namespace zarvex
