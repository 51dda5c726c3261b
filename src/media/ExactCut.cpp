#include "media/ExactCut.h"

#include "avi_input/AVIRead.h"
#include "avi_input/FourCC.h"
#include "avi_input/IntraCodecs.h"
#include "media/ExactCheck.h"
#include "media/ExactJoin.h"
#include "media/ExactPlan.h"
#include "media/MatchedEncoder.h"
#include "media/StageProgress.h"
#include "splitting/ZarvexCls.h"
#include "support/FileSafety.h"

#include <algorithm>

namespace zarvex::media {

bool CutsAtEveryFrame(const TAVIStream& video) {
    return IsIntraOnlyCode(RawVideoCode(video)) || IsIntraOnlyCode(video.Header.fccHandler) ||
           video.Header.fccType == streamIavs;
}

namespace {

// The progress bar: planning (the re-encoded pictures and where the copy ends) up to PlanEnd,
// then the copy, then from CheckFrom on the check of the written file.
constexpr double PlanEnd = 25.0;
constexpr double CheckFrom = 85.0;

// The copier's progress handler, mapped to part of the bar while the copy runs.
class TProgressShare {
public:
    TProgressShare(TZarvex& copier, double from, double share)
        : Copier(copier), Saved(copier.OnProgress) {
        if (Saved)
            copier.OnProgress = [this, from, share](TZarvex& z, bool& cancel, double percent) {
                Saved(z, cancel, from + share * percent / 100.0);
            };
    }
    ~TProgressShare() { Copier.OnProgress = Saved; }
    TProgressShare(const TProgressShare&) = delete;
    TProgressShare& operator=(const TProgressShare&) = delete;

private:
    TZarvex& Copier;
    TZarvex::TProgressEvent Saved;
};

} // namespace

std::string ExactCutRefusal(const TAVIFileReader& reader) {
    const TAVIStream* video = reader.VideoStream();
    if (!video || video->EntryCount() == 0)
        return "The file has no video frames.";
    if (CutsAtEveryFrame(*video))
        return "";
    const std::string code = VideoCodeText(*video);
    if (BitstreamOf(*video) == TBitstream::Other)
        return "Pictures of the video codec " + code + " cannot be re-encoded to match.";
    if (!MatchingEncoder(*video))
        return "No encoder for the video codec " + code + " is installed.";
    return BitstreamOf(*video) == TBitstream::H264 ? H264Refusal(*video) : "";
}

std::string FallbackMessage(int64_t keyFrame) {
    return "The video cannot be cut exactly; the copy starts at frame " + std::to_string(keyFrame) +
           ", the key frame before the selection.";
}

std::string CopySegmentExact(TZarvex& copier, int32_t first, int32_t last, TExactCounts* counts) {
    const TAVIFileReader& reader = copier.Reader;
    const TAVIStream* video = reader.VideoStream();
    if (!video || video->EntryCount() == 0) {
        copier.CopySegment(first, last); // raises, as a plain copy does
        return "";
    }
    const auto count = int32_t(video->EntryCount());
    last = std::min(last, count - 1);
    first = std::clamp(first, 0, count - 1);
    if (first > last)
        throw EZarvexError("The selection holds no frames");
    if (CutsAtEveryFrame(*video)) {
        // Every frame is a key frame: all is copied, with the sound of an exact cut.
        TVideoPlan all;
        all.CopyKey = first;
        all.CopyFrom = first + 1;
        all.CopyTo = last;
        copier.CopySegmentPlanned(first, last, all);
        if (counts)
            *counts = TExactCounts{0, all.Count()};
        return "";
    }
    const int64_t key = video->CopyStart(first);
    const auto fallBack = [&](const std::string& why) {
        copier.CopySegment(first, last);
        if (counts)
            *counts = TExactCounts{0, last - key + 1};
        return FallbackMessage(key) + "\n" + why;
    };
    if (const std::string why = ExactCutRefusal(reader); !why.empty())
        return fallBack(why);
    RefuseSourceAsOutput(copier.FileName, reader.FileName());
    bool cancel = false;
    const auto report = [&](double from, double to) {
        return [&copier, &cancel, from, to](double share) {
            if (copier.OnProgress)
                copier.OnProgress(copier, cancel, from + (to - from) * share);
            return !cancel;
        };
    };
    TVideoPlan plan;
    try {
        plan = PlanExactVideo(reader, first, last, report(0.0, PlanEnd));
    } catch (const std::exception& e) {
        return fallBack(std::string("Its pictures could not be re-encoded: ") + e.what());
    }
    {
        const TProgressShare share(copier, PlanEnd, CheckFrom - PlanEnd);
        if (cancel)
            copier.MarkCancelled();
        copier.CopySegmentPlanned(first, int32_t(first + plan.Count() - 1), plan);
    }
    if (counts)
        *counts = TExactCounts{plan.Count() - plan.CopiedCount(), plan.CopiedCount()};
    if (copier.Cancelled())
        return "";
    std::string wrong;
    try {
        wrong = CheckExactOutput(copier.FileName, reader, first, plan, report(CheckFrom, 100.0));
    } catch (const TJobCancelled&) {
        // The file is written whole; left unchecked, it stays the exact cut.
        copier.MarkCancelled();
        return "";
    }
    if (!wrong.empty())
        return fallBack("The exact cut failed its check: " + wrong + ".");
    return "";
}

} // namespace zarvex::media
