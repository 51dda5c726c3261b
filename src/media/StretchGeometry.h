// Where a source picture lands in an output picture for each resize mode.
#pragma once

#include "media/Timeline.h"

namespace zarvex::media {

struct TRect {
    int X = 0, Y = 0, Width = 0, Height = 0;
    bool operator==(const TRect&) const = default;
};

// The part of the source that is shown and the part of the output it fills; the rest of the
// output is black.
struct TPlacement {
    TRect From; // in the source picture
    TRect To;   // in the output picture
};

TPlacement PlacePicture(TResizeMode mode, int srcWidth, int srcHeight, int outWidth, int outHeight);

} // namespace zarvex::media
