// The joining copier: pieces of one or more sources, one after another, in one file.
#include "splitting/Joiner.h"

#include "avi_input/AVIRead.h"
#include "avi_input/LeadingPictures.h"
#include "avi_input/RefMarking.h"
#include "splitting/ZarvexCls.h"
#include "support/Errors.h"
#include "support/FileSafety.h"

#include <algorithm>

namespace zarvex {

namespace {

// A key-frame copy as a plan: from the key frame at or before the range's first frame.
// A later piece restarts the decoder at its key frame, so that, as for a single cut, its
// repairs can assume a decoder that holds nothing before it.
TVideoPlan KeyFramePlan(const TAVIStream& video, TKeepRange range, bool later, int32_t& first) {
    const int32_t count = int32_t(video.EntryCount());
    const int32_t last = std::min(range.Last, count - 1);
    first = video.CopyStart(std::clamp(range.First, 0, count - 1));
    TVideoPlan plan;
    plan.CopyKey = first;
    plan.CopyFrom = first + 1;
    plan.CopyTo = last;
    plan.EmptyTo = first + LeadingPictures(video, first);
    plan.Repaired = RefMarkingRepairs(video, first, plan.EmptyTo, 0);
    if (later)
        plan.KeyData = RestartedKey(video, first);
    if (!plan.KeyData.empty())
        if (const auto order = PictureOrderOf(video, first))
            plan.FrameNumDrop = order->FrameNum;
    return plan;
}

} // namespace

void TJoiner::Write(const std::vector<TJoinPiece>& pieces, const std::string& output) {
    if (pieces.empty())
        throw EZarvexError("The list holds no segments");
    std::vector<const TAVIFileReader*> sources;
    for (const TJoinPiece& p : pieces) {
        if (!p.Source || !p.Source->VideoStream() || p.Source->VideoStream()->EntryCount() == 0)
            throw EZarvexError("The video stream has no index entries: there are no frames to "
                               "copy.");
        if (std::find(sources.begin(), sources.end(), p.Source) == sources.end())
            sources.push_back(p.Source);
        RefuseSourceAsOutput(output, p.Source->FileName());
        if (const std::string why = StreamCountRefusal(*p.Source); !why.empty())
            throw EZarvexError(why);
    }
    if (const std::string why = JoinRefusal(sources); !why.empty())
        throw EZarvexError(why);
    std::vector<TVideoPlan> plans(pieces.size());
    std::vector<int32_t> firsts(pieces.size());
    int64_t total = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const TJoinPiece& p = pieces[i];
        if (p.Plan) {
            plans[i] = *p.Plan;
            firsts[i] = p.Range.First;
        } else {
            plans[i] = KeyFramePlan(*p.Source->VideoStream(), p.Range, i > 0, firsts[i]);
        }
        if (plans[i].Count() <= 0)
            throw EZarvexError("The selection holds no frames");
        total += plans[i].Count();
    }
    Cancel = false;
    // A failure leaves through the writer's destructor, which completes what was written.
    TAVIFileWriter writer;
    writer.IndexKind = 3;
    writer.ExpectedFrames = uint32_t(total);
    writer.Open(output, AVIF_HASINDEX);
    TZarvex(*pieces.front().Source).DeclareStreams(writer, firsts.front());
    TSoundCarry carry;
    for (size_t i = 0; i < pieces.size() && !Cancel; ++i) {
        TZarvex copier(*pieces[i].Source);
        const int64_t before = carry.Frames, frames = plans[i].Count();
        copier.OnProgress = [&](TZarvex&, bool& cancel, double percent) {
            if (OnProgress)
                OnProgress(cancel, 100.0 * (double(before) + percent / 100.0 * double(frames)) /
                                       double(total));
        };
        copier.AppendPlanned(writer, firsts[i], plans[i], carry);
        Cancel = copier.Cancelled();
    }
    // The last copied run goes out here: it reports, and stops on Cancel, as the pieces did.
    const TCopyPieceScope lastRun(writer, [this] {
        if (OnProgress)
            OnProgress(Cancel, 100.0);
        return !Cancel;
    });
    writer.Close();
}

} // namespace zarvex
