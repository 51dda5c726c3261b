// The frame-exact copy: the video comes from a plan, the other streams as in a plain copy.
#include "splitting/ZarvexCls.h"

#include "avi_input/AVIRead.h"
#include "avi_input/Palette.h"
#include "avi_input/RefMarking.h"
#include "support/Errors.h"
#include "support/FileSafety.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace zarvex {

namespace {

// Takes a progress handler away while it lives, when asked to.
class TSilenced {
public:
    TSilenced(TZarvex::TProgressEvent& event, bool silence) : Event(event), Active(silence) {
        if (Active)
            Saved = std::exchange(event, nullptr);
    }
    ~TSilenced() {
        if (Active)
            Event = std::move(Saved);
    }
    TSilenced(const TSilenced&) = delete;
    TSilenced& operator=(const TSilenced&) = delete;

private:
    TZarvex::TProgressEvent& Event;
    TZarvex::TProgressEvent Saved;
    bool Active;
};

} // namespace

void TZarvex::CopySegmentPlanned(int32_t first, int32_t last, const TVideoPlan& plan) {
    const TAVIStream& video = CheckedVideo();
    if (first < 0 || last < first || last >= int32_t(video.EntryCount()) || plan.Count() == 0)
        throw EZarvexError("The selection holds no frames");
    RefuseSourceAsOutput(FileName, Reader.FileName());
    FirstFrame = first;
    LastFrame = last;
    ProgressBase = 0;
    ProgressTotal = int32_t(plan.Count() - 1);
    // A job cancelled while its pictures were encoded still writes what the plan holds (a short
    // plan then), without asking again.
    const bool cancelledBefore = Cancel;
    Cancel = false;
    const TSilenced silenced(OnProgress, cancelledBefore);
    TAVIFileWriter writer;
    writer.IndexKind = 3;
    writer.ExpectedFrames = uint32_t(plan.Count());
    writer.Open(FileName, AVIF_HASINDEX);
    const TCopyPieceScope pieces(writer, PieceReport());
    DeclareStreams(writer, first);
    TSoundCarry carry;
    CopyPlanned(writer, plan, carry);
    writer.Close();
    Cancel = Cancel || cancelledBefore;
}

void TZarvex::AppendPlanned(TAVIFileWriter& writer, int32_t first, const TVideoPlan& plan,
                            TSoundCarry& carry) {
    const TAVIStream& video = Video();
    if (first < 0 || first >= int32_t(video.EntryCount()) || plan.Count() == 0)
        throw EZarvexError("The selection holds no frames");
    FirstFrame = first;
    LastFrame = int32_t(first + plan.Count() - 1);
    ProgressBase = 0;
    ProgressTotal = int32_t(plan.Count() - 1);
    Cancel = false;
    PrepareStreams();
    const TCopyPieceScope pieces(writer, PieceReport());
    CopyPlanned(writer, plan, carry);
}

void TZarvex::CopyPlanned(TAVIFileWriter& writer, const TVideoPlan& plan, TSoundCarry& carry) {
    TAVIStream& video = *Reader.VideoStream();
    const double frameTime = double(video.Header.dwScale) / video.Header.dwRate;
    const int64_t frames = plan.Count();
    const double S = FirstFrame * frameTime;
    // The sound runs to the end of the last picture, so that it lasts as long. After earlier
    // pieces, each stream starts where its sound so far ends against the pictures so far:
    // later by what it is ahead, earlier by what it is behind.
    const double E = double(FirstFrame + frames) * frameTime;
    carry.Seconds.resize(size_t(Reader.StreamCount()), double(carry.Frames) * frameTime);
    std::vector<double> starts;
    double earliest = S;
    for (int k = 0; k < Reader.StreamCount(); ++k) {
        starts.push_back(S + carry.Seconds[size_t(k)] - double(carry.Frames) * frameTime);
        // Frame-cut sound starts on the frame boundary after the start: half a frame earlier,
        // that is the boundary nearest to it, and the error stays within half a frame.
        if (carry.Frames > 0 && !Reader.Streams(k).Untimed())
            starts.back() -= FrameSeconds(Reader.Streams(k)) / 2;
        earliest = std::min(earliest, starts.back());
    }
    SoundWritten = carry.Seconds;
    UntimedEnd = E;
    UntimedShift = double(carry.Frames) * frameTime - S;
    Copied = 0;
    Renumber = plan.FrameNumDrop != 0 && plan.CopyKey >= 0
                   ? std::make_shared<TFrameNumShift>(video, plan.CopyKey, plan.FrameNumDrop)
                   : nullptr;
    StartPalettes(FirstFrame);
    // A later piece of a joined file brings its own palette.
    if (carry.Frames > 0 && video.IsPalettised()) {
        const std::vector<uint8_t> change = WholePaletteChange(video.FormatAt(FirstFrame));
        if (!change.empty())
            writer.WritePaletteChange(VideoIndex(), change.data(), int32_t(change.size()));
    }
    PlaceCursors(std::max(earliest, 0.0));
    video.Cursor = int32_t(video.EntryCount());
    int s = -1, e = 0;
    NextToCopy(s, e, E);
    for (int64_t i = 0; !Cancel;) {
        const double other = s >= 0 ? Reader.Streams(s).EntryTime(e) : -1.0;
        const bool more = other >= 0 && other < E;
        if (i < frames && (!more || VideoFirst(plan, i, other, ChunkStart(Reader.Streams(s), e)))) {
            WritePlannedVideo(writer, plan, i++);
        } else if (more) {
            CopyChunk(writer, s, e, starts[size_t(s)], E);
            NextToCopy(s, e, E);
        } else {
            break;
        }
    }
    carry.Frames += Copied;
    // An untimed stream is always where the pictures are.
    for (int k = 0; k < Reader.StreamCount(); ++k)
        if (Reader.Streams(k).Untimed())
            SoundWritten[size_t(k)] = double(carry.Frames) * frameTime;
    carry.Seconds = SoundWritten;
    SoundWritten.clear();
}

