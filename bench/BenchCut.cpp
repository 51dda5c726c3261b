// Cutting about 1 GiB out of a 1.35 GiB ffmpeg file (mpeg4 + MP3, two RIFF lists), splitting it
// into 10 parts, keeping 10 ranges of it in one file and joining two 600 MiB files, against
// ffmpeg's stream copy and cp of the same bytes. Every input is cached as a file read from disk,
// as a user's recording is.
#include "BenchUtil.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

using namespace zarvex::bench;
namespace fs = std::filesystem;

#ifndef ZARVEX_CLI_PATH
#define ZARVEX_CLI_PATH "zarvex-cli"
#endif

namespace {

constexpr int Runs = 9;
constexpr double CutFrom = 20, CutSpan = 140; // seconds; about 1 GiB of a 190 s file

std::string Num(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
}

struct TContender {
    TContender(std::vector<std::string> argv, std::vector<fs::path> outputs)
        : Argv(std::move(argv)), Outputs(std::move(outputs)) {}
    std::vector<std::string> Argv;
    std::vector<fs::path> Outputs;
    std::vector<TChildRun> Runs;
    // The median by time; peak memory is the largest seen.
    TChildRun Median() const { return Pick(Runs.size() / 2); }
    // The quickest run: on a shared machine, the one least disturbed by others.
    TChildRun Best() const { return Pick(0); }
    TChildRun Pick(size_t rank) const {
        std::vector<TChildRun> all = Runs;
        std::sort(all.begin(), all.end(),
                  [](const TChildRun& a, const TChildRun& b) { return a.Seconds < b.Seconds; });
        TChildRun m = all[rank];
        for (const TChildRun& r : Runs)
            m.PeakKiB = std::max(m.PeakKiB, r.PeakKiB);
        return m;
    }
};

// The median of each round's ratio: the two runs of a round follow each other, so a slow spell of
// the machine weighs on both alike.
double PairedRatio(const TContender& ours, const TContender& peer) {
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.Runs.size() && i < peer.Runs.size(); ++i)
        ratios.push_back(ours.Runs[i].Seconds / peer.Runs[i].Seconds);
    std::sort(ratios.begin(), ratios.end());
    return ratios.empty() ? 0 : ratios[ratios.size() / 2];
}

// Rounds of one run each, so that a slow spell of the machine (its disk and memory are shared)
// hits every contender alike. Each output is deleted right after its run: that drops its dirty
// pages unwritten, so no run pays for the writeback of another (a sync would, and the disk is
// mounted with discard), and every run writes a fresh file.
void RunRounds(std::vector<TContender*> contenders) {
    Check(RunChild({"sync"}), "sync");
    for (int i = 0; i < Runs; ++i)
        for (TContender* c : contenders) {
            c->Runs.push_back(RunChild(c->Argv));
            Check(c->Runs.back(), c->Argv[0]);
            for (const fs::path& p : c->Outputs)
                fs::remove_all(p);
        }
    // The spread shows how far the machine let the runs be compared.
    for (const TContender* c : contenders) {
        std::printf("  %-10s", fs::path(c->Argv[0]).filename().string().c_str());
        for (const TChildRun& r : c->Runs)
            std::printf(" %.3f", r.Seconds);
        std::printf("\n");
    }
}

// 1.4 GB within seconds: 263 noisy frames encoded once, looped by stream copy, fresh MP3 beside.
void MakeSource(const fs::path& dir, const fs::path& src) {
    const std::string clip = (dir / "clip.avi").string();
    Check(RunChild(Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=25", "-vf",
                           "noise=alls=30:allf=t", "-frames:v", "263", "-c:v", "mpeg4", "-q:v", "2",
                           "-g", "25", clip})),
          "ffmpeg (clip)");
    Check(RunChild(Ffmpeg({"-stream_loop", "-1",
                           "-i",           clip,
                           "-f",           "lavfi",
                           "-i",           "anoisesrc=color=pink:amplitude=0.3:sample_rate=44100",
                           "-map",         "0:v",
                           "-map",         "1:a",
                           "-c:v",         "copy",
                           "-c:a",         "libmp3lame",
                           "-b:a",         "128k",
                           "-ac",          "2",
                           "-t",           "190",
                           src.string()})),
          "ffmpeg (source)");
    fs::remove(clip);
    Check(RunChild({"sync"}), "sync"); // the source's writeback is nobody's cost
}

