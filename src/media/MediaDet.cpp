#include "media/MediaDet.h"

#include "export/BitmapFile.h"
#include "export/DSErrors.h"
#include "media/FFmpegPtr.h"
#include "media/MediaInput.h"
#include "media/PictureConverter.h"
#include "media/VideoDecoder.h"

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace zarvex::media {

namespace {

// The detector answers with result codes; failures inside become the code they carry.
template <typename F> int Guarded(F&& f) {
    try {
        return f();
    } catch (const EMediaError& e) {
        return e.Code;
    } catch (const std::bad_alloc&) {
        return AVERROR(ENOMEM);
    } catch (const EZarvexError&) {
        return AVERROR_STREAM_NOT_FOUND;
    }
}

} // namespace

struct TMediaDet::TImpl {
    std::string Path;
    TFormatPtr Format;
    int Current = -1;
    // Kept across calls, so that a run of consecutive frames decodes forward without reseeking.
    std::unique_ptr<TVideoDecoder> Decoder;
    TPictureConverter Converter;

    const AVStream* Stream() const {
        return Format && Current >= 0 ? Format->streams[Current] : nullptr;
    }
    const AVStream* VideoStream() const {
        const AVStream* s = Stream();
        return s && s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? s : nullptr;
    }
    int Fill(int64_t time, uint8_t* buffer, int width, int height);
    const std::function<void()>* OnPicture = nullptr;
};

// The picture whose display interval holds the time, decoded exactly.
int TMediaDet::TImpl::Fill(int64_t time, uint8_t* buffer, int width, int height) {
    if (!Decoder) {
        Decoder = std::make_unique<TVideoDecoder>(Path);
        Decoder->KeepRecent(RecentPictureBytes);
        Decoder->KeepWalkers(ViewerWalkers);
        Decoder->OnPicture = [this] {
            if (*OnPicture)
                (*OnPicture)();
        };
    }
    TVideoPicture picture;
    if (!Decoder->DecodeAt(time, picture))
        return AVERROR_EOF;
    PutBitmapInfoHeader(buffer, width, height);
    uint8_t* rows = buffer + BitmapInfoHeaderSize;
    const int stride = BitmapRowStride(width);
    const size_t row = size_t(width) * 3;
    for (int y = 0; y < height; ++y)
        std::memset(rows + size_t(y) * size_t(stride) + row, 0, size_t(stride) - row);
    Converter.Convert(*picture.Frame, AV_PIX_FMT_BGR24, rows, stride, true, width, height);
    return 0;
}

TMediaDet::TMediaDet() : Impl(new TImpl) {
    Impl->OnPicture = &OnPicture;
}
TMediaDet::~TMediaDet() = default;

int TMediaDet::SetFilename(const std::string& path) {
    Impl = std::make_unique<TImpl>();
    Impl->OnPicture = &OnPicture;
    AVFormatContext* raw = nullptr;
    int ret = OpenMediaInput(&raw, path);
    if (ret < 0)
        return ret;
    TFormatPtr format(raw);
    ret = avformat_find_stream_info(format.get(), nullptr);
    if (ret < 0)
        return ret;
    Impl->Path = path;
    Impl->Format = std::move(format);
    Impl->Current = Impl->Format->nb_streams > 0 ? 0 : -1;
    return 0;
}

int TMediaDet::GetOutputStreams(int& count) const {
    if (!Impl->Format)
        return AVERROR(EINVAL);
    count = int(Impl->Format->nb_streams);
    return 0;
}

int TMediaDet::SetCurrentStream(int index) {
    if (!Impl->Format || index < 0 || index >= int(Impl->Format->nb_streams))
        return AVERROR(EINVAL);
    Impl->Current = index;
    return 0;
}

int TMediaDet::GetStreamType(TMajorType& type) const {
    const AVStream* s = Impl->Stream();
    if (!s)
        return AVERROR(EINVAL);
    switch (s->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        type = TMajorType::Video;
        break;
    case AVMEDIA_TYPE_AUDIO:
        type = TMajorType::Audio;
        break;
    default:
        type = TMajorType::Other;
    }
    return 0;
}

int TMediaDet::GetStreamMediaType(TStreamMediaType& type) const {
    const int ret = GetStreamType(type.MajorType);
    if (ret != 0)
        return ret;
    const AVCodecParameters& par = *Impl->Stream()->codecpar;
    const bool video = type.MajorType == TMajorType::Video;
    type.VideoInfo = video && par.width > 0 && par.height > 0;
    type.Width = video ? par.width : 0;
    type.Height = video ? par.height : 0;
    type.Compression = par.codec_tag;
    return 0;
}

int TMediaDet::GetStreamLength(double& seconds) const {
    const AVStream* s = Impl->Stream();
    if (!s)
        return AVERROR(EINVAL);
    seconds = double(StreamDuration(*Impl->Format, *s)) / TimeUnits;
    return 0;
}

int TMediaDet::GetFrameRate(double& rate) const {
    const AVStream* s = Impl->VideoStream();
    if (!s)
        return AVERROR(EINVAL);
    rate = av_q2d(NominalRate(*Impl->Format, *s));
    return 0;
}

int TMediaDet::GetFrameClock(TFrameClock& clock) const {
    const AVStream* s = Impl->VideoStream();
    if (!s)
        return AVERROR(EINVAL);
    const AVRational rate = NominalRate(*Impl->Format, *s);
    clock = TFrameClock(rate.num, rate.den);
    return 0;
}

int TMediaDet::GetBitmapBits(double seconds, int64_t& size, uint8_t* buffer, int width,
                             int height) {
    TImpl& d = *Impl;
    const AVStream* s = d.VideoStream();
    // Only the first video stream is decoded; that is the one every caller looks for.
    if (!s || s->index != FirstVideoStream(*d.Format) || width <= 0 || height <= 0 ||
        !std::isfinite(seconds))
        return AVERROR(EINVAL);
    const int64_t needed = BitmapInfoHeaderSize + BitmapRowStride(width) * height;
    // At or past the length there is no frame to show, and before the start neither.
    if (seconds < 0 || seconds * TimeUnits >= 9e18)
        return AVERROR_EOF;
    const int64_t time = std::llround(seconds * TimeUnits);
    const int64_t length = StreamDuration(*d.Format, *s);
    if (length > 0 && time >= length)
        return AVERROR_EOF;
    if (!buffer) {
        size = needed;
        return 0;
    }
    if (size < needed)
        return AVERROR(EINVAL);
    return Guarded([&] { return d.Fill(time, buffer, width, height); });
}

} // namespace zarvex::media
