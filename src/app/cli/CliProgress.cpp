#include "app/cli/CliProgress.h"

#include "app/cli/CliCommands.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace zarvex::cli {

namespace {
std::atomic<bool> CancelFlag{false};
std::atomic<int> CancelSignal{0};
extern "C" void OnInterrupt(int signal) {
    int none = 0;
    CancelSignal.compare_exchange_strong(none, signal);
    CancelFlag = true;
}
} // namespace

void InstallCancelHandler() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    // A closed terminal or pipe, and a file past the size limit, would kill the program in the
    // middle of a file: they stop the job as Ctrl+C does, and the write that hit the limit fails
    // with EFBIG, which completes the file with what fits.
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ})
        sigaction(signal, &sa, nullptr);
}

int CommandExitCode(int code) {
    const int signal = CancelSignal;
    return signal != 0 && code != ExitUsage ? 128 + signal : code;
}

int RunCommand(const std::function<int()>& command) {
    try {
        return CommandExitCode(command());
    } catch (const std::filesystem::filesystem_error& e) {
        std::cerr << "zarvex-cli: " << e.path1().string() << ": " << e.code().message() << "\n";
        return CommandExitCode(ExitFailure);
    }
}

bool CancelRequested() {
    return CancelFlag;
}

void ClearCancelRequest() {
    CancelFlag = false;
}

TCliProgress::TCliProgress(const std::string& label, bool quiet)
    : Label(label), Enabled(!quiet && isatty(STDERR_FILENO)),
      Start(std::chrono::steady_clock::now()), LastDraw(Start) {}

TCliProgress::~TCliProgress() {
    if (Drawn)
        std::fputc('\n', stderr);
}

void TCliProgress::Update(double percent) {
    if (!Enabled)
        return;
    const auto now = std::chrono::steady_clock::now();
    // A redraw per chunk would cost more than the copy itself.
    if (Drawn && now - LastDraw < std::chrono::milliseconds(100) && percent < 100.0)
        return;
    LastDraw = now;
    Draw(percent);
}

void TCliProgress::Draw(double percent) {
    percent = std::clamp(percent, 0.0, 100.0);
    const int width = 30;
    const int filled = int(percent / 100.0 * width);
    const double elapsed = std::chrono::duration<double>(LastDraw - Start).count();
    char remaining[32] = "--:--";
    if (percent > 0.5) {
        const int left = int(elapsed * (100.0 - percent) / percent + 0.5);
        std::snprintf(remaining, sizeof remaining, "%02d:%02d", left / 60, left % 60);
    }
    std::fprintf(stderr, "\r%s [%s%s] %5.1f%%  %s left ", Label.c_str(),
                 std::string(size_t(filled), '#').c_str(),
                 std::string(size_t(width - filled), '.').c_str(), percent, remaining);
    std::fflush(stderr);
    Drawn = true;
}

} // namespace zarvex::cli
