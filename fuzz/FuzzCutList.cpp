// Reads arbitrary text as a cut list; a list that reads is written and read again, and must
// come back with the same ranges and sources.
#include "splitting/CutList.h"
#include "support/Errors.h"

#include <cmath>
#include <cstdint>
#include <string>

using namespace zarvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TCutList list;
    try {
        list = ParseCutList(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const EZarvexError&) {
        return 0;
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
    return 0;
}
