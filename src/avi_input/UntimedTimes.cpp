#include "avi_input/UntimedTimes.h"

#include "avi_input/AVIRead.h"

#include <algorithm>
#include <cstdio>

namespace zarvex {

namespace {

bool ParseClock(const uint8_t* p, int64_t& ms) {
    // hh:mm:ss.mmm, digits only where digits belong
    static const char* const shape = "dd:dd:dd.ddd";
    int64_t h = 0, m = 0, s = 0, f = 0;
    int64_t* parts[] = {&h, &h, &h, &m, &m, &m, &s, &s, &s, &f, &f, &f};
    for (int i = 0; i < 12; ++i) {
        if (shape[i] != 'd') {
            if (p[i] != uint8_t(shape[i]))
                return false;
            continue;
        }
        if (p[i] < '0' || p[i] > '9')
            return false;
        *parts[i] = *parts[i] * 10 + (p[i] - '0');
    }
    if (m > 59 || s > 59)
        return false;
    ms = ((h * 60 + m) * 60 + s) * 1000 + f;
    return true;
}

void PrintClock(uint8_t* p, int64_t ms) {
    ms = std::clamp<int64_t>(ms, 0, 99 * 3600000 + 3599999);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", int(ms / 3600000), int(ms / 60000 % 60),
                  int(ms / 1000 % 60), int(ms % 1000));
    std::copy(text, text + 12, p);
}

} // namespace

bool ParseXsubTimes(const uint8_t* p, size_t size, int64_t& startMs, int64_t& endMs) {
    return size >= XsubTimesSize && p[0] == '[' && p[13] == '-' && p[26] == ']' &&
           ParseClock(p + 1, startMs) && ParseClock(p + 14, endMs);
}

void WriteXsubTimes(uint8_t* p, int64_t startMs, int64_t endMs) {
    PrintClock(p + 1, startMs);
    PrintClock(p + 14, endMs);
}

void TAVIFileReader::TimeUntimedStreams() {
    const TAVIStream* video = FVideoStream;
    const int64_t frames = video ? int64_t(video->EntryCount()) : 0;
    for (auto& s : FStreams) {
        if (!s->Untimed())
            continue;
        s->UntimedTimes.clear();
        double last = 0.0;
        for (int64_t i = 0; i < int64_t(s->EntryCount()); ++i) {
            TAVIIndexEntry e;
            s->GetEntry(i, e);
            uint8_t head[XsubTimesSize];
            int64_t start = 0, end = 0;
            double t = -1.0;
            if (Walker->Read(head, XsubTimesSize, e.Offset) == XsubTimesSize &&
                e.Size >= XsubTimesSize && ParseXsubTimes(head, XsubTimesSize, start, end)) {
                t = double(start) / 1000.0;
            } else if (frames > 0) {
                // The time of the last picture before it in the file.
                int64_t lo = 0, hi = frames;
                while (lo < hi) {
                    const int64_t mid = lo + (hi - lo) / 2;
                    TAVIIndexEntry v;
                    video->GetEntry(mid, v);
                    if (v.Offset < e.Offset)
                        lo = mid + 1;
                    else
                        hi = mid;
                }
                t = video->EntryTime(std::max<int64_t>(lo - 1, 0));
            }
            // Entries keep their order in time, as the copier's searches expect.
            last = std::max(last, t);
            s->UntimedTimes.push_back(last);
        }
    }
}

} // namespace zarvex
