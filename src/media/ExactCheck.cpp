#include "media/ExactCheck.h"

#include "avi_input/AVIRead.h"
#include "media/ExactJoin.h"
#include "media/SlotWalker.h"
#include "media/StageProgress.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace zarvex::media {

namespace {

// Copied pictures after the join compared with the source's: enough for every picture of the
// first group to have shown up, B-frames and all.
constexpr int64_t CheckedCopies = 30;

bool SamePicture(const AVFrame& a, const AVFrame& b) {
    if (a.format != b.format || a.width != b.width || a.height != b.height)
        return false;
    const auto format = AVPixelFormat(a.format);
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    for (int p = 0; p < 4 && a.data[p] && d; ++p) {
        const int rows = p == 1 || p == 2 ? AV_CEIL_RSHIFT(a.height, d->log2_chroma_h) : a.height;
        const int bytes = av_image_get_linesize(format, a.width, p);
        for (int y = 0; y < rows; ++y)
            if (std::memcmp(a.data[p] + y * a.linesize[p], b.data[p] + y * b.linesize[p],
                            size_t(bytes)) != 0)
                return false;
    }
    return true;
}

// A re-encoded picture this far below the PSNR its encoder is set for is another picture.
constexpr double OtherPicturePsnr = LeastPsnr - 7.0;

// Whether LumaPsnr measures pictures of this format: 8-bit planar luma.
bool Measurable(const AVFrame& a) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(AVPixelFormat(a.format));
    return d && !(d->flags & AV_PIX_FMT_FLAG_RGB) && d->comp[0].depth == 8 && d->comp[0].step == 1;
}

// A re-encoded picture against the source's; one of a format PSNR is not measured on passes
// on its size alone.
bool CloseTo(const AVFrame& a, const AVFrame& b) {
    if (a.width != b.width || a.height != b.height)
        return false;
    return !Measurable(a) || LumaPsnr(a, b) >= OtherPicturePsnr;
}

struct TRange {
    int64_t From = 0, To = -1;
};

// Decodes the output's slots of the range: each must have its picture, decoded without error,
// the source's picture at first onwards when copied, close to it when re-encoded. The source
// is decoded from well before, in file order, so that it cannot share a fault of a seek with
// the pictures the cut was encoded from.
std::string CheckRange(TVideoDecoder& output, const TAVIFileReader& source, int32_t first,
                       const TVideoPlan& plan, TRange range, TStageProgress& stages) {
    const auto head = int64_t(plan.Head.size());
    const int64_t tail = head + plan.CopiedCount();
    TVideoDecoder sourceDecoder(source.FileName());
    stages.Watch(sourceDecoder);
    TSlotWalker src(sourceDecoder);
    StartClean(src, *source.VideoStream(), first + range.From, 1);
    TSlotWalker out(output);
    out.Start(range.From);
    for (int64_t slot = range.From; slot <= range.To; ++slot) {
        out.MoveTo(slot);
        src.MoveTo(first + slot);
        const std::string where = "frame " + std::to_string(slot) + " of the output ";
        if (out.Current.Frame->decode_error_flags != 0)
            return where + "does not decode cleanly";
        const AVFrame& a = *out.Current.Frame;
        const AVFrame& b = *src.Current.Frame;
        const bool copied = slot >= head && slot < tail;
        if (out.Current.FrameNumber != src.Current.FrameNumber - first ||
            !(copied ? SamePicture(a, b) : CloseTo(a, b)))
            return where + "is not the source's picture";
        stages.Step(double(slot - range.From + 1) / double(range.To - range.From + 1));
    }
    return "";
}

} // namespace

void StartClean(TSlotWalker& walker, const TAVIStream& video, int64_t slot, int back) {
    walker.Start(std::min(CleanStart(video, slot, back), slot));
    walker.MoveTo(slot);
}

double LumaPsnr(const AVFrame& a, const AVFrame& b) {
    if (!Measurable(a) || a.format != b.format || a.width != b.width || a.height != b.height)
        return 0.0;
    double sum = 0.0;
    for (int y = 0; y < a.height; ++y) {
        const uint8_t* p = a.data[0] + y * a.linesize[0];
        const uint8_t* q = b.data[0] + y * b.linesize[0];
        for (int x = 0; x < a.width; ++x)
            sum += double((p[x] - q[x]) * (p[x] - q[x]));
    }
    const double mse = sum / (double(a.width) * a.height);
    return mse == 0.0 ? 100.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

std::string CheckExactOutput(const std::string& output, const TAVIFileReader& source, int32_t first,
                             const TVideoPlan& plan,
                             const std::function<bool(double share)>& progress) {
    TAVIFileReader written;
    written.Open(output);
    const int64_t count = plan.Count();
    if (!written.VideoStream() || int64_t(written.VideoStream()->EntryCount()) != count)
        return "the output does not hold the selected number of frames";
    TStageProgress stages(progress);
    TVideoDecoder out(output);
    stages.Watch(out);
    const auto head = int64_t(plan.Head.size());
    const int64_t tail = head + plan.CopiedCount();
    const TRange start{0, std::min(count - 1, head + CheckedCopies)};
    // Each range's share of the bar is its share of the slots checked.
    const double startShare =
        tail < count ? double(start.To + 1) / double(start.To + 1 + count - tail) : 1.0;
    stages.Stage(0.0, startShare);
    std::string wrong = CheckRange(out, source, first, plan, start, stages);
    if (wrong.empty() && tail < count) {
        stages.Stage(startShare, 1.0);
        wrong = CheckRange(out, source, first, plan, {tail, count - 1}, stages);
    }
    return wrong;
}

} // namespace zarvex::media
