#include "media/PictureConverter.h"

#include "export/DSErrors.h"

#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace zarvex::media {

namespace {

// Plane pointers of `f` moved to pixel (x, y); x and y are rounded down to the chroma grid.
void OffsetPlanes(const AVFrame& f, int& x, int& y, uint8_t* out[4]) {
    const auto fmt = static_cast<AVPixelFormat>(f.format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(fmt);
    if (!desc || (desc->flags & AV_PIX_FMT_FLAG_BITSTREAM))
        x = y = 0;
    if (desc) {
        x &= ~((1 << desc->log2_chroma_w) - 1);
        y &= ~((1 << desc->log2_chroma_h) - 1);
    }
    int steps[4] = {};
    if (desc)
        av_image_fill_max_pixsteps(steps, nullptr, desc);
    const bool rgb = desc && (desc->flags & AV_PIX_FMT_FLAG_RGB);
    for (int i = 0; i < 4; ++i) {
        out[i] = f.data[i];
        if (!out[i])
            continue;
        const bool chroma = !rgb && (i == 1 || i == 2);
        const int px = chroma ? x >> desc->log2_chroma_w : x;
        const int py = chroma ? y >> desc->log2_chroma_h : y;
        out[i] +=
            static_cast<ptrdiff_t>(py) * f.linesize[i] + static_cast<ptrdiff_t>(px) * steps[i];
    }
}

} // namespace

// swscale's own cache compares against the formats it keeps after its set-up, which differ from
// the asked ones for full-range (JPEG) pictures, so it would build a new context (and log) for
// every frame; the asked formats are compared here instead.
void TPictureConverter::Prepare(const TKey& key) {
    if (Context && key == Built)
        return;
    Owner.reset(sws_getContext(key[0], key[1], static_cast<AVPixelFormat>(key[2]), key[3], key[4],
                               static_cast<AVPixelFormat>(key[5]), ConverterFlags, nullptr, nullptr,
                               nullptr));
    Context = Owner.get();
    if (!Context)
        CheckDSResult(AVERROR(EINVAL));
    Built = key;
}

void TPictureConverter::Convert(const AVFrame& frame, AVPixelFormat format, uint8_t* pixels,
                                int stride, bool bottomUp, int width, int height) {
    if (width <= 0)
        width = frame.width;
    if (height <= 0)
        height = frame.height;
    Prepare({frame.width, frame.height, frame.format, width, height, format});
    // swscale's vector code may write past the end of a row, so it fills rows with room to
    // spare and only the pixels reach the caller's rows.
    const int rowBytes = av_image_get_linesize(format, width, 0);
    if (rowBytes <= 0 || rowBytes > stride)
        CheckDSResult(AVERROR(EINVAL));
    const int work = (rowBytes + 63) / 64 * 64 + 64;
    Scratch.resize(static_cast<size_t>(work) * height + 64);
    uint8_t* dst[4] = {Scratch.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {work, 0, 0, 0};
    sws_scale(Context, frame.data, frame.linesize, 0, frame.height, dst, dstStride);
    for (int y = 0; y < height; ++y) {
        const int row = bottomUp ? height - 1 - y : y;
        std::memcpy(pixels + static_cast<ptrdiff_t>(row) * stride,
                    Scratch.data() + static_cast<ptrdiff_t>(y) * work,
                    static_cast<size_t>(rowBytes));
    }
}

void TPictureConverter::ConvertRect(const AVFrame& frame, const TRect& from, AVFrame& dst,
                                    const TRect& to) {
    if (from.Width <= 0 || from.Height <= 0 || to.Width <= 0 || to.Height <= 0)
        return;
    Prepare({from.Width, from.Height, frame.format, to.Width, to.Height, dst.format});
    int fx = from.X, fy = from.Y, tx = to.X, ty = to.Y;
    uint8_t* src[4];
    uint8_t* out[4];
    OffsetPlanes(frame, fx, fy, src);
    OffsetPlanes(dst, tx, ty, out);
    sws_scale(Context, src, frame.linesize, 0, from.Height, out, dst.linesize);
}

} // namespace zarvex::media
