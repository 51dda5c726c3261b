#include "media/ExactPlan.h"

#include "avi_input/AVIRead.h"
#include "avi_input/RefMarking.h"
#include "media/ExactCheck.h"
#include "media/ExactJoin.h"
#include "media/MatchedEncoder.h"
#include "media/SlotWalker.h"
#include "media/StageProgress.h"
#include "media/VideoDecoder.h"
#include "support/Errors.h"

#include <deque>
#include <memory>
#include <new>

namespace zarvex::media {

namespace {

// Pictures kept from the walk that finds where the copy ends, so that a short closing run is
// encoded without decoding it again.
constexpr size_t KeptPictures = 16;

// Adds a slot to the run: its own picture, or an empty chunk repeating the one before. The
// run's first slot is always a picture: the one shown there.
void AddSlot(std::unique_ptr<TMatchedEncoder>& encoder, const TAVIStream& video,
             const AVCodecContext& decoder, const AVFrame& shown, bool own,
             TStageProgress& stages) {
    if (!encoder) {
        encoder = std::make_unique<TMatchedEncoder>(video, decoder, shown);
        encoder->OnPicture = [&stages] { stages.Report(); };
        encoder->Add(shown);
    } else if (own) {
        encoder->Add(shown);
    } else {
        encoder->AddEmpty();
    }
}

std::vector<TRecodedChunk> Finished(TMatchedEncoder& encoder, const TAVIStream& video,
                                    int idrFromEnd = 0) {
    std::vector<TRecodedChunk> run = encoder.Finish(idrFromEnd);
    if (!run.empty()) {
        AddSourceUserData(video, run.front().Data);
        MatchSourceSprites(video, run.front().Data);
    }
    return run;
}

// Shares of the planning: the head, the walk to where the copy ends, the closing run.
constexpr double HeadShare = 0.4;
constexpr double WalkShare = 0.85;

// Encodes slots from..to; cancelled, the run ends with the pictures encoded so far.
std::vector<TRecodedChunk> EncodeRun(TVideoDecoder& decoder, const TAVIStream& video, int64_t from,
                                     int64_t to, TStageProgress& stages) {
    std::unique_ptr<TMatchedEncoder> encoder;
    try {
        TSlotWalker w(decoder);
        StartClean(w, video, from);
        for (int64_t slot = from; slot <= to; ++slot) {
            w.MoveTo(slot);
            AddSlot(encoder, video, *decoder.Codec(), *w.Current.Frame, w.Own(slot), stages);
            stages.Step(double(slot - from + 1) / double(to - from + 1));
        }
    } catch (const TJobCancelled&) {
    }
    return encoder ? Finished(*encoder, video) : std::vector<TRecodedChunk>{};
}

struct TCopyEnd {
    int64_t Closed = -1;              // the last slot the copy can end on, -1 for none
    std::deque<TVideoPicture> Recent; // the last pictures up to the selection's end
};

// Where a copy from the key frame (its picture at slot `shown`) can end, at `last` or before:
// after a slot whose pictures, and those of every slot before, all come from chunks up to it,
// so that no copied picture waits for one that is not copied. Cancelled, as far as the walk got.
TCopyEnd FindCopyEnd(TVideoDecoder& decoder, const TAVIStream& video, int64_t key, int64_t shown,
                     int64_t last, TStageProgress& stages) {
    const int64_t lastKey = video.IsKeyFrame(last) ? last : video.PrevKeyFrame(last);
    TCopyEnd end;
    int64_t start = shown;
    // The chunks before the copied key's picture are its leading pictures, left out.
    int64_t highest = shown;
    if (lastKey > key) {
        start = lastKey;
        end.Closed = lastKey - 1; // a key frame starts a new run of chunks
        highest = -1;
    }
    try {
        TSlotWalker w(decoder);
        w.Start(start);
        for (;;) {
            highest = std::max(highest, w.Current.Packet);
            if (highest == w.Current.FrameNumber)
                end.Closed = highest;
            end.Recent.push_back(ClonePicture(w.Current));
            if (end.Recent.size() > KeptPictures)
                end.Recent.pop_front();
            if (!w.HaveNext || w.Next.FrameNumber > last)
                break;
            stages.Step(double(w.Current.FrameNumber - start + 1) / double(last - start + 1));
            w.MoveTo(w.Next.FrameNumber);
        }
    } catch (const TJobCancelled&) {
    }
    return end;
}

// The closing run from slots from..to, from the kept pictures when they reach back far enough.
std::vector<TRecodedChunk> EncodeTail(TVideoDecoder& decoder, const TAVIStream& video,
                                      const std::deque<TVideoPicture>& recent, int64_t from,
                                      int64_t to, TStageProgress& stages) {
    if (recent.empty() || recent.front().FrameNumber > from)
        return EncodeRun(decoder, video, from, to, stages);
    std::unique_ptr<TMatchedEncoder> encoder;
    size_t i = 0;
    try {
        for (int64_t slot = from; slot <= to; ++slot) {
            while (i + 1 < recent.size() && recent[i + 1].FrameNumber <= slot)
                ++i;
            AddSlot(encoder, video, *decoder.Codec(), *recent[i].Frame,
                    recent[i].FrameNumber == slot, stages);
            stages.Step(double(slot - from + 1) / double(to - from + 1));
        }
    } catch (const TJobCancelled&) {
    }
    return encoder ? Finished(*encoder, video) : std::vector<TRecodedChunk>{};
}

// The head: pictures up to the first whose chunk is a key frame shown in its own slot, which
// the walker then stands on; -1 when the selection holds none. Cancelled, the head holds the
// pictures encoded so far; a cancel held (HoldCancel) takes effect after the first picture.
int64_t EncodeHead(TSlotWalker& w, const TAVIStream& video, int32_t first, int32_t last,
                   std::unique_ptr<TMatchedEncoder>& encoder, TStageProgress& stages) {
    const int64_t keyAhead = video.NextKeyFrame(first);
    const double span = double(std::max<int64_t>(keyAhead > first ? keyAhead - first : 1, 1));
    try {
        StartClean(w, video, first);
        for (int64_t slot = first; slot <= last; ++slot) {
            w.MoveTo(slot);
            if (w.Own(slot) && w.Current.Packet >= 0 && video.IsKeyFrame(w.Current.Packet) &&
                CopyCanStartAt(video, w.Current.Packet)) {
                stages.HoldCancel(false);
                return slot;
            }
            AddSlot(encoder, video, *w.Decoder.Codec(), *w.Current.Frame, w.Own(slot), stages);
            stages.HoldCancel(false);
            stages.Step(double(slot - first + 1) / span);
        }
    } catch (const TJobCancelled&) {
    }
    stages.HoldCancel(false);
    return -1;
}

} // namespace

TVideoPlan PlanExactVideo(const TAVIFileReader& reader, int32_t first, int32_t last,
                          const TPlanProgress& progress) {
    const TAVIStream& video = *reader.VideoStream();
    TStageProgress stages(progress);
    TVideoDecoder decoder(reader.FileName());
    stages.Watch(decoder);
    TVideoPlan plan;
    TSlotWalker w(decoder);
    std::unique_ptr<TMatchedEncoder> encoder;
    int64_t shown = -1;
    try {
        // A cut cancelled at once still holds its first picture.
        stages.HoldCancel(true);
        stages.Stage(0.0, HeadShare);
        shown = EncodeHead(w, video, first, last, encoder, stages);
    } catch (const TJobCancelled&) {
    }
    const int64_t key = shown < 0 ? -1 : w.Current.Packet;
    const int idrFromEnd =
        key >= 0 && OpensWithoutIdr(video, key) ? PicturesAfterIdr(video, key) : 0;
    if (encoder)
        plan.Head = Finished(*encoder, video, std::max(idrFromEnd, 0));
    if (shown < 0)
        return plan;
    uint32_t held = 0, drop = 0;
    const auto encodeAll = [&] {
        try {
            stages.Stage(HeadShare, 1.0);
        } catch (const TJobCancelled&) {
            return; // the head encoded so far stays
        }
        plan.Head = EncodeRun(decoder, video, first, last, stages);
    };
    if (idrFromEnd < 0 || (idrFromEnd > 0 && !CloseBefore(video, key, plan.Head, held, drop))) {
        encodeAll();
        return plan;
    }
    TCopyEnd end;
    end.Closed = last;
    if (decoder.Codec()->has_b_frames > 0 && !stages.Cancelled()) {
        try {
            stages.Stage(HeadShare, WalkShare);
            end = FindCopyEnd(decoder, video, key, shown, last, stages);
        } catch (const TJobCancelled&) {
        }
    }
    // Cancelled while planning, the copy holds the key frame alone, so that the file of what
    // was done is written at once.
    const int64_t closed = stages.Cancelled() ? shown : end.Closed;
    if (closed < shown) {
        // The selection ends before a copy from the key frame could: no chunk is copied.
        encodeAll();
        return plan;
    }
    plan.CopyKey = key;
    plan.CopyFrom = shown + 1;
    plan.CopyTo = closed;
    plan.JoinHeader = JoinHeaderFor(video, key);
    plan.KeyBytes = PackedBStart(video, key);
    plan.Repaired = RefMarkingRepairs(video, key, plan.CopyFrom - 1, held);
    plan.FrameNumDrop = drop;
    if (closed >= last || stages.Cancelled())
        return plan;
    try {
        stages.Stage(WalkShare, 1.0);
        plan.Tail = EncodeTail(decoder, video, end.Recent, closed + 1, last, stages);
    } catch (const TJobCancelled&) {
    }
    if (stages.Cancelled()) {
        plan.CopyTo = shown;
        plan.Tail.clear();
    }
    return plan;
}

} // namespace zarvex::media
