// Writes the fuzzer's seed corpus: small built files of every index layout.
#include "fixtures/AviBuilder.h"

#include <cstdio>
#include <string>

using namespace zarvex::fixtures;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
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
    return 0;
}
