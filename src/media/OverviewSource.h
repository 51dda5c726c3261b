// What the timeline draws of a recording besides its marks: small pictures of it and the peaks
// of its first audio stream. The pictures and the peaks are worked out in the background and
// arrive piece by piece; the timeline asks for what it shows and repaints when Generation moves.
// Every call is safe from any thread and returns at once with what is known so far.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace zarvex::media {

// A small picture of one frame, 32-bit pixels 0xffRRGGBB row by row (a QImage's RGB32).
struct TThumbnail {
    int64_t Time = 0;        // start of the frame's display interval, 100-ns units
    int64_t FrameNumber = 0; // its slot, as the viewer counts frames
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Pixels;
};
using TThumbnailPtr = std::shared_ptr<const TThumbnail>;

// The lowest and the highest sample of a stretch of audio over all channels, scaled to
// -127..127; Known is false for a stretch not worked out yet.
struct TPeak {
    int8_t Low = 0;
    int8_t High = 0;
    bool Known = false;
};

class TOverviewSource {
public:
    virtual ~TOverviewSource() = default;

    // What the timeline shows now: media times From..To at TimePerColumn 100-ns units a pixel
    // column. Work nearest to this range is done first; when a column holds less than a frame,
    // pictures of every frame in the range are made too, not only of the key frames.
    virtual void SetVisible(int64_t from, int64_t to, int64_t timePerColumn) = 0;

    // The pictures known whose time lies in From..To, ascending by time.
    virtual std::vector<TThumbnailPtr> Thumbnails(int64_t from, int64_t to) const = 0;
    // The known picture nearest at or before Time (a frame's own, else its key frame's); null
    // when none is known yet.
    virtual TThumbnailPtr ThumbnailAt(int64_t time) const = 0;

    // Peaks of Columns stretches of TimePerColumn each, the first starting at From. Empty when
    // the file has no audio stream.
    virtual std::vector<TPeak> Peaks(int64_t from, int64_t timePerColumn, int columns) const = 0;
    virtual bool HasAudio() const = 0;

    // Grows whenever a picture or peaks arrive.
    virtual uint64_t Generation() const = 0;
    // True once every key frame has its picture and the whole stream its peaks.
    virtual bool Complete() const = 0;
};

} // namespace zarvex::media
