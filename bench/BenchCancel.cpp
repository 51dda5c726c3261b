// How fast every long job stops on Cancel, stage by stage, and how often it reports meanwhile:
// each job runs on a file of about 1 GiB (720x576 MPEG-4 with B-frames and PCM sound), its
// callback sets cancel once the stage has run a moment, and the time from there to the engine
// call's return is printed (target 0.3 s) with the longest gap between two callbacks before
// the cancel, the wait for the first one included (target 0.1 s).
#include "BenchUtil.h"
#include "avi_input/AVIRead.h"
#include "export/DSSplit.h"
#include "export/FrameExport.h"
#include "media/Compressors.h"
#include "media/ExactCut.h"
#include "splitting/Joiner.h"
#include "splitting/ZarvexCls.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace zarvex;
using namespace zarvex::bench;
namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

constexpr int Frames = 7500; // 300 s at 25 fps: about 1.8 GiB
constexpr int GiBFrames = 4300;
// An exact cut from frame 2600 on ending 1 GiB later at a P-frame, and one on: the B-frame after
// it needs a closing run re-encoded.
constexpr int ExactTail = 1;

double Since(TClock::time_point t) {
    return std::chrono::duration<double>(TClock::now() - t).count();
}

// Watches one job's callbacks and cancels it once a stage (a range of the percentages the job
// reports) has run for Delay seconds, or at once when the stage was over sooner.
class TProbe {
public:
    TProbe(const char* name, double delay, double from = 0.0, double to = 101.0)
        : Name(name), Delay(delay), From(from), To(to), Last(TClock::now()) {}

    // The callback's part: true once the job is to cancel.
    bool Tick(double percent) {
        const auto now = TClock::now();
        const double gap = std::chrono::duration<double>(now - Last).count();
        if (!Cancelled && gap > MaxGap) {
            MaxGap = gap;
            GapPercent = percent;
        }
        Last = now;
        if (Cancelled)
            return true;
        if (!Entered && percent >= From && percent < To) {
            Entered = true;
            EnteredAt = now;
        }
        if (Entered &&
            (percent >= To || std::chrono::duration<double>(now - EnteredAt).count() >= Delay)) {
            Cancelled = true;
            CancelAt = now;
            CancelPercent = percent;
        }
        return Cancelled;
    }

    // After the engine call returned.
    void Report(bool jobSaysCancelled) const {
        if (!Cancelled) {
            std::printf("%-34s never reached its stage (longest gap %.3f s, to %.1f %%)\n", Name,
                        MaxGap, GapPercent);
            return;
        }
        std::printf("%-34s cancel at %5.1f %%: stopped after %.3f s (target 0.3), longest gap "
                    "%.3f s to %.1f %% (target 0.1)%s\n",
                    Name, CancelPercent, Since(CancelAt), MaxGap, GapPercent,
                    jobSaysCancelled ? "" : ", NOT reported cancelled");
    }

private:
    const char* Name;
    double Delay, From, To;
    TClock::time_point Last, EnteredAt, CancelAt;
    double MaxGap = 0, GapPercent = 0, CancelPercent = 0;
    bool Entered = false, Cancelled = false;
};

TZarvex::TProgressEvent Watch(TProbe& probe) {
    return [&probe](TZarvex&, bool& cancel, double percent) { cancel = probe.Tick(percent); };
}

// Drops the file from the page cache, so that the next job reads it from the disk.
void DropFromCache(const fs::path& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    Require(fd >= 0 && fdatasync(fd) == 0 && posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0,
            "dropping " + path.string() + " from the cache");
    close(fd);
}

void Copy(TAVIFileReader& reader, const fs::path& out, const char* name) {
    TProbe probe(name, 0.2);
    TZarvex copier(reader);
    copier.FileName = out.string();
    copier.OnProgress = Watch(probe);
    copier.CopySegment(0, GiBFrames - 1);
    probe.Report(copier.Cancelled());
    fs::remove(out);
}

// The exact cut's bar: planning to 25 % (the head to 10, the walk to the copy's end to 21.25,
// the closing run to 25), the copy to 85, the check of the written file to 100.
void Exact(TAVIFileReader& reader, const fs::path& out) {
    struct TStage {
        const char* Name;
        double From, To, Delay;
    };
    const TStage stages[] = {{"exact: encoding the head", 0, 10, 0.2},
                             {"exact: finding the copy's end", 10, 21.25, 0.2},
                             {"exact: encoding the tail", 21.25, 25, 0},
                             {"exact: copy", 25, 85, 0.15},
                             {"exact: check", 85, 101, 0.2}};
    for (const TStage& s : stages) {
        TProbe probe(s.Name, s.Delay, s.From, s.To);
        TZarvex copier(reader);
        copier.FileName = out.string();
        copier.OnProgress = Watch(probe);
        // From 100 frames after a key frame to a B-frame inside a group of pictures, about
        // 1 GiB on.
        media::CopySegmentExact(copier, 2600, 2600 + GiBFrames + ExactTail);
        probe.Report(copier.Cancelled());
        fs::remove(out);
    }
}

