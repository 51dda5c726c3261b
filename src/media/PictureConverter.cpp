#include "media/PictureConverter.h"

#include "export/DSErrors.h"

namespace zarvex::media {

void TPictureConverter::Convert(const AVFrame& frame, AVPixelFormat format, uint8_t* pixels,
                                int stride, bool bottomUp, int width, int height) {
    if (width <= 0)
        width = frame.width;
    if (height <= 0)
        height = frame.height;
    Context = sws_getCachedContext(Owner.release(), frame.width, frame.height,
                                   static_cast<AVPixelFormat>(frame.format), width, height, format,
                                   ConverterFlags, nullptr, nullptr, nullptr);
    Owner.reset(Context);
    if (!Context)
        CheckDSResult(AVERROR(EINVAL));
    uint8_t* dst[4] = {pixels, nullptr, nullptr, nullptr};
    int dstStride[4] = {stride, 0, 0, 0};
    if (bottomUp) {
        dst[0] = pixels + static_cast<ptrdiff_t>(height - 1) * stride;
        dstStride[0] = -stride;
    }
    sws_scale(Context, frame.data, frame.linesize, 0, frame.height, dst, dstStride);
}

} // namespace zarvex::media
