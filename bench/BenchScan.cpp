// Rebuilding the index of an OpenDML recording cut off inside its second RIFF list, against
// reading the same bytes with cat; and what the index checks cost an intact file's open.
#include "BenchUtil.h"
#include "avi_input/AVIRead.h"

#include <cstdio>
#include <filesystem>
#include <string>

using namespace zarvex;
using namespace zarvex::bench;

namespace {

// --open MODE FILE: opens with the index never checked (0), or rebuilt when wanting (1).
int OpenOnly(const std::string& mode, const std::string& path) {
    TAVIFileReader reader;
    reader.IndexRebuild = mode == "1" ? TIndexRebuild::Always : TIndexRebuild::Never;
    reader.Open(path);
    return reader.VideoStream() && reader.VideoStream()->EntryCount() > 0 ? 0 : 3;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--open")
        return OpenOnly(argv[2], argv[3]);
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "zarvex-bench-scan";
    fs::create_directories(dir);
    const std::string full = (dir / "full.avi").string(), cut = (dir / "cut.avi").string();
    // Raw 720p video passes 1 GiB in about 30 s of video: a second RIFF list in seconds.
    Check(RunChild(Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=25", "-f", "lavfi",
                           "-i", "sine=sample_rate=44100", "-t", "34", "-c:v", "rawvideo",
                           "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le", full})),
          "ffmpeg");
    const auto size = fs::file_size(full);
    fs::copy_file(full, cut);
    fs::resize_file(cut, size * 9 / 10);

    WarmCache(full);
    const TChildRun plain = MedianRun({SelfPath(), "--open", "0", full}, 7);
    const TChildRun checked = MedianRun({SelfPath(), "--open", "1", full}, 7);
    Check(checked, "open with checks");
    std::printf("intact file: open %.4f s, with the index checks %.4f s, ratio %.2f\n",
                plain.Seconds, checked.Seconds, checked.Seconds / plain.Seconds);

    WarmCache(cut);
    const TChildRun scan = MedianRun({SelfPath(), "--open", "1", cut}, 5);
    Check(scan, "rebuild");
    const TChildRun cat = MedianRun({"cat", cut}, 5);
    std::printf("cut-off file of %.0f MiB: rebuild %.3f s, cat %.3f s, ratio %.2f (target <= "
                "1.50); peak memory %ld KiB\n",
                double(size) * 0.9 / 1048576.0, scan.Seconds, cat.Seconds,
                scan.Seconds / cat.Seconds, scan.PeakKiB);
    fs::remove_all(dir);
    return 0;
}
