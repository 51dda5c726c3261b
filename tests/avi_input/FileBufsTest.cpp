#include "avi_input/FileBufs.h"
#include "avi_input/FileLib.h"
#include "avi_input/MemBuf.h"
#include "fixtures/AviBuilder.h"
#include "fixtures/Tools.h"

#include <fcntl.h>
#include <unistd.h>
#include <vector>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

// A file of n bytes whose byte at position p is p mod 251, so any misplaced copy shows.
class ReadBufferTest : public ::testing::Test {
protected:
    void Make(size_t n) {
        std::vector<uint8_t> bytes(n);
        for (size_t i = 0; i < n; ++i)
            bytes[i] = uint8_t(i % 251);
        WriteFileBytes(Dir.File("data"), bytes);
        File = TOSFile::OpenRead(Dir.File("data"));
    }
    static void ExpectPattern(const uint8_t* p, uint32_t count, int64_t from) {
        for (uint32_t i = 0; i < count; ++i)
            ASSERT_EQ(p[i], uint8_t((from + i) % 251)) << "byte " << i;
    }
    TTempDir Dir;
    TOSFile File;
};

} // namespace

TEST_F(ReadBufferTest, ReadsNearAndPastTheEndOfTheFile) {
    Make(20000);
    TFileReadBuffer buf(File, 8192);
    EXPECT_EQ(buf.FileSize(), 20000);
    uint8_t out[16] = {};
    EXPECT_EQ(buf.Read(out, 16, 20000 - 10), 10u);
    ExpectPattern(out, 10, 20000 - 10);
    const int64_t window = buf.WindowStart();
    EXPECT_EQ(buf.Read(out, 16, 20000), 0u);
    EXPECT_EQ(buf.Read(out, 16, 30000), 0u);
    EXPECT_EQ(buf.WindowStart(), window) << "a read past the end must not touch the window";
}

TEST_F(ReadBufferTest, LargeReadsBypassTheWindow) {
    Make(20000);
    TFileReadBuffer buf(File, 8192);
    uint8_t small[16];
    ASSERT_EQ(buf.Read(small, 16, 100), 16u);
    EXPECT_EQ(buf.WindowStart(), 0);
    std::vector<uint8_t> big(4097);
    ASSERT_EQ(buf.Read(big.data(), 4097, 5000), 4097u);
    ExpectPattern(big.data(), 4097, 5000);
    EXPECT_EQ(buf.WindowStart(), 0) << "a direct read keeps the old window";
    ASSERT_EQ(buf.Read(small, 16, 5000), 16u);
    EXPECT_EQ(buf.WindowStart(), 0) << "the old window still covers 5000..5016";
    ExpectPattern(small, 16, 5000);
}

TEST_F(ReadBufferTest, WindowsAreAlignedTo4096) {
    Make(20000);
    TFileReadBuffer buf(File, 8192);
    uint8_t out[16];
    ASSERT_EQ(buf.Read(out, 2, 4095), 2u);
    EXPECT_EQ(buf.WindowStart(), 0);
    ExpectPattern(out, 2, 4095);

    TFileReadBuffer second(File, 8192);
    ASSERT_EQ(second.Read(out, 16, 8180), 16u);
    EXPECT_EQ(second.WindowStart(), 4096);
    ExpectPattern(out, 16, 8180);
    ASSERT_EQ(second.Read(out, 16, 8196), 16u);
    EXPECT_EQ(second.WindowStart(), 4096) << "the window still holds 4096..12288";
    ASSERT_EQ(second.Read(out, 16, 12280), 16u);
    EXPECT_EQ(second.WindowStart(), 8192) << "12280 + 16 passes the end of the window";
    ExpectPattern(out, 16, 12280);
}

TEST_F(ReadBufferTest, ShortFileFillsOnlyWhatExists) {
    Make(100);
    TFileReadBuffer buf(File, 8192);
    uint8_t out[64];
    EXPECT_EQ(buf.Read(out, 64, 80), 20u);
    ExpectPattern(out, 20, 80);
}

TEST(MemoryBufTest, GrowsLinearlyByItsStep) {
    TMemoryBuf m;
    EXPECT_EQ(m.GrowBy(), 10240u);
    EXPECT_EQ(m.Data(), nullptr);
    std::vector<uint8_t> chunk(5000, 7);
    m.Append(chunk.data(), 5000);
    m.Append(chunk.data(), 5000);
    EXPECT_EQ(m.Capacity(), 10240u);
    m.Append(chunk.data(), 5000);
    EXPECT_EQ(m.Capacity(), 20480u);
    EXPECT_EQ(m.Size(), 15000u);
    EXPECT_EQ(m.Data()[14999], 7);

    TMemoryBuf big;
    std::vector<uint8_t> large(30000, 1);
    big.Append(large.data(), 30000);
    EXPECT_EQ(big.Capacity(), 30000u) << "a request beyond one step is taken exactly";
}

TEST(MemoryBufTest, SetSizeKeepsMemoryAndClearFreesIt) {
    TMemoryBuf m;
    m.SetSize(100);
    m.Data()[0] = 42;
    const uint8_t* data = m.Data();
    m.SetSize(0);
    EXPECT_EQ(m.Capacity(), 10240u);
    EXPECT_EQ(m.Data(), data);
    m.Append("x", 0);
    EXPECT_EQ(m.Size(), 0u);
    m.Clear();
    EXPECT_EQ(m.Capacity(), 0u);
    EXPECT_EQ(m.Size(), 0u);
    EXPECT_EQ(m.Data(), nullptr);
}

TEST(MemoryBufTest, RefusesToWrapAroundFourGigabytes) {
    TMemoryBuf m;
    m.SetSize(16);
    uint8_t b = 0;
    // The 32-bit size must not wrap to a small number and then be written past.
    EXPECT_THROW(m.Append(&b, 0xFFFFFFFFu), std::bad_alloc);
    EXPECT_EQ(m.Size(), 16u);
}

TEST(FileSizeTest, TextUsesDecimalThresholdsAndBinaryDivisors) {
    EXPECT_EQ(FileSizeText(0), "0 byte");
    EXPECT_EQ(FileSizeText(999), "999 byte");
    EXPECT_EQ(FileSizeText(1000), "0.98 KB");
    EXPECT_EQ(FileSizeText(1536), "1.5 KB");
    EXPECT_EQ(FileSizeText(999999), "976.56 KB");
    EXPECT_EQ(FileSizeText(1000000), "0.95 MB");
    EXPECT_EQ(FileSizeText(1048576), "1 MB");
}

TEST(FileSizeTest, SizeOfMissingAndSparseFiles) {
    TTempDir dir;
    EXPECT_EQ(FileSizeOf(dir.File("missing")), 0);
    EXPECT_EQ(FileSizeOf(dir.Path().string()), 0) << "a folder has no file size";
    // A sparse file of 3 GiB checks the 64-bit path without writing 3 GiB.
    int fd = ::open(dir.File("big").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 3221225472LL), 0);
    ::close(fd);
    EXPECT_EQ(FileSizeOf(dir.File("big")), 3221225472LL);
}
