#include "media/StretchGeometry.h"

#include <algorithm>
#include <cstdint>

namespace zarvex::media {

namespace {

// a × b ÷ c to the nearest integer, at least 1 so that nothing vanishes.
int Scale(int a, int b, int c) {
    return std::max(1, int((int64_t(a) * b + c / 2) / c));
}

// Centres a span of `inner` in `outer`; an inner larger than outer is cut on both sides.
void Centre(int inner, int outer, int& offsetIn, int& offsetOut, int& length) {
    length = std::min(inner, outer);
    offsetIn = (inner - length) / 2;
    offsetOut = (outer - length) / 2;
}

} // namespace

TPlacement PlacePicture(TResizeMode mode, int srcWidth, int srcHeight, int outWidth,
                        int outHeight) {
    TPlacement p;
    p.From = {0, 0, srcWidth, srcHeight};
    p.To = {0, 0, outWidth, outHeight};
    if (srcWidth <= 0 || srcHeight <= 0 || outWidth <= 0 || outHeight <= 0)
        return p;
    // Compare the aspect ratios without rounding: src wider than out when sw/sh > ow/oh.
    const int64_t srcSide = int64_t(srcWidth) * outHeight;
    const int64_t outSide = int64_t(outWidth) * srcHeight;
    switch (mode) {
    case TResizeMode::Stretch:
        break;
    case TResizeMode::Crop:
        Centre(srcWidth, outWidth, p.From.X, p.To.X, p.From.Width);
        Centre(srcHeight, outHeight, p.From.Y, p.To.Y, p.From.Height);
        p.To.Width = p.From.Width;
        p.To.Height = p.From.Height;
        break;
    case TResizeMode::PreserveAspect:
        if (srcSide > outSide) { // bars above and below
            p.To.Height = std::min(outHeight, Scale(outWidth, srcHeight, srcWidth));
            p.To.Y = (outHeight - p.To.Height) / 2;
        } else if (srcSide < outSide) { // bars left and right
            p.To.Width = std::min(outWidth, Scale(outHeight, srcWidth, srcHeight));
            p.To.X = (outWidth - p.To.Width) / 2;
        }
        break;
    case TResizeMode::PreserveAspectNoLetterbox:
        if (srcSide > outSide) { // cut left and right
            p.From.Width = std::min(srcWidth, Scale(srcHeight, outWidth, outHeight));
            p.From.X = (srcWidth - p.From.Width) / 2;
        } else if (srcSide < outSide) { // cut top and bottom
            p.From.Height = std::min(srcHeight, Scale(srcWidth, outHeight, outWidth));
            p.From.Y = (srcHeight - p.From.Height) / 2;
        }
        break;
    }
    return p;
}

} // namespace zarvex::media
