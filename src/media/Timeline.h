// The editing timeline: groups of one output format each, a track per group, and the sources
// laid on it. A plain record that the render engine reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarvex::media {

// How a source picture is fitted to the group's size; the numbers are the resize modes of the
// editing platform.
enum class TResizeMode : uint8_t {
    Stretch = 0,                   // scale to the output size, ignoring the aspect ratio
    Crop = 1,                      // no scaling: centred, cut or padded with black
    PreserveAspect = 2,            // scale to fit inside, black bars on the rest
    PreserveAspectNoLetterbox = 3, // scale to cover the output, cutting what sticks out
};

enum class TGroupKind { Video, Audio };

// A group's output: 24-bit RGB pictures, or PCM samples.
struct TGroupMediaType {
    TGroupKind Major = TGroupKind::Video;
    int32_t Width = 0, Height = 0;                          // video
    int SamplesPerSec = 0, Channels = 0, BitsPerSample = 0; // audio

    int64_t SampleSize() const {
        return Major == TGroupKind::Video ? int64_t(Width) * Height * 3
                                          : int64_t(Channels) * BitsPerSample / 8;
    }
    static TGroupMediaType VideoRGB24(int32_t width, int32_t height) {
        TGroupMediaType t;
        t.Width = width;
        t.Height = height;
        return t;
    }
    static TGroupMediaType AudioPCM(int rate, int channels, int bits) {
        TGroupMediaType t;
        t.Major = TGroupKind::Audio;
        t.SamplesPerSec = rate;
        t.Channels = channels;
        t.BitsPerSample = bits;
        return t;
    }
};

// One stretch of a media file on a track: its timeline span and the media span it shows.
struct TTimelineSource {
    std::string MediaName;
    double Start = 0, Stop = 0;           // seconds on the timeline
    double MediaStart = 0, MediaStop = 0; // seconds in the media file
    TResizeMode StretchMode = TResizeMode::Stretch;
};

struct TTimelineTrack {
    std::vector<TTimelineSource> Sources;
};

struct TTimelineGroup {
    TGroupMediaType MediaType;
    double OutputFPS = 0; // video groups only
    bool PreviewMode = true;
    TTimelineTrack Track;
};

struct TTimeline {
    std::vector<TTimelineGroup> Groups; // in order of creation: group 0 video, group 1 audio
    void ClearAllGroups() { Groups.clear(); }
};

} // namespace zarvex::media
