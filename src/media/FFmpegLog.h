// FFmpeg's own log lines: off the terminal unless asked for, and caught while an encoder opens
// so that a refusal can be told in FFmpeg's words.
#pragma once

#include <string>

namespace zarvex::media {

// Quiet (the default of both programs) or FFmpeg's usual level.
void SetFFmpegLogVerbose(bool verbose);

// While one lives, this thread's FFmpeg messages are kept here instead of being printed.
class TLogCapture {
public:
    TLogCapture();
    ~TLogCapture();
    TLogCapture(const TLogCapture&) = delete;
    TLogCapture& operator=(const TLogCapture&) = delete;

    // The warnings and errors caught so far, one sentence after another.
    const std::string& Text() const { return Caught; }
    void Add(const std::string& line);

private:
    TLogCapture* Outer;
    std::string Caught;
};

} // namespace zarvex::media
