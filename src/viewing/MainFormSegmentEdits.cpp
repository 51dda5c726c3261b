// The main window's edits of segments already in the list: their edges set to the position or
// typed, the list sorted, overlaps asked about, and a changed list kept from being lost.
#include "viewing/MainForm.h"

#include "avi_input/AVIRead.h"
#include "splitting/CutListEdit.h"
#include "support/FileDlg.h"
#include "support/FrameClock.h"
#include "support/MessageDlg.h"
#include "viewing/SegmentList.h"
#include "viewing/VideoView.h"

#include <QAction>
#include <QMenu>

#include <algorithm>

namespace zarvex {

void TfrmMain::CreateSegmentEdits() {
    acnSetSegmentStart = NewAction("Set Segment Start", "Set the selected segment's start here", 0,
                                   &TfrmMain::acnSetSegmentStartExecute);
    acnSetSegmentStart->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    acnSetSegmentEnd = NewAction("Set Segment End", "Set the selected segment's end here", 0,
                                 &TfrmMain::acnSetSegmentEndExecute);
    acnSetSegmentEnd->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_2));
    miSortSegments = NewAction("Sort Segments", "", 0, &TfrmMain::miSortSegmentsClick);
    miEdit->addSeparator();
    miEdit->addActions({acnSetSegmentStart, acnSetSegmentEnd, miSortSegments});
    FSegmentList->OnEditTime = [this](int row, bool end, double seconds) {
        SetSegmentEdge(row, end, seconds);
    };
}

void TfrmMain::acnSetSegmentStartExecute() {
    SetSegmentEdge(FSegmentList->CurrentRow(), false,
                   TAVIViewer::TimeToSeconds(FViewer->ShownPosition()));
}

void TfrmMain::acnSetSegmentEndExecute() {
    SetSegmentEdge(FSegmentList->CurrentRow(), true,
                   TAVIViewer::TimeToSeconds(FViewer->ShownPosition()));
}

void TfrmMain::SetSegmentEdge(int row, bool end, double seconds) {
    if (row < 0 || row >= int(FSegments.size()) || !FileIsOpen())
        return;
    const auto refuse = [this](const QString& text) {
        SegmentsChanged(); // the typed text goes
        ShowWarning(text);
    };
    if (seconds < 0)
        return refuse("Please type a time as h:mm:ss.mmm.");
    TCutListEntry e = FSegments[size_t(row)];
    const TAVIStream* video = nullptr;
    try {
        video = SegmentReader(e.Source).VideoStream();
    } catch (const std::exception& error) {
        return refuse(QString::fromUtf8(error.what()));
    }
    if (!video || video->EntryCount() == 0)
        return;
    const TFrameClock clock(video->Header.dwRate, video->Header.dwScale);
    const auto frames = int64_t(video->EntryCount());
    const int64_t frame = std::min(clock.TypedFrame(seconds), frames);
    if (end)
        e.Frames.Last = int32_t(frame - 1);
    else
        e.Frames.First = int32_t(std::min(frame, frames - 1));
    if (e.Frames.First > e.Frames.Last)
        return refuse("The start of a segment must lie before its end.");
    e.Start = TAVIViewer::TimeToSeconds(clock.FrameStart(e.Frames.First));
    e.End = TAVIViewer::TimeToSeconds(clock.FrameStart(int64_t(e.Frames.Last) + 1));
    Edit(end ? "Set Segment End" : "Set Segment Start", [&] { FSegments[size_t(row)] = e; });
    SegmentsChanged();
    FSegmentList->SetCurrentRow(row);
}

void TfrmMain::miSortSegmentsClick() {
    if (!FileIsOpen())
        return;
    Edit("Sort Segments", [&] { FSegments = SortedByTime(FSegments, FViewer->FileName()); });
    SegmentsChanged();
}

bool TfrmMain::SegmentListChanged() const {
    return !FSegments.empty() && (FSegments != FSavedSegments || FCutOut != FSavedCutOut);
}

bool TfrmMain::ConfirmSegmentListSaved() {
    if (!SegmentListChanged() || !FileIsOpen())
        return true;
    const auto answer =
        MessageDlg(this, "The segment list has changed. Save it?", TMsgDlgType::mtConfirmation,
                   QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    if (answer == QMessageBox::Discard)
        return true;
    if (answer != QMessageBox::Save)
        return false;
    QString path = QString::fromStdString(CutListPathFor(FViewer->FileName()));
    return SelectSaveFileName(this, "cuts", "Segment Lists (*.cuts)", path) &&
           SaveSegmentList(path);
}

bool TfrmMain::ConfirmOverlaps() {
    if (FCutOut)
        return true; // removing a frame twice removes it once
    const std::vector<bool> overlapping = OverlappingEntries(FSegments);
    if (std::find(overlapping.begin(), overlapping.end(), true) == overlapping.end())
        return true;
    return MessageDlg(this,
                      "Some segments overlap: the frames they share would be saved more than "
                      "once. Save them as they are?",
                      TMsgDlgType::mtConfirmation,
                      QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

} // namespace zarvex
