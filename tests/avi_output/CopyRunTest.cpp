// Chunks copied in the kernel: runs of another file's bytes between ordinary writes and patches
// land where they belong, on one file system and across two, and a source shorter than its run
// is a failure.
#include "avi_output/GatherWriter.h"
#include "fixtures/Tools.h"
#include "support/Errors.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

std::vector<uint8_t> Bytes(size_t count, uint8_t seed) {
    std::vector<uint8_t> b(count);
    for (size_t i = 0; i < count; ++i)
        b[i] = uint8_t(i * 7 + seed + (i >> 9));
    return b;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    TOSFile f = TOSFile::OpenRead(path);
    std::vector<uint8_t> b(size_t(f.Size()));
    f.ReadAt(b.data(), int64_t(b.size()), 0);
    return b;
}

void CheckRunsAndWrites(const std::filesystem::path& sourceDir, const TTempDir& outDir) {
    const std::vector<uint8_t> src = Bytes(3 << 20, 5);
    const std::string srcPath = (sourceDir / "zarvex-copy-run-source.bin").string();
    TOSFile::Create(srcPath).WriteAt(src.data(), int64_t(src.size()), 0);
    const std::string outPath = outDir.File("out.bin");
    const TOSFile source = TOSFile::OpenRead(srcPath);
    {
        TOSFile out = TOSFile::Create(outPath);
        TGatherWriter w(out);
        std::vector<uint8_t> want;
        auto copy = [&](int64_t from, int64_t count) {
            w.PutFrom(source, from, count);
            want.insert(want.end(), src.begin() + from, src.begin() + from + count);
        };
        auto put = [&](const std::vector<uint8_t>& b) {
            w.Put(b.data(), b.size());
            want.insert(want.end(), b.begin(), b.end());
        };
        put(Bytes(100, 1));
        copy(10, 1000);
        copy(1010, 2 << 20); // continues the run
        copy(5, 3);          // another run
        EXPECT_EQ(w.Position(), int64_t(want.size()));
        const uint8_t patch[4] = {9, 9, 9, 9};
        w.Patch(50, patch, 4); // before the runs, which are written first
        std::copy(patch, patch + 4, want.begin() + 50);
        put(Bytes(20000, 2));
        copy(7, 11);
        w.Flush();
        ASSERT_EQ(ReadAll(outPath), want);
    }
    std::filesystem::remove(srcPath);
}

} // namespace

TEST(CopyRun, RunsLandBetweenWritesOnOneFileSystemAndAcrossTwo) {
    TTempDir dir;
    CheckRunsAndWrites(dir.Path(), dir);
    // Memory-backed folders are another file system than the temporary folder's disk.
    if (std::filesystem::is_directory("/dev/shm"))
        CheckRunsAndWrites("/dev/shm", dir);
}

TEST(CopyRun, SourceShorterThanItsRunFails) {
    TTempDir dir;
    const std::vector<uint8_t> src = Bytes(5000, 3);
    TOSFile::Create(dir.File("src.bin")).WriteAt(src.data(), int64_t(src.size()), 0);
    const TOSFile source = TOSFile::OpenRead(dir.File("src.bin"));
    TOSFile out = TOSFile::Create(dir.File("out.bin"));
    TGatherWriter w(out);
    w.PutFrom(source, 4000, 2000);
    EXPECT_THROW(w.Flush(), EZarvexError);
}
