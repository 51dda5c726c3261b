// The stream copier: copies a frame range, or equal-sized parts, of an opened AVI file into new
// AVI files without decoding anything.
#pragma once

#include "avi_input/AVIStream.h"
#include "avi_output/AVIWrite.h"
#include "splitting/AudioCuts.h"
#include "splitting/VideoPlan.h"
#include "support/Errors.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zarvex {

class TAVIFileReader;
class TAVIStream;
class TFrameNumShift;

// What the pieces of a joined file have written so far: the output's frames, and per stream
// the seconds of its sound, from which the next piece's sound is placed without gap or overlap.
struct TSoundCarry {
    int64_t Frames = 0;
    std::vector<double> Seconds;
};

// Stream ids of a written file are 0..99.
inline constexpr int MaxCopyStreams = 100;
// Why a copy of this source cannot be written, before any file is created; empty when it can.
std::string StreamCountRefusal(const TAVIFileReader& reader);

class TZarvex {
public:
    // Called after every written chunk; set cancel to stop the job.
    using TProgressEvent = std::function<void(TZarvex& sender, bool& cancel, double percent)>;
    // Asked before an existing part file is overwritten; true means Yes.
    using TOverwriteEvent = std::function<bool(TZarvex& sender, const std::string& question)>;

    // The reader is lent, opened by the caller, and never freed here.
    explicit TZarvex(TAVIFileReader& reader);

    TAVIFileReader& Reader;
    int64_t SourceSize;   // when the job began
    std::string FileName; // output of CopySegment
    TProgressEvent OnProgress;
    TOverwriteEvent OnConfirmOverwrite;
    // Called after each part file of a split is completed; set cancel to write no more parts.
    std::function<void(TZarvex& sender, bool& cancel)> OnPartDone;

    // Copies video frames FirstFrame..LastFrame (moved back to a key frame) with everything that
    // plays meanwhile. The output is completed in every case, also on failure or cancel. A
    // video stream without entries, or a chunk that cannot be read, is a failure.
    void CopySegment(int32_t firstFrame, int32_t lastFrame);
    // Copies frames first..last exactly: the video as the plan says (its Count() is the number
    // of frames), everything else as CopySegment does from the time of frame first on.
    void CopySegmentPlanned(int32_t first, int32_t last, const TVideoPlan& plan);
    // Appends a piece of a joined file: the video of plan from frame first on, to a writer whose
    // streams were declared from a source that matches this one (DeclareStreams). Its sound runs
    // from where carry says the sound so far ends to the end of its last frame.
    void AppendPlanned(TAVIFileWriter& writer, int32_t first, const TVideoPlan& plan,
                       TSoundCarry& carry);
    // Declares the source's streams, the video with the palette in effect at firstFrame.
    void DeclareStreams(TAVIFileWriter& writer, int32_t firstFrame = 0);
    // Copies every entry of every stream to FileName unchanged, in time order, with fresh
    // indexes: the repaired copy of a file whose index was rebuilt.
    void CopyWholeFile();
    // Writes the part files into folder; false when an overwrite question was not answered Yes,
    // in which case nothing was written.
    bool SplitIntoParts(int32_t partCount, const std::string& folder, const std::string& prefix);

