// The main window's long jobs written down (the selection, the segment list) and run on a
// worker thread under the progress dialog, each on its own reader.
#include "viewing/MainForm.h"

#include "avi_input/AVIRead.h"
#include "export/SaveMovieForm.h"
#include "jobs/JobRun.h"
#include "support/JobRunner.h"
#include "viewing/SegmentsSaveForm.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QStringList>

#include <exception>

namespace zarvex {

namespace {

constexpr int SavedMessageTime = 10000; // milliseconds

} // namespace

TJobSpec TfrmMain::SelectionJob() {
    TfrmVideoSave& dialog = VideoSaveDialog();
    const int64_t selStart = FTrackLine->SelStart(), selEnd = FTrackLine->SelEnd();
    TJobSpec spec;
    TCutListEntry piece;
    piece.Source = FViewer->FileName();
    // The frame at the end mark itself is not copied.
    piece.Frames = {int32_t(FViewer->TimeToFrame(selStart)),
                    int32_t(FViewer->TimeToFrame(selEnd) - 1)};
    piece.Start = TAVIViewer::TimeToSeconds(selStart);
    piece.End = TAVIViewer::TimeToSeconds(selEnd);
    spec.Pieces.push_back(piece);
    spec.Output = dialog.edtFileName->text().toStdString();
    if (dialog.cbxVideoNoRecompression->isChecked()) {
        spec.Method = dialog.ExactCutChosen() ? TJobMethod::Exact : TJobMethod::Copy;
    } else {
        spec.Method = TJobMethod::Recompress;
        spec.Video = JobCodecOf(
            GetCompressorFilter(dialog.VideoCompressors(), dialog.cbxVideo->currentIndex()));
        spec.Audio = JobCodecOf(
            GetCompressorFilter(dialog.AudioCompressors(), dialog.cbxAudio->currentIndex()));
    }
    return spec;
}

TJobSpec TfrmMain::SegmentsJob(const TSegmentsSaveChoice& choice) const {
    TJobSpec spec;
    spec.Pieces = KeptSegments();
    spec.Output = choice.Output;
    spec.Separate = choice.Separate;
    spec.Method = !choice.StreamCopy ? TJobMethod::Recompress
                  : choice.Exact     ? TJobMethod::Exact
                                     : TJobMethod::Copy;
    if (!choice.StreamCopy) {
        spec.Video = JobCodecOf(choice.Video);
        spec.Audio = JobCodecOf(choice.Audio);
    }
    return spec;
}

// Where the files of a save went, for a while in the status bar: the dialog that named them
// is long gone when a long save ends.
void TfrmMain::ShowSavedTo(const TJobSpec& spec) {
    const int count = int(spec.Pieces.size());
    const QString first =
        QString::fromStdString(spec.Separate ? RangeFileName(spec.Output, 1, count) : spec.Output);
    const QString text =
        spec.Separate && count > 1
            ? QString("Saved to %1 ... %2")
                  .arg(first, QString::fromStdString(RangeFileName(spec.Output, count, count)))
            : "Saved to " + first;
    statusBar()->showMessage(text, SavedMessageTime);
}

TJobReaders TfrmMain::JobReaders(const TJobSpec& spec) {
    TJobReaders readers;
    for (const std::string& source : JobInputs(spec)) {
        const TAVIFileReader* open = nullptr;
        if (FileIsOpen() && source == FViewer->FileName())
            open = &FViewer->Reader();
        else if (const auto appended = FAppended.find(source); appended != FAppended.end())
            open = appended->second.get();
        if (!open)
            continue;
        auto copy = std::make_shared<TAVIFileReader>();
        copy->OpenCopyOf(*open);
        readers[source] = std::move(copy);
    }
    return readers;
}

void TfrmMain::RunSpecWithProgress(const QString& title, const QString& text, const TJobSpec& spec,
                                   bool ask) {
    // A queued job running meanwhile must not meet this one over a file.
    if (const std::string refusal = QueueRefusal(spec); !refusal.empty()) {
        ShowWarning(QString::fromStdString(refusal));
        return;
    }
    std::vector<std::string> warnings;
    try {
        const TJobReaders readers = JobReaders(spec);
        const bool finished = RunWithProgress(title, text, [&](TJobControl& control) {
            warnings = RunJobSpec(spec, control, readers, ask);
        });
        if (finished)
            ShowSavedTo(spec);
    } catch (const std::exception& e) {
        ShowWarning(QString::fromUtf8(e.what()));
        return;
    }
    if (!warnings.empty()) {
        QStringList lines;
        for (const std::string& w : warnings)
            lines << QString::fromStdString(w);
        ShowWarning(lines.join("\n"));
    }
}

} // namespace zarvex
