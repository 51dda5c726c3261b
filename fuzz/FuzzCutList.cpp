// Reads arbitrary text as a cut list: as ours, whose list that reads is written and read again
// and must come back with the same ranges and sources; and, after a first byte that picks the
// format (or detection), as another program's, which must come back the same from its own
// format, and whose kept frames must come back the same through it.
#include "splitting/CutList.h"
#include "splitting/ForeignCutList.h"
#include "support/Errors.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

using namespace zarvex;

namespace {

void OwnList(const std::string& text) {
    TCutList list;
    try {
        list = ParseCutList(text);
    } catch (const EZarvexError&) {
        return;
    }
    const TCutList again = ParseCutList(FormatCutList(list));
    if (again.Entries.size() != list.Entries.size())
        __builtin_trap();
    for (size_t i = 0; i < list.Entries.size(); ++i) {
        const TCutListEntry& a = list.Entries[i];
        const TCutListEntry& b = again.Entries[i];
        // Times are written to the microsecond.
        if (a.Frames != b.Frames || a.Source != b.Source ||
            std::abs(a.Start - b.Start) > 1e-6 + std::abs(a.Start) * 1e-12 || b.End < b.Start)
            __builtin_trap();
        RangeFileName(a.Source, int(i) + 1, int(list.Entries.size()));
        CutListPathFor(a.Source);
    }
}

[[noreturn]] void Fail(const char* what, const TForeignList& list) {
    std::fprintf(stderr, "%s (%s list):\n%s\n", what, FormatName(list.Format).c_str(),
                 WriteForeignList(list).c_str());
    __builtin_trap();
}

// Written with six decimals, durations as differences.
bool Near(double a, double b) {
    return std::abs(a - b) <= 2e-6 + std::abs(a) * 1e-12;
}

void ForeignList(uint8_t pick, const std::string& text) {
    static const char* const Paths[] = {"",      "a.cuts", "a.cutlist", "a.txt", "a.edl",
                                        "marks", "a.csv",  "a.llc",     "a.vcf", "a.doc"};
    const std::string path = Paths[pick % 10];
    TForeignList list;
    try {
        list = ReadForeignList(text, path);
    } catch (const EZarvexError&) {
        return; // too large, too many ranges, or of no known format
    }
    DescribeErrors(list);
    CutlistMismatch(list, "a.avi", 1234);
    // Whatever a format reads, it writes.
    const TForeignList again = ReadForeignList(WriteForeignList(list), list.Format);
    if (!again.Errors.empty() || again.Ranges.size() != list.Ranges.size())
        Fail("a list read back differs in its ranges or errors", list);
    for (size_t i = 0; i < list.Ranges.size(); ++i) {
        const TListRange &a = list.Ranges[i], &b = again.Ranges[i];
        if (a.Timed != b.Timed || a.ToEnd != b.ToEnd || a.Name != b.Name ||
            a.Start.Frames != b.Start.Frames || (!a.ToEnd && a.End.Frames != b.End.Frames) ||
            !Near(a.Start.Seconds, b.Start.Seconds) ||
            (!a.ToEnd && !Near(a.End.Seconds, b.End.Seconds)))
            Fail("a range read back differs", list);
    }
    // Kept frames of a 29.97 video, as this format, read back as the same frames.
    const TListVideo video{100000, 30000, 1001};
    const TKeptFrames kept = KeptFrames(list, video, int64_t(pick) - 128);
    for (const TKeepRange& r : kept.Ranges)
        if (r.First < 0 || r.Last < r.First || r.Last >= video.FrameCount)
            Fail("kept frames outside the video", list);
    const std::string written = WriteForeignList(ListOfKeptFrames(list.Format, kept.Ranges, video));
    const TForeignList back = ReadForeignList(written, list.Format);
    if (!back.Errors.empty() || KeptFrames(back, video).Ranges != kept.Ranges)
        Fail("kept frames read back differ", list);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    OwnList(text);
    if (size > 0)
        ForeignList(data[0], text.substr(1));
    return 0;
}
