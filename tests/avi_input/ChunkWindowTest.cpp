// The mapped read window of the copier: right bytes across window edges, and a source that
// shrinks while it is open gives a short read instead of a crash.
#include "avi_input/ChunkWindow.h"

#include "fixtures/Tools.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

uint8_t ByteAt(int64_t p) {
    return uint8_t((p * 131) ^ (p >> 11));
}

std::string MakeFile(const TTempDir& dir, int64_t size) {
    const std::string path = dir.File("data.bin");
    TOSFile f = TOSFile::Create(path);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    for (int64_t p = 0; p < size; ++p)
        bytes[size_t(p)] = ByteAt(p);
    f.WriteAt(bytes.data(), size, 0);
    return path;
}

bool Matches(const uint8_t* data, int64_t position, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        if (data[i] != ByteAt(position + i))
            return false;
    return true;
}

} // namespace

TEST(ChunkWindow, ReadsAcrossWindowsAndLargerThanOne) {
    TTempDir dir;
    const int64_t size = 2 * TChunkWindow::MapBytes + 5000;
    const TOSFile f = TOSFile::OpenRead(MakeFile(dir, size));
    TChunkWindow w;
    // Unaligned starts, a run crossing the first window's end, a step back, and one chunk larger
    // than a window reaching the file's last byte.
    const std::pair<int64_t, uint32_t> reads[] = {
        {1, 100},
        {4097, 70000},
        {TChunkWindow::MapBytes - 10, 20},
        {3, 7},
        {size - TChunkWindow::MapBytes - 1000, uint32_t(TChunkWindow::MapBytes + 1000)}};
    for (auto [pos, count] : reads) {
        SCOPED_TRACE(pos);
        const uint8_t* data = w.Get(f, size, pos, count);
        ASSERT_NE(data, nullptr);
        EXPECT_TRUE(Matches(data, pos, count));
    }
}

TEST(ChunkWindow, SourceCutShortAfterOpeningIsAShortRead) {
    TTempDir dir;
    const int64_t size = 1 << 20;
    const std::string path = MakeFile(dir, size);
    const TOSFile f = TOSFile::OpenRead(path);
    ASSERT_EQ(::truncate(path.c_str(), size / 2), 0);
    TChunkWindow w;
    const uint8_t* early = w.Get(f, size, 10, 100);
    ASSERT_NE(early, nullptr);
    EXPECT_TRUE(Matches(early, 10, 100));
    EXPECT_EQ(w.Get(f, size, size - 100, 50), nullptr);
}
