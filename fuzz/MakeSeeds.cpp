// Writes the fuzzers' seed corpora: small built files of every index layout, and cut lists.
#include "fixtures/AviBuilder.h"
#include "splitting/CutList.h"
#include "splitting/ForeignCutList.h"

#include <cstdio>
#include <string>

using namespace zarvex::fixtures;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_fuzz_seeds AVI-FOLDER CUT-LIST-FOLDER\n");
        return 2;
    }
    const std::string dir = argv[1];
    struct Seed {
        const char* Name;
        TIndexStyle Style;
        bool Audio, Rec;
        uint32_t PerStd;
    };
    const Seed seeds[] = {
        {"idx1-relative.avi", TIndexStyle::Idx1Relative, true, false, 0},
        {"idx1-absolute.avi", TIndexStyle::Idx1Absolute, true, false, 0},
        {"idx1-rec.avi", TIndexStyle::Idx1Relative, true, true, 0},
        {"odml.avi", TIndexStyle::OpenDML, true, false, 0},
        {"odml-split.avi", TIndexStyle::OpenDML, true, false, 3},
        {"odml-type1.avi", TIndexStyle::OpenDMLType1, true, false, 0},
        {"video-only.avi", TIndexStyle::Idx1Relative, false, false, 0},
    };
    for (const Seed& s : seeds) {
        TAviLayout layout = SimpleLayout(8, 3, s.Audio, s.Style);
        layout.RecLists = s.Rec;
        layout.EntriesPerStdIndex = s.PerStd;
        layout.AlsoIdx1 = s.Style == TIndexStyle::OpenDML;
        for (auto& c : layout.Chunks)
            c.Size = c.Size % 40 + 1; // small payloads keep the seeds short
        WriteFileBytes(dir + "/" + s.Name, BuildAvi(layout).Bytes);
    }
    const std::string cuts = argv[2];
    zarvex::TCutList list;
    list.Entries.push_back({"clip.avi", {0, 24}, 0.0, 1.0});
    list.Entries.push_back({"/videos/other clip.avi", {50, 74}, 2.0, 3.0});
    const std::string text = zarvex::FormatCutList(list);
    WriteFileBytes(cuts + "/written.cuts", {text.begin(), text.end()});
    // What hands write: Windows line ends, comments, blank lines, a missing source.
    const std::string typed = "  # kept\r\n\r\n10 10 0.4 0.44\r\n3 7 0.12 0.32 a  b\t\r\n";
    WriteFileBytes(cuts + "/typed.cuts", {typed.begin(), typed.end()});
    // The other programs' lists, after the byte that picks the file name the fuzzer reads
    // them under (0: none, so by content alone).
    const zarvex::TListVideo video{1000, 25, 1};
    for (const char* name :
         {"zarvex", "cutlist", "comskip", "edl", "kodi", "vdr", "csv", "llc", "vcf"}) {
        const zarvex::TListFormat format = zarvex::FormatOfName(name);
        const std::string foreign =
            std::string(1, '\0') + zarvex::WriteForeignList(zarvex::ListOfKeptFrames(
                                       format, {{10, 99}, {400, 999}}, video));
        WriteFileBytes(cuts + "/" + name + ".list", {foreign.begin(), foreign.end()});
    }
    return 0;
}