void Recompress(const fs::path& src, const fs::path& out, const char* encoder, const char* name,
                double delay = 1.0) {
    TProbe probe(name, delay);
    TDSVideoSplitter splitter;
    splitter.SourceFileName = src.string();
    splitter.OutputFileName = out.string();
    splitter.StartTime = 0;
    splitter.StopTime = 60;
    splitter.VideoCompressor = media::FindCompressor(false, encoder);
    splitter.OnProgress = [&](TDSVideoSplitter&, bool& cancel, double percent) {
        cancel = probe.Tick(percent);
    };
    splitter.Save();
    probe.Report(splitter.Cancelled());
    fs::remove(out);
}

void Split(TAVIFileReader& reader, const fs::path& dir) {
    TProbe probe("split into 3 parts", 0.5);
    TZarvex copier(reader);
    copier.OnProgress = Watch(probe);
    fs::create_directories(dir / "parts");
    copier.SplitIntoParts(3, (dir / "parts").string(), "part");
    probe.Report(copier.Cancelled());
    fs::remove_all(dir / "parts");
}

void Join(TAVIFileReader& reader, const fs::path& out) {
    TProbe probe("join of 1 GiB twice", 0.5);
    TJoiner joiner;
    joiner.OnProgress = [&](bool& cancel, double percent) { cancel = probe.Tick(percent); };
    const TJoinPiece whole{&reader, {0, GiBFrames - 1}, nullptr};
    joiner.Write({whole, whole}, out.string());
    probe.Report(joiner.Cancelled());
    fs::remove(out);
}

void ExportFrames(const fs::path& src, const fs::path& dir) {
    TProbe probe("frames: 300 as JPEG", 0.5);
    TFrameExporter exporter;
    exporter.SourceFileName = src.string();
    exporter.Position = 100 * 400000; // frame 100 of 25 fps, in 100-ns units
    exporter.FrameRate = 25;
    exporter.Folder = (dir / "frames").string();
    exporter.FileName = "f";
    exporter.Count = 300;
    fs::create_directories(exporter.Folder);
    double done = 0;
    exporter.OnProgress = [&](bool& cancel, double percent) {
        cancel = probe.Tick(done = percent);
    };
    exporter.OnWorking = [&](bool& cancel) { cancel = probe.Tick(done); };
    exporter.Execute();
    probe.Report(exporter.Cancelled());
    fs::remove_all(dir / "frames");
}

// A cut-off copy of the source has lost its index: opened, the whole file is scanned.
void Rebuild(const fs::path& src, const fs::path& dir) {
    const fs::path cut = dir / "cut-off.avi";
    fs::copy_file(src, cut);
    fs::resize_file(cut, 1LL << 30);
    {
        TProbe probe("index rebuild of a cut-off 1 GiB", 0.05);
        TAVIFileReader reader;
        reader.IndexRebuild = TIndexRebuild::Always;
        reader.OnScanProgress = [&](double percent, bool& cancel) { cancel = probe.Tick(percent); };
        bool cancelled = false;
        try {
            reader.Open(cut.string());
        } catch (const std::exception&) {
            cancelled = true; // a cancelled rebuild opens nothing
        }
        probe.Report(cancelled || !reader.ScanReport().Rebuilt);
    }
    TAVIFileReader reader;
    reader.IndexRebuild = TIndexRebuild::Always;
    reader.Open(cut.string());
    TProbe probe("repair copy of it", 0.2);
    TZarvex copier(reader);
    copier.FileName = (dir / "repaired.avi").string();
    copier.OnProgress = Watch(probe);
    copier.CopyWholeFile();
    probe.Report(copier.Cancelled());
    fs::remove(copier.FileName);
    fs::remove(cut);
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const fs::path dir =
        fs::temp_directory_path() / ("zarvex-bench-cancel-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path src = dir / "source.avi", out = dir / "out.avi";
    MakeXvidRecording(dir, src, Frames / 25);
    std::printf("source: %.1f MiB\n", double(fs::file_size(src)) / 1048576.0);
    TAVIFileReader reader;
    reader.Open(src.string());
    Copy(reader, out, "copy of 1 GiB");
    DropFromCache(src);
    Copy(reader, out, "copy of 1 GiB, read from the disk");
    Exact(reader, out);
    Recompress(src, out, "libx264", "recompression with x264");
    // Before x264 has put out a picture: it encodes the first, and drops the rest.
    Recompress(src, out, "libx264", "recompression with x264, at once", 0.0);
    Recompress(src, out, "mpeg4", "recompression with MPEG-4");
    Split(reader, dir);
    Join(reader, out);
    ExportFrames(src, dir);
    Rebuild(src, dir);
    reader.Close();
    fs::remove_all(dir);
    return 0;
}
