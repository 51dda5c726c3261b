#include "media/FFmpegLog.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace zarvex::media {

namespace {

thread_local TLogCapture* Active = nullptr;

void Callback(void* avcl, int level, const char* fmt, va_list vl) {
    if (!Active) {
        av_log_default_callback(avcl, level, fmt, vl);
        return;
    }
    if (level > AV_LOG_WARNING)
        return;
    char line[1024];
    std::vsnprintf(line, sizeof line, fmt, vl);
    Active->Add(line);
}

void InstallCallback() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(Callback); });
}

} // namespace

void SetFFmpegLogVerbose(bool verbose) {
    InstallCallback();
    av_log_set_level(verbose ? AV_LOG_INFO : AV_LOG_QUIET);
}

TLogCapture::TLogCapture() : Outer(Active) {
    InstallCallback();
    Active = this;
}

TLogCapture::~TLogCapture() {
    Active = Outer;
}

void TLogCapture::Add(const std::string& line) {
    std::string text = line;
    for (char& c : text)
        if (c == '\n')
            c = ' '; // one message may span lines; the caught text is one paragraph
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (text.empty())
        return;
    if (!Caught.empty())
        Caught += Caught.back() == '.' || Caught.back() == ':' ? " " : ". ";
    Caught += text;
}

} // namespace zarvex::media
