#include "splitting/ForeignFormats.h"
#include "splitting/Json5Lite.h"
#include "support/Errors.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace zarvex::lists {

namespace {

[[noreturn]] void Cannot(const TForeignList& list, size_t i, const std::string& why) {
    throw EZarvexError("Range " + std::to_string(i + 1) + " cannot be written in the " +
                       FormatName(list.Format) + " format: " + why + ".");
}

// Every range in frames, each with an end.
void NeedFrames(const TForeignList& list) {
    for (size_t i = 0; i < list.Ranges.size(); ++i) {
        if (list.Ranges[i].Timed)
            Cannot(list, i, "it is in seconds and the list in frames");
        if (list.Ranges[i].ToEnd)
            Cannot(list, i, "it runs to the end of the video, which the list cannot say");
    }
}

// Every range in seconds alone; toEnd when the format can run a range to the end.
void NeedSeconds(const TForeignList& list, bool toEnd) {
    for (size_t i = 0; i < list.Ranges.size(); ++i) {
        const TListRange& r = list.Ranges[i];
        if (!r.Timed)
            Cannot(list, i, "it is in frames and the list in seconds");
        if (r.Start.Frames != 0 || (!r.ToEnd && r.End.Frames != 0))
            Cannot(list, i, "it is shifted by frames, which need the video's frame rate");
        if (r.ToEnd && !toEnd)
            Cannot(list, i, "it runs to the end of the video, which the list cannot say");
    }
}

// A line break in a name would start a new line of the list, and a CR at its end is dropped as
// a line ending.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n')
            c = ' ';
    for (size_t i = text.size(); i > 0 && text[i - 1] == '\r'; --i)
        text[i - 1] = ' ';
    return text;
}

} // namespace

std::string WriteZarvex(const TForeignList& list) {
    NeedFrames(list);
    TCutList out;
    const double fps = list.FramesPerSecond;
    for (const TListRange& r : list.Ranges) {
        if (r.End.Frames <= r.Start.Frames)
            continue; // holds no frame
        if (r.End.Frames - 1 > INT32_MAX)
            Cannot(list, size_t(&r - list.Ranges.data()), "it ends past the last frame an AVI has");
        TCutListEntry e;
        e.Source = OneLine(r.Name);
        e.Frames = {int32_t(r.Start.Frames), int32_t(r.End.Frames - 1)};
        if (fps > 0)
            e.Start = double(r.Start.Frames) / fps, e.End = double(r.End.Frames) / fps;
        out.Entries.push_back(e);
    }
    return FormatCutList(out);
}

std::string WriteCutlistAt(const TForeignList& list) {
    for (size_t i = 0; i < list.Ranges.size(); ++i)
        if (list.Ranges[i].ToEnd)
            Cannot(list, i, "it runs to the end of the video, which the list cannot say");
    std::ostringstream out;
    const double fps = list.FramesPerSecond;
    out << "[General]\r\nApplication=zarvex\r\nVersion=1\r\n";
    if (fps > 0)
        out << "FramesPerSecond=" << SecondsText(fps) << "\r\n";
    out << "NoOfCuts=" << list.Ranges.size() << "\r\n";
    if (!list.General.ApplyToFile.empty())
        out << "ApplyToFile=" << OneLine(list.General.ApplyToFile) << "\r\n";
    if (list.General.OriginalFileSize)
        out << "OriginalFileSizeBytes=" << *list.General.OriginalFileSize << "\r\n";
    for (size_t i = 0; i < list.Ranges.size(); ++i) {
        const TListRange& r = list.Ranges[i];
        out << "\r\n[Cut" << i << "]\r\n";
        if (r.Timed) {
            // Only seconds: frames worked out here would be read back in their place.
            if (r.Start.Frames != 0 || r.End.Frames != 0)
                Cannot(list, i, "it is shifted by frames, which need the video's frame rate");
            out << "Start=" << SecondsText(r.Start.Seconds)
                << "\r\nDuration=" << SecondsText(r.End.Seconds - r.Start.Seconds) << "\r\n";
            continue;
        }
        const int64_t duration = r.End.Frames - r.Start.Frames;
        // The seconds only as far as a list may count them.
        if (fps > 0 && double(r.End.Frames) / fps <= MaxSeconds)
            out << "Start=" << SecondsText(double(r.Start.Frames) / fps)
                << "\r\nDuration=" << SecondsText(double(duration) / fps) << "\r\n";
        out << "StartFrame=" << r.Start.Frames << "\r\nDurationFrames=" << duration << "\r\n";
    }
    return out.str();
}

