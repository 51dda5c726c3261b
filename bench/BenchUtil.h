// Timing other processes side by side: wall time and peak memory of one child run.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zarvex::bench {

struct TChildRun {
    double Seconds = 0;
    long PeakKiB = 0; // the child's maximum resident set
    int ExitCode = -1;
};

// Runs argv[0] with its arguments (stdout and stderr to /dev/null) and waits for it.
TChildRun RunChild(const std::vector<std::string>& argv);

// The median of several runs of the same command, by time; peak memory is the largest seen.
TChildRun MedianRun(const std::vector<std::string>& argv, int runs);

// Reads a file once so every contender starts from a warm page cache.
void WarmCache(const std::string& path);
// Writes a file out, drops it from the page cache and reads it back, so that it is cached as a
// file read from disk is. A file just written stays cached in the pieces its writer wrote, and
// the kernel copies out of small pieces (ffmpeg's) markedly slower than out of read-ahead ones.
void CacheAsRead(const std::string& path);
// Writes and deletes a scratch file of the given size in folder, so that the next run writes
// into memory the system has just used. On a virtual machine that hands free memory back to its
// host, a run that follows a pause pays for the host mapping that memory anew, up to four times
// the time of a run that follows another.
void ReusePageCache(const std::string& folder, long long bytes);

std::string SelfPath();

// A 720x576 Xvid-tagged MPEG-4 recording with bframes B-frames in a row, a key frame every 250
// frames and PCM sound, seconds long: 500 noisy frames encoded once and looped by stream copy,
// about 6 MiB a second. dir holds the clip meanwhile.
void MakeXvidRecording(const std::filesystem::path& dir, const std::filesystem::path& src,
                       int seconds, int bframes = 2);

// "ffmpeg -nostdin -y -v error" followed by args.
std::vector<std::string> Ffmpeg(std::vector<std::string> args);

// The zarvex-cli to measure: $ZARVEX_CLI when set, else the one the build names.
std::string CliPath(const char* builtIn);

// Ends the benchmark with "WHAT failed" when a step did not work.
void Require(bool ok, const std::string& what);
// The same for a child run, with its exit code.
void Check(const TChildRun& run, const std::string& what);

} // namespace zarvex::bench