double MiB(long kib) {
    return kib / 1024.0;
}

// Rounds of ours against cp of the same bytes, whose target is 1.10.
void RunAgainstCp(const char* what, double mib, TContender& ours, TContender& cp) {
    RunRounds({&ours, &cp});
    const TChildRun o = ours.Median(), c = cp.Median();
    std::printf("%s, %.1f MiB, median of %d: ours %.3f s, cp %.3f s; ratio to cp %.2f (target "
                "<= 1.10), of rounds %.2f, best runs %.2f; peak memory %.1f MiB\n",
                what, mib, Runs, o.Seconds, c.Seconds, o.Seconds / c.Seconds, PairedRatio(ours, cp),
                ours.Best().Seconds / cp.Best().Seconds, MiB(o.PeakKiB));
}

// Ten ranges of 12 s, one every 19 s, into one file by key-frame copy, against cp of the bytes.
void BenchKeep(const fs::path& dir, const fs::path& src) {
    std::string ranges;
    for (int i = 0; i < 10; ++i)
        ranges += (i ? "," : "") + Num(1 + 19 * i) + "-" + Num(13 + 19 * i);
    const fs::path ours = dir / "keep-ours.avi", sized = dir / "keep-sized.avi",
                   copy = dir / "keep-cp.avi";
    TContender keep{{CliPath(ZARVEX_CLI_PATH), "cut", src.string(), "--keep", ranges, "-o",
                     ours.string(), "--yes", "--quiet"},
                    {ours}};
    Check(RunChild(keep.Argv), "zarvex-cli cut --keep");
    fs::copy_file(ours, sized);
    const double outMiB = fs::file_size(ours) / 1048576.0;
    fs::remove(ours);
    TContender cp{{"cp", sized.string(), copy.string()}, {copy}};
    CacheAsRead(src.string());
    CacheAsRead(sized.string());
    RunAgainstCp("keep 10 ranges", outMiB, keep, cp);
    fs::remove(sized);
}

// Two files of about 600 MiB (the source's first 164 s, cut at a key frame) joined, against cp
// of both.
void BenchJoin(const fs::path& dir, const fs::path& src) {
    const fs::path a = dir / "join-a.avi", b = dir / "join-b.avi", ours = dir / "join-ours.avi",
                   copyA = dir / "join-cp-a.avi", copyB = dir / "join-cp-b.avi";
    for (const auto& [file, from] : {std::pair{a, 0}, std::pair{b, 82}})
        Check(RunChild({CliPath(ZARVEX_CLI_PATH), "cut", src.string(), "--from", Num(from), "--to",
                        Num(from + 82), "-o", file.string(), "--yes", "--quiet"}),
              "zarvex-cli cut (join sources)");
    const double inMiB = (fs::file_size(a) + fs::file_size(b)) / 1048576.0;
    TContender join{{CliPath(ZARVEX_CLI_PATH), "join", a.string(), b.string(), "-o", ours.string(),
                     "--yes", "--quiet"},
                    {ours}};
    TContender cp{{"sh", "-c", "cp \"$0\" \"$1\" && cp \"$2\" \"$3\"", a.string(), copyA.string(),
                   b.string(), copyB.string()},
                  {copyA, copyB}};
    CacheAsRead(a.string());
    CacheAsRead(b.string());
    RunAgainstCp("join of 2 files", inMiB, join, cp);
    fs::remove(a);
    fs::remove(b);
}

} // namespace

