// Opening a file of 1,000,000 index entries, against ffprobe reading the same file.
#include "BenchUtil.h"
#include "avi_input/AVIRead.h"
#include "fixtures/AviBuilder.h"

#include <cstdio>
#include <filesystem>
#include <string>

using namespace zarvex;
using namespace zarvex::bench;
using namespace zarvex::fixtures;

namespace {

constexpr uint32_t Entries = 1000000;

std::string MakeFile(const std::string& path, TIndexStyle style) {
    TAviLayout layout = SimpleLayout(0, 0, true, style);
    // Three video frames to one audio chunk, small payloads: the index is what is measured.
    for (uint32_t i = 0; i < Entries; ++i) {
        bool audio = i % 4 == 3;
        layout.Chunks.push_back({audio ? 1 : 0, audio ? 64u : 16u + i % 8, !audio && i % 100 == 0});
    }
    WriteFileBytes(path, BuildAvi(layout).Bytes);
    return path;
}

int OpenOnly(const std::string& path) {
    TAVIFileReader reader;
    reader.Open(path);
    uint64_t n = 0;
    for (int s = 0; s < reader.StreamCount(); ++s)
        n += reader.Streams(s).EntryCount();
    return n == Entries ? 0 : 3;
}

void Compare(const std::string& label, const std::string& file) {
    WarmCache(file);
    TChildRun ours = MedianRun({SelfPath(), "--open", file}, 7);
    TChildRun peer =
        MedianRun({"ffprobe", "-v", "error", "-show_entries", "format=duration", file}, 7);
    const double budgetKiB = (21.0 * Entries + 16 * 1048576.0) / 1024;
    std::printf("%s: open %.3f s, ffprobe %.3f s, ratio %.2f (target <= 0.50)\n", label.c_str(),
                ours.Seconds, peer.Seconds, ours.Seconds / peer.Seconds);
    std::printf("%s: peak memory %ld KiB, budget %.0f KiB (21 bytes per entry + 16 MiB), "
                "ratio %.2f; ffprobe %ld KiB\n",
                label.c_str(), ours.PeakKiB, budgetKiB, ours.PeakKiB / budgetKiB, peer.PeakKiB);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--open")
        return OpenOnly(argv[2]);
    const auto dir = std::filesystem::temp_directory_path() / "zarvex-bench-open";
    std::filesystem::create_directories(dir);
    Compare("idx1", MakeFile((dir / "idx1.avi").string(), TIndexStyle::Idx1Relative));
    Compare("OpenDML", MakeFile((dir / "odml.avi").string(), TIndexStyle::OpenDML));
    std::filesystem::remove_all(dir);
    return 0;
}
