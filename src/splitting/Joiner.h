// Writes ranges of one or more AVI files one after another into one new file: the frames of
// each range, and its sound from the time of its first frame to the end of its last, joined to
// the sound before without a gap or an overlap.
#pragma once

#include "splitting/CutList.h"
#include "splitting/VideoPlan.h"

#include <functional>
#include <string>
#include <vector>

namespace zarvex {

class TAVIFileReader;

struct TJoinPiece {
    TAVIFileReader* Source = nullptr; // opened by the caller
    TKeepRange Range;                 // frames; a key-frame copy starts at the key frame before
    const TVideoPlan* Plan = nullptr; // frame-exact: the video as planned for Range
};

// Empty when the sources can be joined by stream copy: the same number and kinds of streams,
// the same video codec, size and frame rate, the same audio format (tag, rate, channels, block
// align). Otherwise the first difference, naming the files by their names without folder:
// "The video of b.avi is 160x120; a.avi is 176x144."
std::string JoinRefusal(const std::vector<const TAVIFileReader*>& sources);

class TJoiner {
public:
    using TProgressEvent = std::function<void(bool& cancel, double percent)>;

    TProgressEvent OnProgress;

    // Writes the pieces into output with the streams of the first piece's source; raises when
    // the sources cannot be joined (JoinRefusal) before anything is written. The output is
    // completed in every case, also on failure or cancel.
    void Write(const std::vector<TJoinPiece>& pieces, const std::string& output);
    bool Cancelled() const { return Cancel; }

private:
    bool Cancel = false;
};

} // namespace zarvex
