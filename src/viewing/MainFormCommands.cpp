// The main window's commands that hand the open file to the other tools: saving the selection
// by stream copy or through the compressors, saving frames, the split tool in a second instance,
// help, system information and the about box.
#include "viewing/MainForm.h"

#include "export/DSSplit.h"
#include "export/SaveFrameForm.h"
#include "export/SaveMovieForm.h"
#include "info/SysInfoForm.h"
#include "media/ExactCut.h"
#include "splitting/ZarvexCls.h"
#include "support/About.h"
#include "support/JobRunner.h"
#include "support/ProdInfo.h"
#include "support/ProgressDlg.h"
#include "support/ShellOpen.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScopeGuard>

#include <exception>
#include <string>

namespace zarvex {

void TfrmMain::SetDialogs(TfrmVideoSave* videoSave, TfrmFrameSave* frameSave) {
    FVideoSave = videoSave;
    FFrameSave = frameSave;
}

TfrmVideoSave& TfrmMain::VideoSaveDialog() {
    if (!FVideoSave)
        FVideoSave = new TfrmVideoSave(this);
    return *FVideoSave;
}

TfrmFrameSave& TfrmMain::FrameSaveDialog() {
    if (!FFrameSave)
        FFrameSave = new TfrmFrameSave(this);
    return *FFrameSave;
}

bool TfrmMain::SelectionIsEmpty() const {
    return FViewer->TimeToFrame(FTrackLine->SelEnd()) <=
           FViewer->TimeToFrame(FTrackLine->SelStart());
}

void TfrmMain::acnSaveExecute() {
    FViewer->Pause();
    // Both marks in one frame would leave the copier nothing to copy.
    if (SelectionIsEmpty()) {
        ShowWarning("The selection is shorter than one frame. Please select a longer segment.");
        return;
    }
    TfrmVideoSave& dialog = VideoSaveDialog();
    dialog.SourceFileName = QString::fromStdString(FViewer->FileName());
    dialog.ExactCutRefusal = QString::fromStdString(media::ExactCutRefusal(FViewer->Reader()));
    dialog.OutputRefusal = [this] { return QString::fromStdString(SelectionRefusal()); };
    if (!dialog.Execute())
        return;
    if (dialog.QueueChosen()) {
        QueueJob(SelectionJob(), false);
        return;
    }
    RunSpecWithProgress("Extracting...", "The selected segment is being extracted. Please wait...",
                        SelectionJob(), false);
}

bool TfrmMain::RunWithProgress(const QString& title, const QString& text, TJobThread::TJob job) {
    try {
        const auto forget = qScopeGuard([this] { FProgress = nullptr; });
        return !RunJob(this, {title, text, [this](TfrmProgress& shown) { FProgress = &shown; }},
                       std::move(job));
    } catch (const std::exception& e) {
        // The progress dialog is gone by now, so the warning has the window to itself.
        ShowWarning(QString::fromUtf8(e.what()));
        return false;
    }
}

void TfrmMain::miSaveFrameClick() {
    FViewer->Pause();
    TfrmFrameSave& dialog = FrameSaveDialog();
    dialog.SetSource(FViewer->FileName(), FViewer->Position(), FViewer->FrameRate);
    dialog.Execute();
}

void TfrmMain::Splitintoequalsizedparts1Click() {
    // Each argument reaches the new instance as one parameter, blanks and all.
    QStringList parameters{"/chop"};
    if (FileIsOpen())
        parameters << QString::fromStdString(FViewer->FileName());
    if (!StartProgram(ProgramFileName(), parameters))
        ShowWarning("Unable to start " + ProgramFileName());
}

void TfrmMain::FormHelp() {
    OpenManual(this);
}

void TfrmMain::miHelpTopicsClick() {
    FormHelp();
}

void TfrmMain::miSystemInfoClick() {
    ShowSystemInfo(FViewer->Reader(), this);
}

void TfrmMain::miAboutClick() {
    ShowAbout(ProductInfo, this);
}

} // namespace zarvex
