// The main window's behaviour: opening and closing files, navigation, the selection marks, the
// status bar, and the viewer and timeline kept in step.
#include "viewing/MainForm.h"

#include "app/icons/ToolbarIcons.h"
#include "info/CodecForm.h"
#include "support/FileDlg.h"
#include "support/MessageDlg.h"
#include "support/ProdInfo.h"
#include "support/QtPaths.h"
#include "viewing/ShellUtils.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMimeData>
#include <QStatusBar>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace zarvex {

namespace {

QString ProductName() {
    return QString::fromStdString(ProductInfo.ProductName);
}

const char* const NoFileText = "Please open an AVI file.";
const char* const SelectStartText = "Please select the start of segment that should be extracted.";
const char* const SelectEndText = "Please select the end of segment that should be extracted.";
const char* const KeyFrameText = "Key frame before the start: %1";
constexpr int KeyFramePanelWidth = 70; // the middle panel's width while it is empty

double Seconds(int64_t time) {
    return TAVIViewer::TimeToSeconds(time);
}

class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { Restore(); }
    void Restore() {
        if (Active)
            QApplication::restoreOverrideCursor();
        Active = false;
    }

private:
    bool Active = true;
};

} // namespace

QString TfrmMain::FormatPlayTime(double seconds) {
    // A difference of two times (1.2 - 0.4 = 0.7999...) must not lose its last tenth.
    seconds += 1e-7;
    const auto h = int64_t(std::floor(seconds / 3600));
    const auto m = int64_t(std::floor(seconds / 60)) % 60;
    const auto s = int64_t(std::floor(seconds)) % 60;
    const auto t = int64_t(std::floor(seconds * 10)) % 10;
    QString text = QString::asprintf("%2lld:%2lld.%lld", (long long)m, (long long)s, (long long)t);
    if (h > 0)
        text = QString::asprintf("%2lld:", (long long)h) + text;
    return text.replace(' ', '0');
}

bool TfrmMain::FileIsOpen() const {
    return FViewer && !FViewer->FileName().empty();
}

void TfrmMain::OpenFile(const QString& fileName) {
    if (!ConfirmSegmentListSaved())
        return;
    FLastOpenFolder = FolderPart(fileName);
    FViewer->Close();
    UpdateFileState();
    TWaitCursor cursor;
    SetStatusText(0, "Opening...");
    statusBar()->repaint();
    try {
        OpenAskingRebuild(fileName.toStdString(), [&] { cursor.Restore(); });
    } catch (const TDSOpenError& e) {
        cursor.Restore();
        ShowCodecAdvice(this, e);
    } catch (const std::exception& e) {
        cursor.Restore();
        ShowWarning(QString::fromStdString(e.what()));
    }
    cursor.Restore();
    if (FileIsOpen())
        AddRecentFile(fileName);
    UpdateFileState();
    ShowRebuildReport();
    ResetSegments();
}

void TfrmMain::UpdateFileState() {
    if (FileIsOpen()) {
        // The mark stays in sight for as long as the file is open.
        const QString mark = IndexWasRebuilt() ? " (index rebuilt)" : "";
        setWindowTitle(QFileInfo(QString::fromStdString(FViewer->FileName())).fileName() + mark +
                       " - " + ProductName());
        FTrackLine->MinPos = 0;
        FTrackLine->MaxPos = FViewer->Duration;
        FTrackLine->SetCurPos(FViewer->Position());
        FTrackLine->SetSelStart(-1);
        FTrackLine->SetSelEnd(-1);
        FTrackLine->SetKeyFrames(FViewer->KeyFrameTimes());
        FTrackLine->setEnabled(true);
    } else {
        setWindowTitle(ProductName());
        FTrackLine->SetSelStart(-1);
        FTrackLine->SetSelEnd(-1);
        FTrackLine->SetKeyFrames({});
        FTrackLine->setEnabled(false);
    }
    UpdateTimeline();
    UpdateActionStates();
    UpdateStatusBar();
}