bool TZarvex::VideoFirst(const TVideoPlan& plan, int64_t i, double other, int64_t otherStart) {
    const TAVIStream& video = *Reader.VideoStream();
    const double due = double(video.Header.dwScale) / video.Header.dwRate * double(FirstFrame + i);
    const int64_t entry = plan.SourceEntry(i);
    const int64_t videoStart = entry >= 0 ? ChunkStart(video, entry) : -1;
    // As in NextToCopy: of two chunks due about as soon, the one that continues the source's
    // order goes first.
    if (videoStart >= 0 && otherStart >= 0) {
        const bool videoNext = SourceEnd >= 0 ? videoStart == SourceEnd : videoStart < otherStart;
        const bool otherNext = SourceEnd >= 0 ? otherStart == SourceEnd : otherStart < videoStart;
        if (otherNext && other > due && other <= due + InterleaveSlack)
            return false;
        if (videoNext && due > other && due <= other + InterleaveSlack)
            return true;
    }
    return due <= other;
}

int TZarvex::VideoIndex() const {
    for (int k = 0; k < Reader.StreamCount(); ++k)
        if (&Reader.Streams(k) == Reader.VideoStream())
            return k;
    return 0;
}

void TZarvex::WritePlannedVideo(TAVIFileWriter& writer, const TVideoPlan& plan, int64_t i) {
    const int videoIndex = VideoIndex();
    const auto head = int64_t(plan.Head.size());
    const int64_t entry = plan.SourceEntry(i);
    WritePalettes(writer, FirstFrame + i);
    if (entry >= 0 && entry >= plan.CopyFrom && entry <= plan.EmptyTo) {
        SourceEnd = -1;
        WriteEmptyVideo(writer);
    } else if (const auto repaired = plan.Repaired.find(entry);
               entry >= 0 && i != head && repaired != plan.Repaired.end()) {
        SourceEnd = -1;
        std::vector<uint8_t> bytes = repaired->second;
        if (Renumber)
            Renumber->Apply(bytes);
        writer.WriteChunk(videoIndex, bytes.data(), Reader.VideoStream()->IsKeyFrame(entry),
                          int32_t(bytes.size()));
    } else if (entry < 0) {
        const TRecodedChunk* recoded =
            i < head ? &plan.Head[size_t(i)] : &plan.Tail[size_t(i - head - plan.CopiedCount())];
        SourceEnd = -1;
        writer.WriteChunk(videoIndex, recoded->Data.data(), recoded->Key,
                          int32_t(recoded->Data.size()));
    } else {
        const TAVIStream& video = *Reader.VideoStream();
        const bool cut = i == head && plan.KeyBytes >= 0 && plan.KeyBytes < video.EntrySize(entry);
        const bool joins = i == head && (!plan.JoinHeader.empty() || cut || !plan.KeyData.empty());
        const bool restarts = i == head && !plan.KeyData.empty();
        const bool renumbers = Renumber && !Renumber->Finished() && !restarts;
        if (joins || renumbers || !CopyAsItStands(writer, videoIndex, entry)) {
            const uint8_t* data = video.ReadChunk(entry, Window);
            if (!data)
                throw UnreadableChunk(entry, videoIndex);
            const auto size = video.EntrySize(entry);
            SourceEnd = ChunkStart(video, entry) + 8 + size + (size & 1);
            std::vector<uint8_t> own;
            if (restarts) {
                own = plan.KeyData;
            } else if (renumbers || joins) {
                own.assign(data, data + (cut ? plan.KeyBytes : size));
                if (renumbers)
                    Renumber->Apply(own);
            }
            if (joins) {
                own.insert(own.begin(), plan.JoinHeader.begin(), plan.JoinHeader.end());
                writer.WriteChunk(videoIndex, own.data(), true, int32_t(own.size()));
            } else if (renumbers) {
                writer.WriteChunk(videoIndex, own.data(), video.IsKeyFrame(entry),
                                  int32_t(own.size()));
            } else {
                writer.WriteChunk(videoIndex, data, video.IsKeyFrame(entry), int32_t(size));
            }
        }
    }
    ++Copied;
    ReportProgress();
}

} // namespace zarvex
