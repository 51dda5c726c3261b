// Sequential output that gathers small writes, so that a data chunk costs about one system call.
#pragma once

#include "support/Errors.h"
#include "support/OSFile.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace zarvex {

class TGatherWriter {
public:
    // Payloads from this size on go straight from the caller's buffer to the file.
    static constexpr size_t LargeWrite = 8192;
    static constexpr size_t FlushAt = 256 * 1024;
    // Copied runs go out in pieces of this size, so that progress and Cancel follow the copy.
    static constexpr int64_t MaxRun = 32 << 20;
    // And each run, or a single chunk larger still, in steps of this size with OnPiece between.
    static constexpr int64_t PieceBytes = 4 << 20;

    explicit TGatherWriter(const TOSFile& file) : File(file) {
        Pending.reserve(FlushAt + LargeWrite);
    }

    // Called between two steps of a run's copy. False stops a copy that PutFrom or EndRun began:
    // ECopyStopped is raised, and what got into the file is solid. Elsewhere the copy goes on.
    std::function<bool()> OnPiece;

    // The position after everything written so far, pending bytes included.
    int64_t Position() const { return Start + RunCount + int64_t(Pending.size()); }

    void Put(const void* data, size_t count);
    void PutZeros(size_t count);
    void PutU32(uint32_t value);
    // Overwrites bytes written earlier, in the file or still pending.
    void Patch(int64_t position, const void* data, size_t count);
    // Reads bytes written earlier; a short read raises EOSError.
    void ReadBack(int64_t position, void* destination, size_t count);
    // Bytes of another file, copied when the next other call comes: what continues the run of
    // the previous call joins it, so a stretch of copied chunks costs one copy in the kernel per
    // MaxRun bytes. Raises ESourceChanged when the source turns out shorter than count.
    void PutFrom(const TOSFile& source, int64_t position, int64_t count);
    // True when bytes of source at position would join the run of copied bytes.
    bool Continues(const TOSFile& source, int64_t position) const {
        return RunCount > 0 && RunSource == &source && RunPosition + RunCount == position;
    }
    // Copies the run of copied bytes now; a stop of it raises ECopyStopped (see OnPiece).
    void EndRun() { FinishRun(true); }
    // Writes data in front of the run of copied bytes, which moves behind it.
    void PutBeforeRun(const void* data, size_t count);
    void Flush();
    // Everything before this position is in the file, whatever failed after it.
    int64_t Solid() const { return SolidEnd; }
    // Forgets what is pending and goes on writing at position (after the file was cut there).
    void Reset(int64_t position);

private:
    void PutLarge(const void* data, size_t count);
    void FinishRun(bool mayStop = false);
    // Writes at Start; on a failure, what did get there counts as solid.
    void WriteSolid(const void* data, int64_t count);

    const TOSFile& File;
    int64_t Start = 0; // file position of the run, or of Pending[0] when there is none
    const TOSFile* RunSource = nullptr;
    int64_t RunPosition = 0;
    int64_t RunCount = 0; // while nonzero, Pending is empty
    std::vector<uint8_t> Pending;
    int64_t SolidEnd = 0;
};

// A copy stopped through OnPiece. Not a failure, so no std::exception.
struct ECopyStopped {};

// The source file is shorter than when it was opened: another program cut or rewrote it.
class ESourceChanged : public EZarvexError {
public:
    ESourceChanged() : EZarvexError("The source file changed while it was read.") {}
};

} // namespace zarvex