    bool Cancelled() const { return Cancel; }
    // For a job cancelled before the copier ran (while its pictures were encoded).
    void MarkCancelled() { Cancel = true; }
    static std::string OverwriteQuestion(const std::string& fileName);

private:
    const TAVIStream& Video() const;
    // Video(), once a copy can be written at all.
    const TAVIStream& CheckedVideo() const;
    void WriteFile(const std::string& name);
    void PrepareStreams();
    void CopyRange(TAVIFileWriter& writer);
    void CopyPlanned(TAVIFileWriter& writer, const TVideoPlan& plan, TSoundCarry& carry);
    // Whether slot i of the plan is written before the chunk of another stream due at other,
    // standing at otherStart in the source.
    bool VideoFirst(const TVideoPlan& plan, int64_t i, double other, int64_t otherStart);
    void WritePlannedVideo(TAVIFileWriter& writer, const TVideoPlan& plan, int64_t i);
    // A slot without a picture of its own, in place of a chunk that cannot be decoded.
    void WriteEmptyVideo(TAVIFileWriter& writer);
    void PlaceCursors(double S);
    // Reader.NextChunk, except that the chunk standing right after the last one copied in the
    // source is taken when it comes no later than limit and within InterleaveSlack of the next
    // in time: a file keeps its own interleaving, and its adjacent chunks go in one copy.
    void NextToCopy(int& s, int& e, double limit);
    // The source position of entry e's chunk header, or -1.
    int64_t ChunkStart(const TAVIStream& stream, int64_t e) const;
    // Seconds: below a frame of 25 fps video, above what MPEG audio's encoder delay puts its
    // chunks behind their time in files that ffmpeg and others interleave by timestamp.
    static constexpr double InterleaveSlack = 0.035;
    // Raises when the chunk cannot be read: a short copy is a failure, not a success.
    void CopyChunk(TAVIFileWriter& writer, int s, int e, double S, double E);
    // True when entry e is copied whole and its bytes need not be looked at.
    bool KeptWhole(int s, int e, const TRangeTest& cut) const;
    // Copies entry e unread, in the kernel, when the source's chunk is what the writer would
    // write for it; false leaves it to the reading way.
    bool CopyAsItStands(TAVIFileWriter& writer, int s, int64_t e);
    // An untimed entry whose payload carries its display span, rewritten by UntimedShift; false
    // for one without, or with nothing to shift.
    bool CopyShifted(TAVIFileWriter& writer, int s, int e);
    // The reading way: cuts applied; false when nothing was written.
    bool CopyPart(TAVIFileWriter& writer, int s, int e, TRangeTest cut, uint32_t& size);
    // Why entry cannot be read: the source changed when it is shorter than at the start.
    EZarvexError UnreadableChunk(int64_t entry, int stream) const;
    // The 8 header bytes at position, read in blocks (of this job); null on a short read.
    const uint8_t* ReadHeader(const TOSFile& file, int64_t position);
    int VideoIndex() const;
    // The palette changes of the video after frame first are written from here on.
    void StartPalettes(int64_t first);
    // Writes the palette changes due before video frame frame that are not written yet.
    void WritePalettes(TAVIFileWriter& writer, int64_t frame);
    void ReportProgress();
    // For the writer's OnCopyPiece: reports within a long copy, and stops it on Cancel.
    std::function<bool()> PieceReport();

    int32_t FirstFrame = 0;
    int32_t LastFrame = 0;
    // Video entries FirstFrame+1..EmptyThrough are written empty: the leading pictures of the
    // open group a key-frame copy starts on. A split leaves them, so that its parts join back.
    int64_t EmptyThrough = -1;
    // Video entries written with these bytes: see TVideoPlan::Repaired.
    std::map<int64_t, std::vector<uint8_t>> Repaired;
    std::shared_ptr<TFrameNumShift> Renumber; // see TVideoPlan::FrameNumDrop
    int32_t ProgressTotal = 0;
    int32_t ProgressBase = 0;
    int32_t Copied = 0;
    TChunkWindow Window;              // payloads are read in runs of adjacent chunks
    std::vector<uint8_t> HeaderBlock; // source bytes from HeaderBlockStart
    int64_t HeaderBlockStart = -1;
    int64_t SourceEnd = -1; // source position after the last chunk copied unread
    std::vector<TCutRule> CutRules;
    std::vector<bool> StreamStarted;
    std::vector<double> SoundWritten; // seconds per stream, while a planned copy runs
    double UntimedEnd = 0.0;          // untimed entries are copied before this time
    double UntimedShift = 0.0;        // output time minus source time, in seconds
    size_t NextPalette = 0;           // the video's next palette change to write
    bool Cancel = false;
};

} // namespace zarvex