int main() {
    const fs::path dir = fs::path(SelfPath()).parent_path() / "zarvex-bench-cut";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path src = dir / "source.avi";
    MakeSource(dir, src);
    std::printf("source: %.1f MiB\n", fs::file_size(src) / 1048576.0);

    // cp's baseline is a file of exactly our output's size: a kept copy of our output.
    const fs::path ours = dir / "cut-ours.avi", peer = dir / "cut-ffmpeg.avi",
                   sized = dir / "cut-sized.avi", copy = dir / "cut-cp.avi",
                   plain = dir / "cut-dd.avi";
    TContender cut{{CliPath(ZARVEX_CLI_PATH), "cut", src.string(), "--from", Num(CutFrom), "--to",
                    Num(CutFrom + CutSpan), "-o", ours.string(), "--yes", "--quiet"},
                   {ours}};
    Check(RunChild(cut.Argv), "zarvex-cli cut");
    fs::copy_file(ours, sized);
    const double outMiB = fs::file_size(ours) / 1048576.0;
    fs::remove(ours);
    TContender ff{{"ffmpeg", "-nostdin", "-y", "-v", "error", "-ss", Num(CutFrom), "-i",
                   src.string(), "-t", Num(CutSpan), "-map", "0", "-c", "copy", peer.string()},
                  {peer}};
    TContender cp{{"cp", sized.string(), copy.string()}, {copy}};
    // cp copies inside the kernel (copy_file_range); dd shows what a copy through a buffer costs.
    TContender dd{{"dd", "if=" + sized.string(), "of=" + plain.string(), "bs=256k", "status=none"},
                  {plain}};
    CacheAsRead(src.string());
    CacheAsRead(sized.string());
    RunRounds({&cut, &ff, &cp, &dd});
    const TChildRun c = cut.Median(), f = ff.Median(), k = cp.Median(), d = dd.Median();
    std::printf("cut of %.1f MiB, median of %d: ours %.3f s, ffmpeg -c copy %.3f s, cp %.3f s, "
                "dd bs=256k %.3f s\n",
                outMiB, Runs, c.Seconds, f.Seconds, k.Seconds, d.Seconds);
    std::printf("cut: ratio to ffmpeg %.2f (target <= 1.00), to cp %.2f (target <= 1.10), "
                "to dd %.2f; of rounds %.2f, %.2f, %.2f\n",
                c.Seconds / f.Seconds, c.Seconds / k.Seconds, c.Seconds / d.Seconds,
                PairedRatio(cut, ff), PairedRatio(cut, cp), PairedRatio(cut, dd));
    std::printf("cut, best runs: ours %.3f s, ffmpeg %.3f s, cp %.3f s, dd %.3f s; ratios %.2f, "
                "%.2f, %.2f\n",
                cut.Best().Seconds, ff.Best().Seconds, cp.Best().Seconds, dd.Best().Seconds,
                cut.Best().Seconds / ff.Best().Seconds, cut.Best().Seconds / cp.Best().Seconds,
                cut.Best().Seconds / dd.Best().Seconds);
    std::printf("cut: peak memory %.1f MiB (target <= 64), ffmpeg %.1f MiB\n", MiB(c.PeakKiB),
                MiB(f.PeakKiB));
    fs::remove(sized);

    const fs::path parts = dir / "parts", whole = dir / "copy.avi", wholeDd = dir / "copy-dd.avi";
    TContender split{{CliPath(ZARVEX_CLI_PATH), "split", src.string(), "--parts", "10", "--folder",
                      parts.string(), "--yes", "--quiet"},
                     {parts}};
    TContender cpAll{{"cp", src.string(), whole.string()}, {whole}};
    TContender ddAll{
        {"dd", "if=" + src.string(), "of=" + wholeDd.string(), "bs=256k", "status=none"},
        {wholeDd}};
    CacheAsRead(src.string());
    RunRounds({&split, &cpAll, &ddAll});
    const TChildRun s = split.Median(), a = cpAll.Median(), b = ddAll.Median();
    std::printf("split into 10, median of %d: ours %.3f s, cp of the whole file %.3f s, "
                "dd bs=256k %.3f s\n",
                Runs, s.Seconds, a.Seconds, b.Seconds);
    std::printf("split: ratio to cp %.2f (target <= 1.20), to dd %.2f; of rounds %.2f, %.2f; "
                "peak memory %.1f MiB\n",
                s.Seconds / a.Seconds, s.Seconds / b.Seconds, PairedRatio(split, cpAll),
                PairedRatio(split, ddAll), MiB(s.PeakKiB));
    std::printf("split, best runs: ours %.3f s, cp %.3f s, dd %.3f s; ratios %.2f, %.2f\n",
                split.Best().Seconds, cpAll.Best().Seconds, ddAll.Best().Seconds,
                split.Best().Seconds / cpAll.Best().Seconds,
                split.Best().Seconds / ddAll.Best().Seconds);

    BenchKeep(dir, src);
    BenchJoin(dir, src);
    fs::remove_all(dir);
    return 0;
}
