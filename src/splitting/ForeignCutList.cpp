#include "splitting/ForeignCutList.h"

#include "splitting/ForeignFormats.h"
#include "support/Errors.h"
#include "support/FrameClock.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <sstream>

namespace zarvex {

using namespace lists;

namespace {

struct TFormatName {
    TListFormat Format;
    const char* Name;
};

constexpr TFormatName Names[] = {
    {TListFormat::Zarvex, "zarvex"},      {TListFormat::CutlistAt, "cutlist"},
    {TListFormat::ComskipTxt, "comskip"}, {TListFormat::MPlayerEdl, "edl"},
    {TListFormat::KodiEdl, "kodi"},       {TListFormat::VdrMarks, "vdr"},
    {TListFormat::LosslessCsv, "csv"},    {TListFormat::LosslessLlc, "llc"},
    {TListFormat::VirtualDubVcf, "vcf"},
};

std::string Lower(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsFrameWord(const std::string& w) {
    return w.size() > 1 && w[0] == '#' && ReadFrame(w.substr(1));
}

// What the first lines look like, for a list that names no format of its own.
TListFormat FormatOfShape(const std::string& text) {
    std::istringstream in(text.substr(0, 64 * 1024));
    std::string line;
    TListFormat shape = TListFormat::Unknown;
    for (int n = 0; n < 200 && std::getline(in, line); ++n) {
        const std::string t = Trim(line);
        // Blank lines, and comments of ours (a Kodi "#123" is a frame).
        if (t.empty() || (t[0] == '#' && !std::isdigit(static_cast<unsigned char>(t[1]))))
            continue;
        std::istringstream words(t);
        std::vector<std::string> w;
        for (std::string s; words >> s;)
            w.push_back(s);
        if (shape == TListFormat::Unknown) {
            if (t.find(',') != std::string::npos && !ReadSeconds(w[0]))
                return TListFormat::LosslessCsv;
            if (t.find(',') != std::string::npos && w.size() == 1)
                return TListFormat::LosslessCsv;
            const bool time = ReadClock(w[0]) || IsFrameWord(w[0]);
            const bool second = w.size() > 1 && (ReadClock(w[1]) || IsFrameWord(w[1]));
            if (w[0].find(':') != std::string::npos && !second)
                return TListFormat::VdrMarks;
            if (w.size() >= 4 && ReadFrame(w[0]) && ReadFrame(w[1]))
                return TListFormat::Zarvex;
            if (!time || !second || w.size() > 3)
                return TListFormat::Unknown;
            shape = TListFormat::MPlayerEdl;
        }
        // Kodi's own spellings: h:mm:ss, #frame and the actions beyond MPlayer's.
        if (t.find(':') != std::string::npos || t.find('#') != std::string::npos ||
            (w.size() == 3 && (w[2] == "2" || w[2] == "3")))
            return TListFormat::KodiEdl;
    }
    return shape;
}

} // namespace

bool RemovesParts(TListFormat format) {
    return format == TListFormat::ComskipTxt || format == TListFormat::MPlayerEdl ||
           format == TListFormat::KodiEdl;
}

std::string FormatName(TListFormat format) {
    for (const TFormatName& n : Names)
        if (n.Format == format)
            return n.Name;
    return "unknown";
}

TListFormat FormatOfName(const std::string& name) {
    for (const TFormatName& n : Names)
        if (Lower(name) == n.Name)
            return n.Format;
    return TListFormat::Unknown;
}

TListFormat FormatOfFileName(const std::string& path) {
    const std::filesystem::path p(path);
    const std::string ext = Lower(p.extension().string());
    const std::string name = Lower(p.filename().string());
    if (name == "marks" || name == "marks.vdr" || ext == ".marks")
        return TListFormat::VdrMarks;
    const std::pair<const char*, TListFormat> byExt[] = {
        {".cuts", TListFormat::Zarvex},       {".cutlist", TListFormat::CutlistAt},
        {".txt", TListFormat::ComskipTxt},    {".edl", TListFormat::MPlayerEdl},
        {".csv", TListFormat::LosslessCsv},   {".llc", TListFormat::LosslessLlc},
        {".vcf", TListFormat::VirtualDubVcf},
    };
    for (const auto& [e, f] : byExt)
        if (ext == e)
            return f;
    return TListFormat::Unknown;
}

TListFormat DetectListFormat(const std::string& text, const std::string& path) {
    const std::string head = Lower(text.substr(0, 64 * 1024));
    const std::string first = Trim(head.substr(0, head.find('\n')));
    // What names its format outright.
    if (first.rfind("# zarvex cut list", 0) == 0 || first.rfind("\xEF\xBB\xBF# zarvex", 0) == 0)
        return TListFormat::Zarvex;
    if (head.find("[general]") != std::string::npos || head.find("[cut0]") != std::string::npos)
        return TListFormat::CutlistAt;
    if (head.find("file processing complete") != std::string::npos)
        return TListFormat::ComskipTxt;
    if (head.find("cutsegments") != std::string::npos)
        return TListFormat::LosslessLlc;
    if (head.find("virtualdub.subset") != std::string::npos)
        return TListFormat::VirtualDubVcf;
    // Lines of numbers fit several formats: the extension tells them apart, the shape when it
    // names none.
    const TListFormat byName = FormatOfFileName(path);
    const TListFormat shape = FormatOfShape(text);
    if (byName == TListFormat::MPlayerEdl && shape == TListFormat::KodiEdl)
        return shape;
    return byName != TListFormat::Unknown ? byName : shape;
}

TForeignList ReadForeignList(const std::string& text, TListFormat format) {
    if (text.size() > MaxListBytes)
        throw EZarvexError("The cut list is larger than " + std::to_string(MaxListBytes >> 20) +
                           " MiB.");
    TForeignList list;
    list.Format = format;
    switch (format) {
    case TListFormat::Zarvex:
        ReadZarvex(text, list);
        break;
    case TListFormat::CutlistAt:
        ReadCutlistAt(text, list);
        break;
    case TListFormat::ComskipTxt:
        ReadComskip(text, list);
        break;
    case TListFormat::MPlayerEdl:
        ReadEdl(text, list, false);
        break;
    case TListFormat::KodiEdl:
        ReadEdl(text, list, true);
        break;
    case TListFormat::VdrMarks:
        ReadVdr(text, list);
        break;
    case TListFormat::LosslessCsv:
        ReadCsv(text, list);
        break;
    case TListFormat::LosslessLlc:
        ReadLlc(text, list);
        break;
    case TListFormat::VirtualDubVcf:
        ReadVcf(text, list);
        break;
    case TListFormat::Unknown:
        throw EZarvexError("The format of the cut list is not known.");
    }
    // Some are found only after the whole list is read.
    std::stable_sort(
        list.Errors.begin(), list.Errors.end(),
        [](const TListLineError& a, const TListLineError& b) { return a.Line < b.Line; });
    return list;
}

TForeignList ReadForeignList(const std::string& text, const std::string& path) {
    const TListFormat format = DetectListFormat(text, path);
    if (format == TListFormat::Unknown)
        throw EZarvexError("The cut list is of no known format.");
    return ReadForeignList(text, format);
}

std::string DescribeErrors(const TForeignList& list) {
    std::string out;
    for (const TListLineError& e : list.Errors)
        out += "Line " + std::to_string(e.Line) + " cannot be read: " + e.Text + "\n";
    return out;
}

std::string WriteForeignList(const TForeignList& list) {
    switch (list.Format) {
    case TListFormat::Zarvex:
        return WriteZarvex(list);
    case TListFormat::CutlistAt:
        return WriteCutlistAt(list);
    case TListFormat::ComskipTxt:
        return WriteComskip(list);
    case TListFormat::MPlayerEdl:
        return WriteEdl(list, false);
    case TListFormat::KodiEdl:
        return WriteEdl(list, true);
    case TListFormat::VdrMarks:
        return WriteVdr(list);
    case TListFormat::LosslessCsv:
        return WriteCsv(list);
    case TListFormat::LosslessLlc:
        return WriteLlc(list);
    case TListFormat::VirtualDubVcf:
        return WriteVcf(list);
    case TListFormat::Unknown:
        break;
    }
    throw EZarvexError("A cut list of no known format cannot be written.");
}

TKeptFrames KeptFrames(const TForeignList& list, const TListVideo& video, int64_t offset) {
    const TFrameClock clock(video.Rate, video.Scale);
    const int64_t count = std::max<int64_t>(video.FrameCount, 0);
    auto frameOf = [&](const TListPoint& p, bool timed) {
        return (timed ? clock.TypedFrame(p.Seconds) : 0) + p.Frames + offset;
    };
    TKeptFrames out;
    std::vector<std::pair<int64_t, int64_t>> spans; // [first, end)
    for (const TListRange& r : list.Ranges) {
        const int64_t first = std::max<int64_t>(frameOf(r.Start, r.Timed), 0);
        int64_t end = r.ToEnd ? count : frameOf(r.End, r.Timed);
        if (end > count) {
            ++out.CutAtEnd;
            end = count;
        }
        if (first < end)
            spans.emplace_back(first, end);
    }
    if (RemovesParts(list.Format)) {
        std::sort(spans.begin(), spans.end());
        std::vector<std::pair<int64_t, int64_t>> kept;
        int64_t at = 0;
        for (const auto& [first, end] : spans) {
            if (first > at)
                kept.emplace_back(at, first);
            at = std::max(at, end);
        }
        if (at < count)
            kept.emplace_back(at, count);
        spans = kept;
    }
    for (const auto& [first, end] : spans)
        out.Ranges.push_back({int32_t(std::min<int64_t>(first, INT32_MAX)),
                              int32_t(std::min<int64_t>(end - 1, INT32_MAX))});
    return out;
}

TForeignList ListOfKeptFrames(TListFormat format, const std::vector<TKeepRange>& kept,
                              const TListVideo& video) {
    const TFrameClock clock(video.Rate, video.Scale);
    TForeignList list;
    list.Format = format;
    list.FramesPerSecond = clock.FramesPerSecond();
    list.FrameCount = video.FrameCount;
    std::vector<std::pair<int64_t, int64_t>> spans;
    for (const TKeepRange& r : kept)
        spans.emplace_back(r.First, int64_t(r.Last) + 1);
    if (RemovesParts(format)) {
        std::sort(spans.begin(), spans.end());
        std::vector<std::pair<int64_t, int64_t>> removed;
        int64_t at = 0;
        for (const auto& [first, end] : spans) {
            if (first > at)
                removed.emplace_back(at, first);
            at = std::max(at, end);
        }
        if (at < video.FrameCount)
            removed.emplace_back(at, video.FrameCount);
        spans = removed;
    }
    auto point = [&](int64_t frame) {
        const double seconds = double(clock.FrameStart(frame)) / 1e7;
        if (format != TListFormat::VdrMarks)
            return TListPoint{seconds, 0};
        // The whole second, and the frames after the one shown at it.
        const double whole = std::floor(seconds);
        return TListPoint{whole, frame - clock.TypedFrame(whole)};
    };
    const bool timed = format == TListFormat::MPlayerEdl || format == TListFormat::KodiEdl ||
                       format == TListFormat::VdrMarks || format == TListFormat::LosslessCsv ||
                       format == TListFormat::LosslessLlc;
    for (const auto& [first, end] : spans) {
        TListRange r;
        r.Timed = timed;
        r.Start = timed ? point(first) : TListPoint{0, first};
        r.End = timed ? point(end) : TListPoint{0, end};
        list.Ranges.push_back(r);
    }
    return list;
}

void ShiftList(TForeignList& list, int64_t frames) {
    for (TListRange& r : list.Ranges) {
        r.Start.Frames += frames;
        r.End.Frames += frames;
        if (!r.Timed) {
            // A frame list cannot name frames before the first.
            r.Start.Frames = std::max<int64_t>(r.Start.Frames, 0);
            r.End.Frames = std::max<int64_t>(r.End.Frames, 0);
        }
    }
}

std::vector<std::string> ListFilesBeside(const std::string& aviPath) {
    namespace fs = std::filesystem;
    const fs::path video(aviPath);
    const fs::path stem = video.parent_path() / video.stem();
    std::vector<fs::path> candidates{CutListPathFor(aviPath), video.string() + ".cutlist"};
    for (const char* ext : {".cutlist", ".txt", ".edl", ".csv", ".llc"})
        candidates.push_back(stem.string() + ext);
    candidates.push_back(stem.string() + "-proj.llc");
    candidates.push_back(stem.string() + ".vcf");
    candidates.push_back(video.parent_path() / "marks");
    std::vector<std::string> found;
    for (const fs::path& p : candidates) {
        std::error_code error;
        if (fs::is_regular_file(p, error) &&
            std::find(found.begin(), found.end(), p.string()) == found.end())
            found.push_back(p.string());
    }
    return found;
}

std::string CutlistMismatch(const TForeignList& list, const std::string& name, uint64_t size) {
    if (list.Format != TListFormat::CutlistAt)
        return "";
    std::string why;
    const std::string wanted = list.General.ApplyToFile;
    // Written on Windows, often with its folder.
    const std::string file = wanted.substr(wanted.find_last_of("/\\") + 1);
    if (!wanted.empty() && Lower(file) != Lower(name))
        why = "The cut list is for " + wanted + ", not " + name + ".";
    if (const auto& want = list.General.OriginalFileSize) {
        // A wrapped size only tells the low 32 bits.
        const bool same = list.General.SizeWrapped
                              ? (size & 0xFFFFFFFFu) == (uint64_t(*want) & 0xFFFFFFFFu)
                              : size == uint64_t(*want);
        if (!same)
            why += std::string(why.empty() ? "" : " ") + "The cut list is for a file of " +
                   std::to_string(*want) + " bytes; " + name + " has " + std::to_string(size) + ".";
    }
    return why;
}

} // namespace zarvex
