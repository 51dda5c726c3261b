#include "splitting/ZarvexCls.h"

#include "avi_input/AVIRead.h"
#include "avi_input/LeadingPictures.h"
#include "avi_input/Palette.h"
#include "avi_input/RefMarking.h"
#include "avi_input/UntimedTimes.h"
#include "splitting/PartPlan.h"
#include "support/Endian.h"
#include "support/Errors.h"
#include "support/FileSafety.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

namespace zarvex {

namespace {

const char* const NoVideoEntries =
    "The video stream has no index entries: there are no frames to copy.";

// The first entry that can touch a span starting at S: times grow with the entry number.
int32_t FirstEntryFrom(const TAVIStream& s, double S) {
    int64_t lo = 0, hi = s.EntryCount();
    while (lo < hi) {
        const int64_t mid = lo + (hi - lo) / 2;
        const double t = s.CountsBytes() ? ChunkEndTime(s, mid) : s.EntryTime(mid);
        if (t < S)
            lo = mid + 1;
        else
            hi = mid;
    }
    return int32_t(lo);
}

} // namespace

EZarvexError TZarvex::UnreadableChunk(int64_t entry, int stream) const {
    if (Reader.GetFileSize() < SourceSize)
        return ESourceChanged();
    return EZarvexError("Unable to read chunk " + std::to_string(entry) + " of stream " +
                        std::to_string(stream) + ": the file is damaged or cut short");
}

std::string StreamCountRefusal(const TAVIFileReader& reader) {
    if (reader.StreamCount() <= MaxCopyStreams)
        return "";
    return "The file has " + std::to_string(reader.StreamCount()) +
           " streams; a copy can hold at most " + std::to_string(MaxCopyStreams) + ".";
}

TZarvex::TZarvex(TAVIFileReader& reader) : Reader(reader), SourceSize(reader.GetFileSize()) {}

std::string TZarvex::OverwriteQuestion(const std::string& fileName) {
    return "The \"" + fileName + "\" file is already exists. Overwrite?";
}

const TAVIStream& TZarvex::Video() const {
    if (!Reader.VideoStream())
        throw EZarvexError("The video stream is not found in the selected file.");
    if (Reader.VideoStream()->EntryCount() == 0)
        throw EZarvexError(NoVideoEntries);
    return *Reader.VideoStream();
}

const TAVIStream& TZarvex::CheckedVideo() const {
    if (const std::string why = StreamCountRefusal(Reader); !why.empty())
        throw EZarvexError(why);
    return Video();
}

void TZarvex::CopySegment(int32_t firstFrame, int32_t lastFrame) {
    const TAVIStream& video = CheckedVideo();
    const int32_t count = int32_t(video.EntryCount());
    // An end mark past the last video frame (audio running longer) means the last frame.
    LastFrame = std::min(lastFrame, count - 1);
    FirstFrame = video.CopyStart(std::clamp(firstFrame, 0, count - 1));
    if (FirstFrame > LastFrame)
        throw EZarvexError("The selection holds no frames");
    RefuseSourceAsOutput(FileName, Reader.FileName());
    ProgressBase = 0;
    ProgressTotal = LastFrame - FirstFrame;
    Cancel = false;
    EmptyThrough = FirstFrame + LeadingPictures(video, FirstFrame);
    Repaired = RefMarkingRepairs(video, FirstFrame, EmptyThrough, 0);
    WriteFile(FileName);
    EmptyThrough = -1;
    Repaired.clear();
}

void TZarvex::CopyWholeFile() {
    RefuseSourceAsOutput(FileName, Reader.FileName());
    ProgressBase = 0;
    ProgressTotal = int32_t(CheckedVideo().EntryCount());
    Copied = 0;
    UntimedShift = 0.0;
    Cancel = false;
    TAVIFileWriter writer;
    writer.IndexKind = 3;
    writer.ExpectedFrames = uint32_t(ProgressTotal);
    writer.Open(FileName, AVIF_HASINDEX);
    const TCopyPieceScope pieces(writer, PieceReport());
    DeclareStreams(writer);
    StartPalettes(0);
    Reader.ResetCursors();
    SourceEnd = -1;
    HeaderBlockStart = -1;
    const double never = std::numeric_limits<double>::max();
    int s = 0, e = 0;
    for (NextToCopy(s, e, never); s >= 0 && !Cancel; NextToCopy(s, e, never)) {
        const TAVIStream& stream = Reader.Streams(s);
        if (&stream == Reader.VideoStream())
            WritePalettes(writer, e);
        if (!CopyAsItStands(writer, s, e)) {
            const uint8_t* data = stream.ReadChunk(e, Window);
            if (!data)
                throw UnreadableChunk(e, s);
            writer.WriteChunk(s, data, stream.IsKeyFrame(e), int32_t(stream.EntrySize(e)));
        }
        if (&stream == Reader.VideoStream())
            ++Copied;
        ReportProgress();
    }
    writer.Close();
}

bool TZarvex::SplitIntoParts(int32_t partCount, const std::string& folder,
                             const std::string& prefix) {
    if (partCount < 1)
        throw EZarvexError("The number of parts must be at least 1");
    const TAVIStream& video = CheckedVideo();
    // The whole plan comes first, so every file it would replace is asked about before any
    // is written, the extra part after partCount included.
    const std::vector<TPart> parts = PlanParts(video, partCount, folder, prefix);
    for (const TPart& part : parts)
        RefuseSourceAsOutput(part.FileName, Reader.FileName());
    for (const TPart& part : parts) {
        if (!OutputExists(part.FileName))
            continue;
        if (!OnConfirmOverwrite || !OnConfirmOverwrite(*this, OverwriteQuestion(part.FileName)))
            return false;
    }
    Cancel = false;
    ProgressTotal = int32_t(video.EntryCount());
    for (const TPart& part : parts) {
        FirstFrame = part.FirstFrame;
        LastFrame = part.LastFrame;
        ProgressBase = FirstFrame;
        WriteFile(part.FileName);
        if (!Cancel && OnPartDone)
            OnPartDone(*this, Cancel);
        if (Cancel)
            break;
    }
    return true;
}

void TZarvex::WriteFile(const std::string& name) {
    // A failure leaves through the writer's destructor, which completes what was written.
    TAVIFileWriter writer;
    writer.IndexKind = 3;
    writer.ExpectedFrames = uint32_t(LastFrame - FirstFrame + 1);
    writer.Open(name, AVIF_HASINDEX);
    const TCopyPieceScope pieces(writer, PieceReport());
    DeclareStreams(writer, FirstFrame);
    CopyRange(writer);
    writer.Close();
}

void TZarvex::DeclareStreams(TAVIFileWriter& writer, int32_t firstFrame) {
    for (int i = 0; i < Reader.StreamCount(); ++i) {
        const TAVIStream& s = Reader.Streams(i);
        // The changes before the copy's first frame are the output's own palette.
        const bool changed = &s == Reader.VideoStream() && !s.PaletteChanges().empty();
        const std::vector<uint8_t> format = changed ? s.FormatAt(firstFrame) : s.Format;
        writer.AddStream(i, s.Header, format.data(), int32_t(format.size()));
    }
    PrepareStreams();
}

void TZarvex::StartPalettes(int64_t first) {
    NextPalette = 0;
    if (const TAVIStream* video = Reader.VideoStream())
        while (NextPalette < video->PaletteChanges().size() &&
               video->PaletteChanges()[NextPalette].Before <= first)
            ++NextPalette;
}

void TZarvex::WritePalettes(TAVIFileWriter& writer, int64_t frame) {
    const TAVIStream& video = *Reader.VideoStream();
    const std::vector<TPaletteChange>& changes = video.PaletteChanges();
    for (; NextPalette < changes.size() && changes[NextPalette].Before <= frame; ++NextPalette) {
        const TPaletteChange& c = changes[NextPalette];
        std::vector<uint8_t> data;
        int64_t got = -1;
        if (c.Offset >= 0 && c.Offset <= Reader.GetFileSize() - int64_t(c.Size) &&
            c.Size <= uint32_t(INT32_MAX)) {
            data.resize(c.Size);
            try {
                got = video.File().ReadAt(data.data(), c.Size, c.Offset);
            } catch (const EOSError&) {
            }
        }
        if (got != int64_t(c.Size)) {
            if (Reader.GetFileSize() < SourceSize)
                throw ESourceChanged();
            throw EZarvexError("Unable to read the palette change before frame " +
                               std::to_string(c.Before) + ": the file is damaged or cut short");
        }
        SourceEnd = -1;
        writer.WritePaletteChange(VideoIndex(), data.data(), int32_t(c.Size));
    }
}

void TZarvex::PrepareStreams() {
    CutRules.clear();
    for (int i = 0; i < Reader.StreamCount(); ++i) {
        const TAVIStream& s = Reader.Streams(i);
        CutRules.push_back(s.CountsBytes() ? CutRuleFor(s) : TCutRule::Whole);
    }
    StreamStarted.assign(size_t(Reader.StreamCount()), false);
}

void TZarvex::PlaceCursors(double S) {
    SourceEnd = -1;
    HeaderBlockStart = -1;
    Reader.ResetCursors();
    for (int i = 0; i < Reader.StreamCount(); ++i)
        Reader.Streams(i).Cursor = FirstEntryFrom(Reader.Streams(i), S);
}

void TZarvex::CopyRange(TAVIFileWriter& writer) {
    const TAVIStream& video = Video();
    const double S = video.EntryTime(FirstFrame);
    const double E = video.EntryTime(LastFrame);
    // Untimed entries belong to the frame they fall in, up to the start of the next one.
    UntimedEnd = E + double(video.Header.dwScale) / video.Header.dwRate;
    UntimedShift = -S;
    Copied = 0;
    StartPalettes(FirstFrame);
    PlaceCursors(S);
    int s = 0, e = 0;
    for (NextToCopy(s, e, UntimedEnd); s >= 0; NextToCopy(s, e, UntimedEnd)) {
        // Entries come in order of start time: once one starts after the span, all do.
        if (Reader.Streams(s).EntryTime(e) >= UntimedEnd)
            break;
        CopyChunk(writer, s, e, S, E);
        if (Cancel)
            break;
    }
}

void TZarvex::NextToCopy(int& s, int& e, double limit) {
    Reader.NextChunk(s, e);
    if (s < 0)
        return;
    const double due = Reader.Streams(s).EntryTime(e);
    int64_t bestStart = ChunkStart(Reader.Streams(s), e);
    if (SourceEnd >= 0 && bestStart == SourceEnd)
        return;
    int best = -1;
    for (int k = 0; k < Reader.StreamCount(); ++k) {
        const TAVIStream& other = Reader.Streams(k);
        const int64_t start = ChunkStart(other, other.Cursor);
        const double t = other.EntryTime(other.Cursor);
        // A tie stays with the lower stream number.
        if (k == s || start < 0 || t <= due || t > limit || t > due + InterleaveSlack)
            continue;
        if (SourceEnd >= 0 ? start == SourceEnd : start < bestStart) {
            best = k;
            bestStart = start;
        }
    }
    if (best < 0)
        return;
    --Reader.Streams(s).Cursor; // put back
    s = best;
    e = Reader.Streams(best).Cursor++;
}

int64_t TZarvex::ChunkStart(const TAVIStream& stream, int64_t e) const {
    TAVIIndexEntry entry;
    return stream.GetEntry(e, entry) ? entry.Offset - 8 : -1;
}

void TZarvex::CopyChunk(TAVIFileWriter& writer, int s, int e, double S, double E) {
    const TAVIStream& stream = Reader.Streams(s);
    TRangeTest cut = TestRange(stream, e, S, E);
    if (stream.Untimed())
        cut.InRange = S <= stream.EntryTime(e) && stream.EntryTime(e) < UntimedEnd;
    if (!cut.InRange)
        return;
    if (&stream == Reader.VideoStream())
        WritePalettes(writer, e);
    uint32_t size = 0;
    if (&stream == Reader.VideoStream() && e > FirstFrame && e <= EmptyThrough) {
        SourceEnd = -1;
        WriteEmptyVideo(writer);
        ++Copied;
        ReportProgress();
        return;
    }
    if (const auto repaired = Repaired.find(e);
        &stream == Reader.VideoStream() && repaired != Repaired.end()) {
        SourceEnd = -1;
        writer.WriteChunk(s, repaired->second.data(), stream.IsKeyFrame(e),
                          int32_t(repaired->second.size()));
        StreamStarted[size_t(s)] = true;
        ++Copied;
        ReportProgress();
        return;
    }
    if (stream.Untimed() && CopyShifted(writer, s, e))
        size = stream.EntrySize(e);
    else if (KeptWhole(s, e, cut) && CopyAsItStands(writer, s, e))
        size = stream.EntrySize(e);
    else if (!CopyPart(writer, s, e, cut, size))
        return;
    if (size > 0)
        StreamStarted[size_t(s)] = true;
    if (size_t(s) < SoundWritten.size() && !stream.Untimed()) {
        const AVIStreamHeader& h = stream.Header;
        const double units = stream.CountsBytes() ? double(size) / h.dwSampleSize : 1.0;
        SoundWritten[size_t(s)] += units * h.dwScale / h.dwRate;
    }
    if (&stream == Reader.VideoStream())
        ++Copied;
    ReportProgress();
}

void TZarvex::WriteEmptyVideo(TAVIFileWriter& writer) {
    const uint8_t none = 0;
    writer.WriteChunk(VideoIndex(), &none, false, 0);
}

bool TZarvex::KeptWhole(int s, int e, const TRangeTest& cut) const {
    const TAVIStream& stream = Reader.Streams(s);
    if (!stream.CountsBytes())
        return true;
    // A frame-cut stream's first chunk is searched for where its first whole frame starts.
    const TCutRule rule = CutRules[size_t(s)];
    const bool framed = rule == TCutRule::MpegFrames || rule == TCutRule::Ac3Frames;
    return cut.HeadCut == 0 && cut.TailCut == 0 && !cut.Touching && stream.EntrySize(e) > 0 &&
           !(framed && !StreamStarted[size_t(s)]);
}

bool TZarvex::CopyAsItStands(TAVIFileWriter& writer, int s, int64_t e) {
    const TAVIStream& stream = Reader.Streams(s);
    const int64_t position = stream.ChunkSpan(e);
    const uint8_t* header = position < 0 ? nullptr : ReadHeader(stream.File(), position);
    if (!header)
        return false;
    // Anything else (another id for the same stream, a header that does not match the index)
    // goes the reading way, which also reports a stale index.
    const uint32_t size = stream.EntrySize(e);
    if (GetU16(header) != stream.StreamNumber || GetU32(header) != writer.ChunkId(s) ||
        GetU32(header + 4) != size || size > uint32_t(INT32_MAX))
        return false;
    writer.CopyChunk(s, stream.File(), position, stream.IsKeyFrame(e), int32_t(size));
    SourceEnd = position + 8 + size + (size & 1);
    return true;
}

const uint8_t* TZarvex::ReadHeader(const TOSFile& file, int64_t position) {
    const int64_t at = position - HeaderBlockStart;
    if (HeaderBlockStart >= 0 && at >= 0 && at + 8 <= int64_t(HeaderBlock.size()))
        return HeaderBlock.data() + at;
    // A picture's header and the sound chunks after it usually stand within one block.
    HeaderBlock.resize(4096);
    int64_t got = 0;
    try {
        got = file.ReadAt(HeaderBlock.data(), int64_t(HeaderBlock.size()), position);
    } catch (const EOSError&) {
    }
    HeaderBlock.resize(size_t(got));
    HeaderBlockStart = got >= 8 ? position : -1;
    return HeaderBlockStart >= 0 ? HeaderBlock.data() : nullptr;
}

bool TZarvex::CopyShifted(TAVIFileWriter& writer, int s, int e) {
    const TAVIStream& stream = Reader.Streams(s);
    int64_t start = 0, end = 0;
    const uint8_t* data = stream.ReadChunk(e, Window);
    if (!data)
        throw UnreadableChunk(e, s);
    const uint32_t size = stream.EntrySize(e);
    if (UntimedShift == 0.0 || !ParseXsubTimes(data, size, start, end))
        return false;
    // The span the packet shows is on the output's timeline.
    const auto shift = int64_t(std::llround(UntimedShift * 1000.0));
    std::vector<uint8_t> shifted(data, data + size);
    WriteXsubTimes(shifted.data(), start + shift, end + shift);
    SourceEnd = -1;
    writer.WriteChunk(s, shifted.data(), stream.IsKeyFrame(e), int32_t(size));
    return true;
}

bool TZarvex::CopyPart(TAVIFileWriter& writer, int s, int e, TRangeTest cut, uint32_t& size) {
    const TAVIStream& stream = Reader.Streams(s);
    TAVIIndexEntry entry;
    const uint8_t* data = stream.GetEntry(e, entry) ? stream.ReadChunk(e, Window) : nullptr;
    if (!data)
        throw UnreadableChunk(e, s);
    SourceEnd = -1;
    if (stream.CountsBytes()) {
        const uint32_t blockAlign =
            stream.Format.size() >= 14 ? GetU16(stream.Format.data() + 12) : 0;
        AdjustCuts(CutRules[size_t(s)], blockAlign, data, entry.Size, !StreamStarted[size_t(s)],
                   cut);
    }
    const uint64_t cuts = uint64_t(cut.HeadCut) + cut.TailCut;
    size = cuts >= entry.Size ? 0 : entry.Size - uint32_t(cuts);
    // An empty byte-counted chunk carries no time, and decoders take it for a broken packet;
    // an empty frame-counted one is a slot of its own and stays.
    if (size == 0 && stream.CountsBytes())
        return false;
    writer.WriteChunk(s, data + std::min(cut.HeadCut, entry.Size), entry.KeyFrame != 0,
                      int32_t(size));
    return true;
}

std::function<bool()> TZarvex::PieceReport() {
    return [this] {
        ReportProgress();
        return !Cancel;
    };
}

void TZarvex::ReportProgress() {
    if (!OnProgress)
        return;
    // A range of one frame has nothing to divide by: it is done when its chunk is.
    const double percent =
        ProgressTotal == 0 ? 100.0 : double(ProgressBase + Copied) * 100.0 / ProgressTotal;
    OnProgress(*this, Cancel, percent);
}

} // namespace zarvex
