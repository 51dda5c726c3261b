// Saves a time segment of a media file as a new AVI file through the editing timeline and the
// render engine, uncompressed or through the chosen compressors; and the compressor lists.
#pragma once

#include "media/Compressors.h"
#include "media/Timeline.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zarvex {

using media::TCompressor;

struct TMediaFileInfo {
    double Length = 0; // seconds
    bool HasVideo = false;
    bool HasAudio = false;
    int32_t Width = 0;
    int32_t Height = 0;
    double FrameRate = 0;
};

// Fills info from the media detector; detector failures raise EMediaError.
void ProbeMediaFile(const std::string& path, TMediaFileInfo& info);

enum class TStretchMode : uint8_t {
    smStretch = 0,
    smPreserveAspectNoLetterbox = 1,
    smPreserveAspect = 2,
    smCrop = 3,
};

// The platform's resize mode that a stretch mode selects.
media::TResizeMode ResizeModeOf(TStretchMode mode);

// The installed video (audio false) or audio compressors that open for these pictures: names
// and records stay index-aligned; either list may be null. An empty category leaves both
// unchanged.
void EnumCompressors(bool audio, std::vector<std::string>* names,
                     std::vector<TCompressor>* monikers,
                     const media::TPictureFormat& pictures = {});

// The pictures a save of the whole source at its own size and rate gives the compressor.
media::TPictureFormat SourcePictures(const TMediaFileInfo& info);

// The compressor at index, or none for an index outside the list.
std::optional<TCompressor> GetCompressorFilter(const std::vector<TCompressor>& list, int index);

class TDSVideoSplitter {
public:
    std::string SourceFileName;
    std::string OutputFileName;
    int32_t OutputWidth = 0;    // 0: the source's
    double OutputFrameRate = 0; // 0: the source's
    int32_t OutputHeight = 0;   // 0: the source's
    TStretchMode StretchMode = TStretchMode::smCrop;
    std::function<void(TDSVideoSplitter& sender, bool& cancel, double percent)> OnProgress;
    std::optional<TCompressor> VideoCompressor; // none: uncompressed 24-bit RGB
    std::optional<TCompressor> AudioCompressor; // none: 16-bit PCM
    double StartTime = 0, StopTime = 0;         // seconds of source time
    // Several segments one after another instead of StartTime..StopTime; their files must
    // match SourceFileName's streams (the output takes its size and rate).
    struct TPart {
        std::string FileName;
        double StartTime = 0, StopTime = 0;
    };
    std::vector<TPart> Parts;

    // BuildTimeline, RenderToFile(OutputFileName), then the timeline is cleared.
    void Save();
    void BuildTimeline();
    void RenderToFile(const std::string& outputFileName);

    const TMediaFileInfo& SourceInfo() const { return Info; }
    const media::TTimeline& Timeline() const { return TheTimeline; }
    // True when the last render was stopped by OnProgress.
    bool Cancelled() const { return WasCancelled; }
    // What the last render did differently from what was asked (audio that could not be
    // decoded became silence), one sentence each, for the caller to show.
    const std::vector<std::string>& Warnings() const { return TheWarnings; }

private:
    media::TTimeline TheTimeline;
    media::TGroupMediaType VideoGroupType;
    media::TGroupMediaType AudioGroupType;
    TMediaFileInfo Info;
    bool WasCancelled = false;
    std::vector<std::string> TheWarnings;
};

} // namespace zarvex
