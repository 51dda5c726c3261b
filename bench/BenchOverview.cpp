// The timeline's overview of 60-minute 720x576 MPEG-4 recordings (a key frame every 250 frames,
// MP3 and PCM sound): the time to the visible strip, to every key frame's picture and to the
// whole waveform, against ffmpeg decoding the same key frames and the same sound; and the memory
// the overview of a three-hour recording takes.
#include "BenchUtil.h"

#include "avi_input/AVIRead.h"
#include "media/OverviewWork.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

using namespace zarvex;
using namespace zarvex::bench;
using namespace zarvex::media;
namespace fs = std::filesystem;

namespace {

using TClock = std::chrono::steady_clock;

double Since(TClock::time_point start) {
    return std::chrono::duration<double>(TClock::now() - start).count();
}

long RssKiB() {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word)
        if (word == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
    return 0;
}

// A recording of 20-second clips looped by stream copy; made once and kept.
std::string Recording(const fs::path& dir, const std::string& name, int seconds, bool mp3) {
    const fs::path path = dir / name;
    if (fs::exists(path))
        return path.string();
    const std::string clip = (dir / "clip.avi").string();
    if (!fs::exists(clip))
        Check(RunChild(Ffmpeg({"-f",
                               "lavfi",
                               "-i",
                               "testsrc2=size=720x576:rate=25",
                               "-vf",
                               "noise=alls=6:allf=t",
                               "-frames:v",
                               "500",
                               "-c:v",
                               "mpeg4",
                               "-vtag",
                               "XVID",
                               "-q:v",
                               "4",
                               "-g",
                               "250",
                               "-bf",
                               "2",
                               "-flags",
                               "+cgop",
                               "-sc_threshold",
                               "1000000000",
                               clip})),
              "ffmpeg (clip)");
    const fs::path part = dir / ("part-" + name);
    std::vector<std::string> audio = {"-c:a", "libmp3lame", "-b:a", "128k", "-ac", "2"};
    if (!mp3)
        audio = {"-c:a", "pcm_s16le", "-ac", "2"};
    std::vector<std::string> args = {
        "-stream_loop", "-1",    "-i",   clip,
        "-f",           "lavfi", "-i",   "sine=frequency=440:beep_factor=4:sample_rate=44100",
        "-map",         "0:v",   "-map", "1:a",
        "-c:v",         "copy"};
    args.insert(args.end(), audio.begin(), audio.end());
    args.insert(args.end(), {"-t", std::to_string(seconds), part.string()});
    Check(RunChild(Ffmpeg(args)), "ffmpeg (" + name + ")");
    fs::rename(part, path);
    return path.string();
}

struct TOurRun {
    double Strip = -1, Pictures = -1, Peaks = -1;
    long PeakRssKiB = 0;
    long WorkRssKiB = 0; // before every picture is asked for at once
    double AskAll = 0;   // seconds for Thumbnails over the whole file, once all are known
};

// Whether every stretch of 90 of 1000 columns over the whole file shows a picture.
bool StripReady(const TOverviewSource& overview, int64_t length) {
    const int64_t slot = length / 1000 * 90;
    for (int64_t t = 0; t + slot <= length; t += slot)
        if (overview.Thumbnails(t, t + slot - 1).empty())
            return false;
    return true;
}

TOurRun Ours(const std::string& path, const std::string& cacheFolder = "") {
    const long rss0 = RssKiB();
    TOurRun run;
    const auto start = TClock::now();
    TAVIFileReader reader;
    reader.Open(path);
    const TAVIStream& video = *reader.VideoStream();
    const int64_t length =
        int64_t(video.EntryCount()) * video.Header.dwScale * 10000000 / video.Header.dwRate;
    auto source = OpenOverview(reader, TOverviewOptions{cacheFolder});
    Require(source != nullptr, "opening the overview");
    auto& overview = dynamic_cast<TOverview&>(*source);
    overview.SetVisible(0, length, length / 1000);
    while (run.Pictures < 0 || run.Peaks < 0) {
        if (run.Strip < 0 && StripReady(overview, length))
            run.Strip = Since(start);
        if (run.Pictures < 0 && overview.KeyFramesDone() == overview.KeyFrameCount())
            run.Pictures = Since(start);
        if (run.Peaks < 0 && overview.PeaksComplete())
            run.Peaks = Since(start);
        run.PeakRssKiB = std::max(run.PeakRssKiB, RssKiB() - rss0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.WorkRssKiB = std::max(run.PeakRssKiB, RssKiB() - rss0);
    // What a whole-file view asks for, twice: the second finds no more unpacked than the first.
    for (int i = 0; i < 2; ++i) {
        const auto ask = TClock::now();
        Require(overview.Thumbnails(0, length).size() == overview.KeyFrameCount(), "every picture");
        run.AskAll = Since(ask);
    }
    run.PeakRssKiB = std::max(run.PeakRssKiB, RssKiB() - rss0);
    return run;
}

// ffmpeg at the priority of our workers, so that a machine shared with others slows both alike.
TChildRun Niced(std::vector<std::string> args) {
    std::vector<std::string> argv = Ffmpeg(std::move(args));
    argv.insert(argv.begin(), {"nice", "-n", "19"});
    return RunChild(argv);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Rounds taking turns, so that a machine shared with others weighs on every contender alike.
void Compare(const std::string& label, const std::string& path) {
    constexpr int Rounds = 3;
    WarmCache(path);
    std::vector<double> pictures, sound, strip, ourPictures, ourPeaks;
    for (int i = 0; i < Rounds; ++i) {
        const TChildRun p =
            Niced({"-skip_frame", "nokey", "-i", path, "-vf", "scale=160:-2", "-f", "null", "-"});
        Check(p, "ffmpeg (key frames)");
        const TChildRun a = Niced({"-i", path, "-map", "0:a", "-f", "null", "-"});
        Check(a, "ffmpeg (sound)");
        const TOurRun ours = Ours(path);
        pictures.push_back(p.Seconds);
        sound.push_back(a.Seconds);
        strip.push_back(ours.Strip);
        ourPictures.push_back(ours.Pictures);
        ourPeaks.push_back(ours.Peaks);
    }
    std::printf("%s, median of %d:\n", label.c_str(), Rounds);
    std::printf("  visible strip (1000 columns)  %.3f s (target <= 1 s)\n", Median(strip));
    std::printf("  key frame pictures  zarvex %.2f s  ffmpeg %.2f s  ratio %.2f (target <= 0.7)\n",
                Median(ourPictures), Median(pictures), Median(ourPictures) / Median(pictures));
    std::printf("  waveform            zarvex %.2f s  ffmpeg %.2f s  ratio %.2f (target <= 0.5)\n",
                Median(ourPeaks), Median(sound), Median(ourPeaks) / Median(sound));
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dir = fs::path(SelfPath()).parent_path() / "zarvex-bench-overview";
    fs::create_directories(dir);
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    // --ours FILE: only our run, for a profiler.
    if (argc > 2 && std::string(argv[1]) == "--ours") {
        const TOurRun run = Ours(argv[2]);
        std::printf("strip %.3f s, pictures %.2f s, peaks %.2f s, RSS growth %.1f MiB (%.1f MiB "
                    "before all pictures are asked for; that ask %.3f s)\n",
                    run.Strip, run.Pictures, run.Peaks, run.PeakRssKiB / 1024.0,
                    run.WorkRssKiB / 1024.0, run.AskAll);
        return 0;
    }
    // The three-hour one first, so that its memory is measured in a fresh process.
    if (!quick) {
        const std::string longest = Recording(dir, "mp3-180.avi", 3 * 3600, true);
        WarmCache(longest);
        const TOurRun run = Ours(longest);
        std::printf("three-hour recording, 1080 key frames: RSS growth %.1f MiB (target <= 200)"
                    " in %.2f s\n",
                    run.PeakRssKiB / 1024.0, std::max(run.Pictures, run.Peaks));
    }
    Compare("60 minutes, MP3", Recording(dir, "mp3-60.avi", 3600, true));
    const std::string pcm = Recording(dir, "pcm-60.avi", 3600, false);
    Compare("60 minutes, PCM", pcm);
    // The second open of a recording reads its cache.
    const fs::path cache = dir / "cache";
    fs::remove_all(cache);
    Ours(pcm, cache.string());
    const TOurRun again = Ours(pcm, cache.string());
    std::printf("second open from the cache: complete in %.3f s\n",
                std::max(again.Pictures, again.Peaks));
    fs::remove_all(cache);
    return 0;
}
