#include "media/PlayerProbe.h"

#include "media/FFmpegPtr.h"
#include "media/MediaInput.h"
#include "media/VideoDecoder.h"

namespace zarvex::media {

TStreamCounts ProbeStreams(const std::string& path) {
    TStreamCounts counts;
    AVFormatContext* raw = nullptr;
    counts.Result = OpenMediaInput(&raw, path);
    if (counts.Result < 0)
        return counts;
    const TFormatPtr format(raw);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream& s = *format->streams[i];
        if (s.codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(s.disposition & AV_DISPOSITION_ATTACHED_PIC))
            ++counts.Video;
        else if (s.codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            ++counts.Audio;
        else
            ++counts.Other;
    }
    if (format->duration > 0)
        counts.Duration = av_rescale(format->duration, TimeUnits, AV_TIME_BASE);
    if (format->nb_streams == 0)
        counts.Result = AVERROR_STREAM_NOT_FOUND;
    return counts;
}

} // namespace zarvex::media
