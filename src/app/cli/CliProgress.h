// Progress on the terminal, and Ctrl+C as the Cancel button of long jobs.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace zarvex::cli {

// From now on Ctrl+C (and SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ) asks the running job to stop
// instead of killing the program.
void InstallCancelHandler();
bool CancelRequested();
// Forgets the requests so far, for a job that heeds the first one later and the next at once.
void ClearCancelRequest();

// Runs a command; a path the system cannot resolve is a failure with a message, and a job stopped
// by a signal exits with 128 + the signal.
int RunCommand(const std::function<int()>& command);

class TCliProgress {
public:
    // Draws only when stderr is a terminal and quiet is false.
    TCliProgress(const std::string& label, bool quiet);
    ~TCliProgress();
    void Update(double percent);

private:
    void Draw(double percent);
    std::string Label;
    bool Enabled;
    bool Drawn = false;
    std::chrono::steady_clock::time_point Start;
    std::chrono::steady_clock::time_point LastDraw;
};

} // namespace zarvex::cli
