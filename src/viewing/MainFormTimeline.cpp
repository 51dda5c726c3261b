// The main window's timeline: zooming it, the overview of the open file that its lanes show,
// and the selected segment's edges dragged on it.
#include "viewing/MainForm.h"

#include "media/Overview.h"
#include "viewing/SegmentList.h"
#include "viewing/TimelineView.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"

#include <QAction>
#include <QMenu>
#include <QStandardPaths>
#include <QTreeWidget>

namespace zarvex {

// Beside the settings, which live under ~/.config/holtmark/.
QString TfrmMain::CacheFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           "/holtmark/zarvex/overview";
}

void TfrmMain::CreateTimeline() {
    acnZoomIn = NewAction("Zoom In", "Show less of the recording, in more detail", 0,
                          &TfrmMain::acnZoomInExecute);
    acnZoomIn->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal),
                             QKeySequence(Qt::KeypadModifier | Qt::Key_Plus)});
    acnZoomOut =
        NewAction("Zoom Out", "Show more of the recording", 0, &TfrmMain::acnZoomOutExecute);
    acnZoomOut->setShortcuts(
        {QKeySequence(Qt::Key_Minus), QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)});
    acnZoomFit = NewAction("Whole Recording", "Show the whole recording on the timeline", 0,
                           &TfrmMain::acnZoomFitExecute);
    acnZoomFit->setShortcuts({QKeySequence(Qt::Key_0), QKeySequence(Qt::CTRL | Qt::Key_0)});
    for (QAction* a : {acnZoomIn, acnZoomOut, acnZoomFit})
        a->setEnabled(false); // until a file is open
    miView->addSeparator();
    miView->addActions({acnZoomIn, acnZoomOut, acnZoomFit});
    FTrackLine->OnEdgeDragged = [this](TTrackLine&, bool end, int64_t pos) {
        SegmentEdgeDragged(end, pos);
    };
    connect(FSegmentList->Rows(), &QTreeWidget::currentItemChanged, this,
            [this] { UpdateActiveRange(); });
}

void TfrmMain::acnZoomInExecute() {
    FTimeline->ZoomIn();
}

void TfrmMain::acnZoomOutExecute() {
    FTimeline->ZoomOut();
}

void TfrmMain::acnZoomFitExecute() {
    FTimeline->ZoomToFit();
}

void TfrmMain::CloseOverview() {
    FTimeline->SetSource(nullptr);
    FOverview.reset(); // stops its work
    FOverviewFile.clear();
}

void TfrmMain::UpdateTimeline() {
    const bool open = FileIsOpen();
    for (QAction* a : {acnZoomIn, acnZoomOut, acnZoomFit})
        a->setEnabled(open);
    UpdateSpots();
    if (open && FOverviewFile == FViewer->FileName())
        return;
    CloseOverview();
    FTimeline->Reset(open ? double(FViewer->FrameToTime(1000)) / 1000 : 0);
    if (!open)
        return;
    try {
        FOverview = media::OpenOverview(FViewer->Reader(), {CacheFolder().toStdString()});
    } catch (const std::exception&) {
        FOverview.reset(); // the timeline does without pictures and sound
    }
    FOverviewFile = FViewer->FileName();
    FTimeline->SetSource(FOverview.get());
}

void TfrmMain::UpdateActiveRange() {
    const int row = FSegmentList->CurrentRow();
    if (!FileIsOpen() || row < 0 || row >= int(FSegments.size()) ||
        FSegments[size_t(row)].Source != FViewer->FileName()) {
        FTrackLine->SetActiveRange(0, 0);
        return;
    }
    const TCutListEntry& e = FSegments[size_t(row)];
    FTrackLine->SetActiveRange(FViewer->FrameToTime(e.Frames.First),
                               FViewer->FrameToTime(int64_t(e.Frames.Last) + 1));
}

// The edge goes to the frame boundary nearest to where it was let go.
void TfrmMain::SegmentEdgeDragged(bool end, int64_t pos) {
    if (!FileIsOpen())
        return;
    const int64_t frame = FViewer->Clock().NearestFrame(pos);
    SetSegmentEdge(FSegmentList->CurrentRow(), end,
                   TAVIViewer::TimeToSeconds(FViewer->FrameToTime(frame)));
    UpdateActiveRange();
}

} // namespace zarvex
