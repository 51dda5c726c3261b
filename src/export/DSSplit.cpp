#include "export/DSSplit.h"

#include "export/DSErrors.h"
#include "media/MediaDet.h"
#include "media/RenderEngine.h"
#include "support/FileSafety.h"
#include "support/OSFile.h"

namespace zarvex {

using namespace zarvex::media;

void ProbeMediaFile(const std::string& path, TMediaFileInfo& info) {
    TMediaDet det;
    CheckDSResult(det.SetFilename(path));
    int count = 0;
    CheckDSResult(det.GetOutputStreams(count));
    for (int i = 0; i < count; ++i) {
        CheckDSResult(det.SetCurrentStream(i));
        double length = 0;
        CheckDSResult(det.GetStreamLength(length));
        TMajorType type = TMajorType::Other;
        CheckDSResult(det.GetStreamType(type));
        if (type == TMajorType::Video) {
            // With several video streams the last one wins.
            info.HasVideo = true;
            info.Length = length;
            CheckDSResult(det.GetFrameRate(info.FrameRate));
            TStreamMediaType media;
            CheckDSResult(det.GetStreamMediaType(media));
            if (media.VideoInfo) {
                info.Width = media.Width;
                info.Height = media.Height;
            }
        } else if (type == TMajorType::Audio) {
            info.HasAudio = true;
        }
    }
}

TResizeMode ResizeModeOf(TStretchMode mode) {
    switch (mode) {
    case TStretchMode::smStretch:
        return TResizeMode::Stretch;
    case TStretchMode::smPreserveAspectNoLetterbox:
        return TResizeMode::PreserveAspectNoLetterbox;
    case TStretchMode::smPreserveAspect:
        return TResizeMode::PreserveAspect;
    case TStretchMode::smCrop:
        break;
    }
    return TResizeMode::Crop;
}

void EnumCompressors(bool audio, std::vector<std::string>* names,
                     std::vector<TCompressor>* monikers, const TPictureFormat& pictures) {
    for (const TCompressor& c : InstalledCompressors(audio, pictures)) {
        if (c.FriendlyName.empty())
            continue; // only named entries go in, so that the lists stay aligned
        if (names)
            names->push_back(c.FriendlyName);
        if (monikers)
            monikers->push_back(c);
    }
}

TPictureFormat SourcePictures(const TMediaFileInfo& info) {
    TPictureFormat p;
    if (info.Width > 0 && info.Height > 0) {
        p.Width = info.Width;
        p.Height = info.Height;
    }
    if (info.FrameRate > 0)
        p.FrameRate = info.FrameRate;
    return p;
}

std::optional<TCompressor> GetCompressorFilter(const std::vector<TCompressor>& list, int index) {
    if (index < 0 || index >= static_cast<int>(list.size()))
        return std::nullopt;
    return list[size_t(index)];
}

void TDSVideoSplitter::BuildTimeline() {
    Info = TMediaFileInfo();
    ProbeMediaFile(SourceFileName, Info);
    if (!Info.HasVideo)
        throw EZarvexError("Video stream is not found");
    if (OutputWidth == 0)
        OutputWidth = Info.Width;
    if (OutputHeight == 0)
        OutputHeight = Info.Height;
    if (OutputFrameRate == 0)
        OutputFrameRate = Info.FrameRate;
    VideoGroupType = TGroupMediaType::VideoRGB24(OutputWidth, OutputHeight);
    AudioGroupType = TGroupMediaType::AudioPCM(44100, 2, 16);

    TheTimeline.ClearAllGroups();
    TTimelineGroup video;
    video.MediaType = VideoGroupType;
    video.OutputFPS = OutputFrameRate;
    video.PreviewMode = false;
    TTimelineGroup audio;
    audio.MediaType = AudioGroupType;
    audio.PreviewMode = false;

    const std::vector<TPart> parts =
        Parts.empty() ? std::vector<TPart>{{SourceFileName, StartTime, StopTime}} : Parts;
    double at = 0;
    for (const TPart& part : parts) {
        TTimelineSource source;
        source.MediaName = part.FileName;
        source.Start = at;
        source.Stop = at += part.StopTime - part.StartTime;
        source.MediaStart = part.StartTime;
        source.MediaStop = part.StopTime;
        source.StretchMode = ResizeModeOf(StretchMode);
        video.Track.Sources.push_back(source);
        // Without a source the audio group still renders: as silence of the same length.
        if (Info.HasAudio) {
            source.StretchMode = TResizeMode::Stretch;
            audio.Track.Sources.push_back(source);
        }
    }
    TheTimeline.Groups.push_back(std::move(video));
    TheTimeline.Groups.push_back(std::move(audio));
}

namespace {
// How often a render reports: well within the tenth of a second in which Cancel must act.
constexpr int ProgressMs = 40;
} // namespace

void TDSVideoSplitter::RenderToFile(const std::string& outputFileName) {
    RefuseSourceAsOutput(outputFileName, SourceFileName);
    for (const TPart& part : Parts)
        RefuseSourceAsOutput(outputFileName, part.FileName);
    TOSFile::Create(outputFileName).Close();

    TRenderEngine engine;
    engine.SetTimeline(TheTimeline);
    engine.SetOutputFileName(outputFileName);
    engine.SetGroupCompressor(0, VideoCompressor);
    engine.SetGroupCompressor(1, AudioCompressor);
    WasCancelled = false;
    TheWarnings.clear();
    engine.Run();
    TheWarnings = engine.GetWarnings();
    const int64_t duration = engine.GetDuration();
    while (engine.WaitForCompletion(ProgressMs) == TRenderEngine::TWaitResult::Timeout) {
        if (!OnProgress)
            continue;
        bool cancel = false;
        const int64_t current = engine.GetCurrentPosition();
        // A zero-length segment reports no progress instead of dividing by zero.
        const double percent = duration > 0 ? 100.0 * double(current) / double(duration) : 0.0;
        OnProgress(*this, cancel, percent);
        if (cancel) {
            WasCancelled = true;
            break;
        }
    }
    engine.Stop();
    engine.ScrapIt();
    // A failed render is reported, not taken for a finished one.
    engine.RethrowFailure();
}

void TDSVideoSplitter::Save() {
    BuildTimeline();
    try {
        RenderToFile(OutputFileName);
    } catch (...) {
        TheTimeline.ClearAllGroups();
        throw;
    }
    TheTimeline.ClearAllGroups();
}

} // namespace zarvex