void TfrmMain::UpdateActionStates() {
    if (FDestroying)
        return;
    const bool open = FileIsOpen();
    const int64_t p = open ? FViewer->Position() : 0, d = open ? FViewer->Duration : 0;
    const int64_t selStart = FTrackLine->SelStart(), selEnd = FTrackLine->SelEnd();
    acnSave->setEnabled(open && selStart > -1 && selEnd > -1);
    miSaveFrame->setEnabled(open);
    miSaveRepaired->setEnabled(open);
    for (QAction* a : {acnFirstFrame, acnPrevFast, acnPrevFrame, acnSetEndSelection})
        a->setEnabled(open && p > 0);
    for (QAction* a : {acnLastFrame, acnNextFast, acnNextFrame, acnPlay, acnSetStartSelection})
        a->setEnabled(open && p < d);
    acnStartSelection->setEnabled(selStart > -1);
    acnEndSelection->setEnabled(selEnd > -1);
    acnAddSegment->setEnabled(open && selStart > -1 && selEnd > -1);
    miSaveSegments->setEnabled(open && !FSegments.empty());
    miSaveSegmentList->setEnabled(open && !FSegments.empty());
    miAppendAvi->setEnabled(open);
    miLoadSegmentList->setEnabled(open);
    UpdateNavigationStates();
}

void TfrmMain::UpdateStatusBar() {
    if (FDestroying)
        return;
    UpdatePositionBox();
    if (!FileIsOpen()) {
        SetStatusText(0, NoFileText);
        ShowKeyFrameBeforeStart();
        SetStatusText(2, "");
        return;
    }
    const int64_t pos = FTrackLine->CurPos();
    SetStatusText(0, QString("Position: %1 (frame: %2)")
                         .arg(FormatPlayTime(Seconds(pos)))
                         .arg(FViewer->TimeToFrame(pos)));
    ShowKeyFrameBeforeStart();
    const int64_t selStart = FTrackLine->SelStart(), selEnd = FTrackLine->SelEnd();
    if (selStart > -1 && selEnd > -1) {
        const double start = Seconds(selStart), end = Seconds(selEnd);
        SetStatusText(2, "Selection: " + QString("%1, from %2 to %3")
                                             .arg(FormatPlayTime(end - start))
                                             .arg(FormatPlayTime(start))
                                             .arg(FormatPlayTime(end)));
    } else if (selStart == -1) {
        SetStatusText(2, SelectStartText);
    } else {
        SetStatusText(2, SelectEndText);
    }
}

// Where a stream copy of the selection would start, while a start is marked; the timeline
// knows it from the index without a walk through it, even while playing.
void TfrmMain::ShowKeyFrameBeforeStart() {
    const int64_t copyStart = FileIsOpen() ? FTrackLine->CopyStart() : -1;
    if (copyStart < 0) {
        StatusPanels[1]->clear();
        StatusPanels[1]->setFixedWidth(KeyFramePanelWidth);
        return;
    }
    SetStatusText(1, QString(KeyFrameText).arg(FViewer->TimeToFrame(copyStart)));
}

void TfrmMain::SetStatusText(int index, const QString& text) {
    QLabel* panel = StatusPanels[index];
    panel->setText(text);
    panel->setFixedWidth(panel->fontMetrics().horizontalAdvance(text) + 10);
}

int TfrmMain::StatusBarWidthNeeded() const {
    const QFontMetrics metrics = StatusPanels[0]->fontMetrics();
    const auto widest = [&](std::initializer_list<QString> texts) {
        int width = 0;
        for (const QString& text : texts)
            width = std::max(width, metrics.horizontalAdvance(text) + 10);
        return width;
    };
    // Times of ten hours and more and six-digit frame numbers; digits share one width.
    // The key frame shows only once a start is marked, beside the shorter texts.
    const int noStart = KeyFramePanelWidth + widest({SelectStartText});
    const int started =
        widest({QString(KeyFrameText).arg("000000")}) +
        widest({SelectEndText, "Selection: 00:00:00.0, from 00:00:00.0 to 00:00:00.0"});
    const int panels =
        widest({NoFileText, "Position: 00:00:00.0 (frame: 000000)"}) + std::max(noStart, started);
    // The bar's margins, spacing and size grip, as its layout adds them to the panels now.
    int shown = 0;
    for (const QLabel* panel : StatusPanels)
        shown += panel->width();
    return panels + statusBar()->sizeHint().width() - shown;
}

