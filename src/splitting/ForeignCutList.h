// Cut lists of other programs: cutlist.at, comskip, MPlayer and Kodi EDL, VDR marks,
// LosslessCut, VirtualDub, and our own. Each keeps its own meaning (parts to keep or to remove,
// frames or times) until the ranges are turned into the kept frames of one video.
#pragma once

#include "splitting/CutList.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zarvex {

enum class TListFormat {
    Unknown,
    Zarvex,     // ours: first and last frame to keep
    CutlistAt,  // .cutlist INI: parts to keep, frames preferred over seconds
    ComskipTxt, // commercials' first and last frames
    MPlayerEdl, // start end action, seconds; action 0 removes (comskip's .edl too)
    KodiEdl,    // seconds, h:mm:ss.sss or #frame; actions 0 and 3 remove
    VdrMarks,   // h:mm:ss.ff, the frame within the second 1-based; odd marks start a kept part
    LosslessCsv,
    LosslessLlc, // JSON5 with cutSegments
    VirtualDubVcf,
};

// Limits on what a list from anywhere may make us do.
inline constexpr size_t MaxListBytes = 4 << 20;
inline constexpr size_t MaxListLine = 4096;
inline constexpr size_t MaxListRanges = 100000;

// A position: seconds plus frames. A frame list has only frames, a time list only seconds; VDR
// names the whole second and the frame within it.
struct TListPoint {
    double Seconds = 0;
    int64_t Frames = 0;
    bool operator==(const TListPoint&) const = default;
};

// From Start up to, not including, End.
struct TListRange {
    TListPoint Start, End;
    bool Timed = false; // Seconds count; otherwise Seconds is 0
    bool ToEnd = false; // runs to the end of the video; End means nothing
    std::string Name;   // LosslessCut's segment names
    bool operator==(const TListRange&) const = default;
};

struct TListLineError {
    int Line = 0;
    std::string Text; // the line, shortened when long
};

// [General] of a cutlist.at list.
struct TCutlistGeneral {
    std::string ApplyToFile;
    std::optional<int64_t> OriginalFileSize; // bytes; a negative entry read as its 32-bit wrap
    bool SizeWrapped = false;                // the entry was negative
};

struct TForeignList {
    TListFormat Format = TListFormat::Unknown;
    std::vector<TListRange> Ranges;
    double FramesPerSecond = 0; // as the list states it, 0 when it does not
    int64_t FrameCount = 0;     // of the video, when the list states it (comskip)
    TCutlistGeneral General;
    std::vector<TListLineError> Errors; // lines that could not be read
};

// Whether a format lists the parts to remove (otherwise the parts to keep).
bool RemovesParts(TListFormat format);
// "cutlist", "comskip", "edl", "kodi", "vdr", "csv", "llc", "vcf", "zarvex".
std::string FormatName(TListFormat format);
TListFormat FormatOfName(const std::string& name);
// The format a file name suggests: ".cutlist", "marks", ".edl", ...
TListFormat FormatOfFileName(const std::string& path);
// By content first; by the file name when the content does not tell.
TListFormat DetectListFormat(const std::string& text, const std::string& path);

// Reads text in a format; lines that cannot be read are in Errors, the rest is read. Raises
// EZarvexError for a list too large or with too many ranges.
TForeignList ReadForeignList(const std::string& text, TListFormat format);
// Detects the format first; raises EZarvexError when it cannot be told.
TForeignList ReadForeignList(const std::string& text, const std::string& path);
// "Line 3 cannot be read: ..." for each refused line, one a line.
std::string DescribeErrors(const TForeignList& list);

// The list as text of list.Format. Raises EZarvexError for a range the format cannot hold (a
// time in a frame list, a range to the end in a format without one): turning the list into
// frames of its video first (KeptFrames, ListOfKeptFrames) always gives one it can.
std::string WriteForeignList(const TForeignList& list);

// The video that times and removals are resolved against.
struct TListVideo {
    int64_t FrameCount = 0;
    uint32_t Rate = 25, Scale = 1;
};

struct TKeptFrames {
    std::vector<TKeepRange> Ranges;
    int CutAtEnd = 0; // ranges shortened or dropped at the end of the video
};

// The frames a list keeps of a video, offset frames later (earlier when negative): removals
// become their complement, times frames of the video's clock, ends past the video its last.
TKeptFrames KeptFrames(const TForeignList& list, const TListVideo& video, int64_t offset = 0);
// The list of a format that keeps these frames of the video.
TForeignList ListOfKeptFrames(TListFormat format, const std::vector<TKeepRange>& kept,
                              const TListVideo& video);
// Adds frames to every position, as an offset does; a list in seconds then holds both.
void ShiftList(TForeignList& list, int64_t frames);

// The lists beside a video that may be its own, ours first: "clip.avi" -> clip.cuts,
// clip.avi.cutlist, clip.cutlist, clip.txt, clip.edl, clip.csv, clip.llc, clip-proj.llc,
// clip.vcf and the folder's VDR marks, those that exist.
std::vector<std::string> ListFilesBeside(const std::string& aviPath);

// "" or why a cutlist.at list seems made for another file than name (its file name, no folder)
// of size bytes.
std::string CutlistMismatch(const TForeignList& list, const std::string& name, uint64_t size);

} // namespace zarvex
