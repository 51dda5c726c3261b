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

TJobOrder TfrmMain::SelectionJob() {
    TfrmVideoSave& dialog = VideoSaveDialog();
    const int64_t selStart = FTrackLine->SelStart(), selEnd = FTrackLine->SelEnd();
    TJobOrder order;
    TCutListEntry piece;
    piece.Source = FViewer->FileName();
    // The frame at the end mark itself is not copied.
    piece.Frames = {int32_t(FViewer->TimeToFrame(selStart)),
                    int32_t(FViewer->TimeToFrame(selEnd) - 1)};
    piece.Start = TAVIViewer::TimeToSeconds(selStart);
    piece.End = TAVIViewer::TimeToSeconds(selEnd);
    order.Pieces.push_back(piece);
    order.Output = dialog.edtFileName->text().toStdString();
    if (dialog.cbxVideoNoRecompression->isChecked()) {
        order.Method = dialog.ExactCutChosen() ? TJobMethod::Exact : TJobMethod::Copy;
    } else {
        order.Method = TJobMethod::Recompress;
        order.Video = JobCodecOf(
            GetCompressorFilter(dialog.VideoCompressors(), dialog.cbxVideo->currentIndex()));
        order.Audio = JobCodecOf(
            GetCompressorFilter(dialog.AudioCompressors(), dialog.cbxAudio->currentIndex()));
    }
    return order;
}

TJobOrder TfrmMain::SegmentsJob(const TSegmentsSaveChoice& choice) const {
    TJobOrder order;
    order.Pieces = KeptSegments();
    order.Output = choice.Output;
    order.Separate = choice.Separate;
    order.Method = !choice.StreamCopy ? TJobMethod::Recompress
                   : choice.Exact     ? TJobMethod::Exact
                                      : TJobMethod::Copy;
    if (!choice.StreamCopy) {
        order.Video = JobCodecOf(choice.Video);
        order.Audio = JobCodecOf(choice.Audio);
    }
    return order;
}

// Where the files of a save went, for a while in the status bar: the dialog that named them
// is long gone when a long save ends.
void TfrmMain::ShowSavedTo(const TJobOrder& order) {
    const int count = int(order.Pieces.size());
    const QString first = QString::fromStdString(
        order.Separate ? RangeFileName(order.Output, 1, count) : order.Output);
    const QString text =
        order.Separate && count > 1
            ? QString("Saved to %1 ... %2")
                  .arg(first, QString::fromStdString(RangeFileName(order.Output, count, count)))
            : "Saved to " + first;
    statusBar()->showMessage(text, SavedMessageTime);
}

TJobReaders TfrmMain::JobReaders(const TJobOrder& order) {
    TJobReaders readers;
    for (const std::string& source : JobInputs(order)) {
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

void TfrmMain::RunSpecWithProgress(const QString& title, const QString& text,
                                   const TJobOrder& order, bool ask) {
    // A queued job running meanwhile must not meet this one over a file.
    if (const std::string refusal = QueueRefusal(order); !refusal.empty()) {
        ShowWarning(QString::fromStdString(refusal));
        return;
    }
    std::vector<std::string> warnings;
    try {
        const TJobReaders readers = JobReaders(order);
        const bool finished = RunWithProgress(title, text, [&](TJobControl& control) {
            warnings = RunJobOrder(order, control, readers, ask);
        });
        if (finished)
            ShowSavedTo(order);
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