std::string WriteComskip(const TForeignList& list) {
    NeedFrames(list);
    std::ostringstream out;
    out << "FILE PROCESSING COMPLETE " << list.FrameCount << " FRAMES AT "
        << std::llround(list.FramesPerSecond * 100) << "\n-------------------\n";
    for (const TListRange& r : list.Ranges)
        if (r.End.Frames > r.Start.Frames)
            out << r.Start.Frames << "\t" << r.End.Frames - 1 << "\n";
    return out.str();
}

std::string WriteEdl(const TForeignList& list, bool kodi) {
    if (!kodi)
        NeedSeconds(list, false);
    std::ostringstream out;
    for (size_t i = 0; i < list.Ranges.size(); ++i) {
        const TListRange& r = list.Ranges[i];
        if (r.ToEnd)
            Cannot(list, i, "it runs to the end of the video, which the list cannot say");
        if (r.Timed && (r.Start.Frames != 0 || r.End.Frames != 0))
            Cannot(list, i, "it is shifted by frames, which need the video's frame rate");
        if (r.Timed)
            out << SecondsText(r.Start.Seconds) << "\t" << SecondsText(r.End.Seconds) << "\t0\n";
        else
            out << "#" << r.Start.Frames << "\t#" << r.End.Frames << "\t0\n";
    }
    return out.str();
}

std::string WriteVdr(const TForeignList& list) {
    std::ostringstream out;
    auto mark = [&](const TListPoint& p, size_t i) {
        const int64_t whole = int64_t(p.Seconds);
        if (double(whole) != p.Seconds || p.Frames < 0 || p.Frames >= 1000)
            Cannot(list, i, "a mark names a whole second and a frame in it");
        char text[64];
        std::snprintf(text, sizeof text, "%lld:%02d:%02d.%02lld\n", (long long)(whole / 3600),
                      int(whole / 60 % 60), int(whole % 60), (long long)(p.Frames + 1));
        out << text;
    };
    for (size_t i = 0; i < list.Ranges.size(); ++i) {
        const TListRange& r = list.Ranges[i];
        if (!r.Timed)
            Cannot(list, i, "it is in frames and the marks in seconds and frames");
        if (r.ToEnd && i + 1 != list.Ranges.size())
            Cannot(list, i, "only the last range can run to the end");
        mark(r.Start, i);
        if (!r.ToEnd)
            mark(r.End, i);
    }
    return out.str();
}

std::string WriteCsv(const TForeignList& list) {
    NeedSeconds(list, true);
    std::ostringstream out;
    for (const TListRange& r : list.Ranges) {
        out << SecondsText(r.Start.Seconds) << "," << (r.ToEnd ? "" : SecondsText(r.End.Seconds))
            << ",";
        // Quoted, a CR at its end is no line ending; a line break cannot be in a line at all.
        std::string name = r.Name;
        std::replace(name.begin(), name.end(), '\n', ' ');
        if (name.find_first_of(",\"") != std::string::npos || name != Trim(name)) {
            out << '"';
            for (const char c : name)
                out << (c == '"' ? "\"\"" : std::string(1, c));
            out << '"';
        } else {
            out << name;
        }
        out << "\n";
    }
    return out.str();
}

std::string WriteLlc(const TForeignList& list) {
    NeedSeconds(list, true);
    std::ostringstream out;
    out << "{\n  version: 1,\n  cutSegments: [\n";
    for (const TListRange& r : list.Ranges) {
        out << "    {\n      start: " << SecondsText(r.Start.Seconds) << ",\n";
        if (!r.ToEnd)
            out << "      end: " << SecondsText(r.End.Seconds) << ",\n";
        out << "      name: " << Json5String(r.Name) << ",\n    },\n";
    }
    out << "  ],\n}\n";
    return out.str();
}

std::string WriteVcf(const TForeignList& list) {
    NeedFrames(list);
    std::ostringstream out;
    out << "VirtualDub.subset.Clear();\n";
    for (const TListRange& r : list.Ranges)
        out << "VirtualDub.subset.AddRange(" << r.Start.Frames << ","
            << r.End.Frames - r.Start.Frames << ");\n";
    return out.str();
}

} // namespace zarvex::lists
