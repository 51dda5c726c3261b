#include "media/ExactPlan.h"

#include "avi_input/AVIRead.h"
#include "media/ExactJoin.h"
#include "media/MatchedEncoder.h"
#include "media/SlotWalker.h"
#include "media/VideoDecoder.h"
#include "support/Errors.h"

#include <memory>

namespace zarvex::media {

namespace {

// Adds the slot the walker stands on to the run; the run's first slot is always a picture.
void AddSlot(std::unique_ptr<TMatchedEncoder>& encoder, const TSlotWalker& w,
             const TAVIStream& video, int64_t slot) {
    if (!encoder) {
        encoder = std::make_unique<TMatchedEncoder>(video, *w.Decoder.Codec(), *w.Current.Frame);
        encoder->Add(*w.Current.Frame);
    } else if (w.Own(slot)) {
        encoder->Add(*w.Current.Frame);
    } else {
        encoder->AddEmpty();
    }
}

std::vector<TRecodedChunk> Finished(TMatchedEncoder& encoder, const TAVIStream& video) {
    std::vector<TRecodedChunk> run = encoder.Finish();
    if (!run.empty())
        AddSourceUserData(video, run.front().Data);
    return run;
}

std::vector<TRecodedChunk> EncodeRun(TVideoDecoder& decoder, const TAVIStream& video, int64_t from,
                                     int64_t to) {
    TSlotWalker w(decoder);
    w.Start(from);
    std::unique_ptr<TMatchedEncoder> encoder;
    for (int64_t slot = from; slot <= to; ++slot) {
        w.MoveTo(slot);
        AddSlot(encoder, w, video, slot);
    }
    return Finished(*encoder, video);
}

// The last slot up to `last` that a copy from the key frame (its picture at slot `shown`) can
// end on: where every picture of the slots before comes from a chunk before, so that no copied
// picture waits for one that is not copied. -1 when there is none.
int64_t LastClosedSlot(TVideoDecoder& decoder, const TAVIStream& video, int64_t key, int64_t shown,
                       int64_t last) {
    const int64_t lastKey = video.IsKeyFrame(last) ? last : video.PrevKeyFrame(last);
    int64_t start = shown, best = -1;
    // The chunks before the copied key's picture are its leading pictures, left out.
    int64_t highest = shown;
    if (lastKey > key) {
        start = lastKey;
        best = lastKey - 1; // a key frame starts a new run of chunks
        highest = -1;
    }
    TSlotWalker w(decoder);
    w.Start(start);
    for (;;) {
        highest = std::max(highest, w.Current.Packet);
        if (highest == w.Current.FrameNumber)
            best = highest;
        if (!w.HaveNext || w.Next.FrameNumber > last)
            break;
        w.MoveTo(w.Next.FrameNumber);
    }
    return best;
}

} // namespace

TVideoPlan PlanExactVideo(const TAVIFileReader& reader, int32_t first, int32_t last,
                          const TPlanProgress& progress) {
    const TAVIStream& video = *reader.VideoStream();
    TVideoDecoder decoder(reader.FileName());
    TVideoPlan plan;
    TSlotWalker w(decoder);
    w.Start(first);
    // The head: pictures up to the first whose chunk is a key frame shown in its own slot.
    std::unique_ptr<TMatchedEncoder> encoder;
    int64_t shown = -1;
    const int64_t keyAhead = video.NextKeyFrame(first);
    const double span = double(std::max<int64_t>(keyAhead > first ? keyAhead - first : 1, 1));
    for (int64_t slot = first; slot <= last; ++slot) {
        w.MoveTo(slot);
        if (w.Own(slot) && w.Current.Packet >= 0 && video.IsKeyFrame(w.Current.Packet)) {
            shown = slot;
            break;
        }
        AddSlot(encoder, w, video, slot);
        if (progress && !progress(std::min(1.0, double(slot - first + 1) / span))) {
            plan.Head = Finished(*encoder, video);
            return plan;
        }
    }
    if (encoder)
        plan.Head = Finished(*encoder, video);
    if (shown < 0)
        return plan;
    const int64_t key = w.Current.Packet;
    const int64_t closed =
        decoder.Codec()->has_b_frames > 0 ? LastClosedSlot(decoder, video, key, shown, last) : last;
    if (closed < shown) {
        // The selection ends before a copy from the key frame could: no chunk is copied.
        plan.Head = EncodeRun(decoder, video, first, last);
        return plan;
    }
    plan.CopyKey = key;
    plan.CopyFrom = shown + 1;
    plan.CopyTo = closed;
    plan.JoinHeader = JoinHeaderFor(video, key);
    if (closed < last)
        plan.Tail = EncodeRun(decoder, video, closed + 1, last);
    return plan;
}

} // namespace zarvex::media
