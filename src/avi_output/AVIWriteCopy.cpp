// Chunks copied from another file in runs, inside the kernel.
#include "avi_output/AVIWrite.h"

#include "avi_input/FourCC.h"
#include "support/Endian.h"

#include <vector>

namespace zarvex {

void TAVIFileWriter::CopyChunk(int32_t streamId, const TOSFile& source, int64_t headerPosition,
                               bool keyFrame, int32_t size) {
    Guarded([&] {
        TStreamSlot& slot = BeginChunk(streamId, size);
        const int64_t p = Pos();
        if (!Out->Continues(source, headerPosition)) {
            Run = TCopyRun();
            Run.Open = true;
            Run.OutputStart = p;
            Run.SourceStart = headerPosition;
            Run.LegacyFrom = LegacyIndex.Size();
        }
        Out->PutFrom(source, headerPosition, 8 + int64_t(size) + (size & 1));
        IndexChunk(slot, uint64_t(p), keyFrame, size);
        // An index flushed inside the run has ended it, and its entries are in the file by now.
        if (Run.Open && Out->Continues(source, headerPosition + 8 + size + (size & 1)) &&
            Pos() - Run.OutputStart >= AlignRunsFrom)
            AlignRun();
    });
}

// Moves the run, and its index entries, behind a filler that gives it the source's offset within
// 64 KiB: a copy whose offsets differ within a page costs a few percent more, and through
// copy_file_range, which goes in steps of 64 KiB, a tenth more. Only long runs are worth the
// filler's bytes.
void TAVIFileWriter::AlignRun() {
    Run.Open = false;
    int64_t room = (Run.SourceStart - Run.OutputStart) % CopyAlignment;
    if (room < 0)
        room += CopyAlignment;
    if (room == 0)
        return;
    if (room < 8)
        room += CopyAlignment; // no filler fits in 1 to 7 bytes
    std::vector<uint8_t> junk(static_cast<size_t>(room));
    PutU32(junk.data(), ckJUNK);
    PutU32(junk.data() + 4, uint32_t(room - 8));
    Out->PutBeforeRun(junk.data(), junk.size());
    for (uint32_t at = Run.LegacyFrom; at + 16 <= LegacyIndex.Size(); at += 16) {
        uint8_t* entry = LegacyIndex.Data() + at;
        PutU32(entry + 8, GetU32(entry + 8) + uint32_t(room));
    }
    for (const auto& [slot, at] : Run.StdEntries) {
        uint8_t* entry = Slots[size_t(slot)].StdIndex->Data() + at;
        PutU32(entry, GetU32(entry) + uint32_t(room));
    }
}

} // namespace zarvex
