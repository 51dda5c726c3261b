// Writing 2 GiB of interleaved video and audio chunks through our writer, against cp of a file of
// the same size on the same disk.
#include "BenchUtil.h"
#include "avi_input/FourCC.h"
#include "avi_output/AVIWrite.h"
#include "fixtures/AviBuilder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

using namespace zarvex;
using namespace zarvex::bench;
using namespace zarvex::fixtures;

namespace {

constexpr uint64_t Target = uint64_t(2) << 30;
constexpr int Runs = 3;

// Video chunks of 40 KiB give or take 8 KiB, a key frame every 25, and PCM audio in chunks of
// about 4 KiB (two after each frame), so both the direct path for large payloads and the gathered
// path for small ones are used as in a real copy.
int WriteFile(const std::string& path, bool sync) {
    std::vector<uint8_t> pool(64 * 1024);
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (auto& b : pool)
        b = uint8_t(next() >> 24);

    TAVIFileWriter w;
    w.Open(path, AVIF_HASINDEX);
    const uint32_t xvid = MakeFourCC('X', 'V', 'I', 'D');
    const auto vf = VideoFormat(720, 576, xvid);
    const auto af = AudioFormat(1, 2, 48000, 4, 16);
    w.AddStream(0, VideoHeader(25, 1, xvid), vf.data(), int32_t(vf.size()));
    w.AddStream(1, AudioHeader(48000, 1, 4), af.data(), int32_t(af.size()));
    uint64_t bytes = 0;
    for (uint32_t f = 0; bytes < Target; ++f) {
        const uint32_t video = 40960 - 8192 + next() % 16384;
        w.WriteChunk(0, pool.data() + next() % 8192, f % 25 == 0, int32_t(video));
        bytes += 8 + video + (video & 1);
        // 1920 samples a frame at 48 kHz, in chunks of 1024 and 896 samples.
        for (const uint32_t audio : {4096u, 3584u}) {
            w.WriteChunk(1, pool.data() + next() % 8192, true, int32_t(audio));
            bytes += 8 + audio;
        }
    }
    w.Close();
    if (sync) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0 || ::fsync(fd) != 0)
            return 3;
        ::close(fd);
    }
    return 0;
}

void SyncAll() {
    ::sync();
}

struct TResult {
    double Ours = 0;
    double Cp = 0;
};

TResult Compare(const std::filesystem::path& dir, bool toDisk) {
    const std::string ours = (dir / "ours.avi").string();
    const std::string copy = (dir / "copy.avi").string();
    const std::string source = (dir / "source.avi").string();
    std::vector<TChildRun> oursRuns, cpRuns;
    // One untimed round first, then alternate, so neither gets a cold binary or a busier disk.
    for (int i = 0; i <= Runs; ++i) {
        std::filesystem::remove(ours);
        SyncAll();
        std::vector<std::string> args = {SelfPath(), "--write", ours};
        if (toDisk)
            args.push_back("--fsync");
        TChildRun a = RunChild(args);
        if (a.ExitCode != 0)
            throw std::runtime_error("writer child failed");

        std::filesystem::remove(copy);
        WarmCache(source);
        SyncAll();
        const std::string cp = "cp --reflink=never " + source + " " + copy +
                               (toDisk ? " && sync " + copy : std::string());
        TChildRun b = RunChild({"sh", "-c", cp});
        if (b.ExitCode != 0)
            throw std::runtime_error("cp failed");
        if (i > 0) {
            oursRuns.push_back(a);
            cpRuns.push_back(b);
        }
    }
    auto median = [](std::vector<TChildRun> runs) {
        std::sort(runs.begin(), runs.end(),
                  [](const TChildRun& x, const TChildRun& y) { return x.Seconds < y.Seconds; });
        return runs[runs.size() / 2].Seconds;
    };
    return {median(oursRuns), median(cpRuns)};
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--write")
        return WriteFile(argv[2], argc == 4 && std::string(argv[3]) == "--fsync");

    // Next to the benchmark binary, so on the disk of the build.
    const auto dir = std::filesystem::path(SelfPath()).parent_path() / "bench-write-tmp";
    std::filesystem::create_directories(dir);
    struct statvfs fs {};
    if (::statvfs(dir.c_str(), &fs) == 0 && uint64_t(fs.f_bavail) * fs.f_frsize < 5 * Target) {
        std::fprintf(stderr, "need %llu GiB free in %s\n", (unsigned long long)(5 * Target >> 30),
                     dir.c_str());
        return 1;
    }
    try {
        // cp's source: a file of the same size, written by us and read into the cache before
        // every copy.
        if (WriteFile((dir / "source.avi").string(), false) != 0)
            throw std::runtime_error("cannot write the source file");
        const auto size = std::filesystem::file_size(dir / "source.avi");
        std::printf("writing %.2f GiB (%s)\n", double(size) / (1u << 30), dir.c_str());
        for (bool toDisk : {false, true}) {
            const TResult r = Compare(dir, toDisk);
            std::printf("%s: write %.2f s (%.0f MB/s), cp %.2f s (%.0f MB/s), ratio %.2f "
                        "(target <= 1.10)\n",
                        toDisk ? "to disk, each followed by fsync"
                               : "to the page cache, no fsync (after a sync, outside the timing)",
                        r.Ours, double(size) / r.Ours / 1e6, r.Cp, double(size) / r.Cp / 1e6,
                        r.Ours / r.Cp);
        }
        std::printf("cp reads its source from a warm page cache; the writer makes its payloads in "
                    "memory.\n");
    } catch (const std::exception& e) {
        std::filesystem::remove_all(dir);
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::filesystem::remove_all(dir);
    return 0;
}
