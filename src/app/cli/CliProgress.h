// Progress on the terminal, and Ctrl+C as the Cancel button of long jobs.
#pragma once

#include <chrono>
#include <string>

namespace zarvex::cli {

// From now on Ctrl+C asks the running job to stop instead of killing the program.
void InstallCancelHandler();
bool CancelRequested();
// Forgets the requests so far, for a job that heeds the first one later and the next at once.
void ClearCancelRequest();

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
