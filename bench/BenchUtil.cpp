#include "BenchUtil.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zarvex::bench {

TChildRun RunChild(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    TChildRun run;
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.PeakKiB = usage.ru_maxrss;
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TChildRun MedianRun(const std::vector<std::string>& argv, int runs) {
    std::vector<TChildRun> all;
    long peak = 0;
    for (int i = 0; i < runs; ++i) {
        all.push_back(RunChild(argv));
        if (all.back().ExitCode != 0)
            throw std::runtime_error("benchmark command failed: " + argv[0]);
        peak = std::max(peak, all.back().PeakKiB);
    }
    std::sort(all.begin(), all.end(),
              [](const TChildRun& a, const TChildRun& b) { return a.Seconds < b.Seconds; });
    TChildRun median = all[all.size() / 2];
    median.PeakKiB = peak;
    return median;
}

void WarmCache(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return;
    static char block[1 << 16];
    while (std::fread(block, 1, sizeof block, f) == sizeof block) {
    }
    std::fclose(f);
}

void CacheAsRead(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    Require(fd >= 0 && fdatasync(fd) == 0 && posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0,
            "dropping " + path + " from the cache");
    close(fd);
    WarmCache(path);
}

void ReusePageCache(const std::string& folder, long long bytes) {
    const std::string path = folder + "/page-cache-scratch";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Require(fd >= 0, "creating " + path);
    static const std::vector<char> block(1 << 20, 1);
    for (long long done = 0; done < bytes; done += static_cast<long long>(block.size()))
        Require(write(fd, block.data(), block.size()) == ssize_t(block.size()), "writing " + path);
    close(fd);
    unlink(path.c_str());
}

std::vector<std::string> Ffmpeg(std::vector<std::string> args) {
    std::vector<std::string> argv{"ffmpeg", "-nostdin", "-y", "-v", "error"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::string SelfPath() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        throw std::runtime_error("cannot find the benchmark's own path");
    return std::string(path, size_t(n));
}

std::string CliPath(const char* builtIn) {
    const char* env = std::getenv("ZARVEX_CLI");
    return env != nullptr && *env != '\0' ? env : builtIn;
}

void Require(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "%s failed\n", what.c_str());
        std::exit(1);
    }
}

void Check(const TChildRun& run, const std::string& what) {
    if (run.ExitCode != 0) {
        std::fprintf(stderr, "%s failed (exit code %d)\n", what.c_str(), run.ExitCode);
        std::exit(1);
    }
}

void MakeXvidRecording(const std::filesystem::path& dir, const std::filesystem::path& src,
                       int seconds, int bframes) {
    const std::string clip = (dir / "clip.avi").string();
    Check(RunChild(Ffmpeg({"-f",
                           "lavfi",
                           "-i",
                           "testsrc2=size=720x576:rate=25",
                           "-vf",
                           "noise=alls=20:allf=t",
                           "-frames:v",
                           "500",
                           "-c:v",
                           "mpeg4",
                           "-vtag",
                           "XVID",
                           "-q:v",
                           "3",
                           "-g",
                           "250",
                           "-bf",
                           std::to_string(bframes),
                           "-flags",
                           "+cgop",
                           "-sc_threshold",
                           "1000000000",
                           clip})),
          "ffmpeg (clip)");
    Check(RunChild(Ffmpeg({"-stream_loop", "-1", "-i", clip, "-f", "lavfi", "-i",
                           "sine=sample_rate=44100", "-map", "0:v", "-map", "1:a", "-c:v", "copy",
                           "-c:a", "pcm_s16le", "-t", std::to_string(seconds), src.string()})),
          "ffmpeg (source)");
    std::filesystem::remove(clip);
}

} // namespace zarvex::bench