void TfrmMain::ShowWarning(const QString& text) {
    ShowWarningBox(this, text);
}

void TfrmMain::TrackLineChange() {
    FViewer->SetPosition(FTrackLine->CurPos());
    UpdateStatusBar();
    UpdateActionStates();
}

void TfrmMain::ViewerPosition(int64_t position) {
    FTrackLine->SetCurPosSilent(position);
    if (!FPlayedSegments.empty())
        FollowPlayedSegments(position);
    UpdateStatusBar();
    UpdateActionStates();
}

void TfrmMain::ViewerPlayStateChange(bool playing) {
    FPlayImage = playing ? tiPause : tiPlay;
    acnPlay->setIcon(ToolbarIcon(FPlayImage));
}

void TfrmMain::acnOpenExecute() {
    TFileOpenDialog dialog(this);
    if (!FLastOpenFolder.isEmpty())
        dialog.InitialDir = FLastOpenFolder;
    dialog.Filter = "AVI Files (*.avi)|*.avi|All Files (*.*)|*.*";
    if (dialog.Execute())
        OpenFile(dialog.FileName);
}

void TfrmMain::acnPlayExecute() {
    // Backward playback pauses, as forward playback does.
    if (ReversePlaying()) {
        acnPauseExecute();
        return;
    }
    FViewer->PlayPause();
}
void TfrmMain::acnFirstFrameExecute() {
    FTrackLine->SetCurPos(FTrackLine->MinPos);
}
void TfrmMain::acnLastFrameExecute() {
    FTrackLine->SetCurPos(FTrackLine->MaxPos);
}
void TfrmMain::acnPrevFastExecute() {
    FViewer->FastBackward();
}
void TfrmMain::acnNextFastExecute() {
    FViewer->FastForward();
}
void TfrmMain::acnPrevFrameExecute() {
    FViewer->PrevFrame();
}
void TfrmMain::acnNextFrameExecute() {
    FViewer->NextFrame();
}
void TfrmMain::acnStartSelectionExecute() {
    FTrackLine->SetCurPos(FTrackLine->SelStart());
}
void TfrmMain::acnEndSelectionExecute() {
    FTrackLine->SetCurPos(FTrackLine->SelEnd());
}

void TfrmMain::acnSetStartSelectionExecute() {
    Edit("Select Start", [this] { FTrackLine->SetSelStart(FViewer->ShownPosition()); });
    UpdateActionStates();
    UpdateStatusBar();
}

void TfrmMain::acnSetEndSelectionExecute() {
    Edit("Select End", [this] { FTrackLine->SetSelEnd(FViewer->ShownPosition()); });
    UpdateActionStates();
    UpdateStatusBar();
}

void TfrmMain::miCloseClick() {
    if (!ConfirmSegmentListSaved())
        return;
    FViewer->Close();
    UpdateFileState();
    ResetSegments();
}

void TfrmMain::miExitClick() {
    close();
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (HasDroppedFiles(event->mimeData()))
        event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
    const QString name = DroppedFileName(event->mimeData());
    event->acceptProposedAction();
    if (name.isEmpty() || !QFileInfo(name).isFile())
        return;
    // Opened after the drop has ended, so the source of the drag is not held by a message box.
    QMetaObject::invokeMethod(
        this,
        [this, name] {
            raise();
            activateWindow();
            OpenFile(name);
        },
        Qt::QueuedConnection);
}

void TfrmMain::wheelEvent(QWheelEvent* event) {
    if (FileIsOpen()) {
        const int delta = event->angleDelta().y();
        if (delta < 0)
            acnNextFastExecute();
        else if (delta > 0)
            acnPrevFastExecute();
    }
    event->ignore();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // Qt hands the close request even to a window that a running job has disabled; closing
    // would end the program in the middle of the job, with its output unfinished.
    if (FProgress || !isEnabled()) {
        event->ignore();
        return;
    }
    if (!ConfirmSegmentListSaved() || !ConfirmCloseWithJobs()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (FViewer)
        FViewer->UpdateVideoRect();
}

} // namespace zarvex
