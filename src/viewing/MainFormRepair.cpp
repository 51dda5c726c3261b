// The main window and damaged files: the question whether to rebuild a missing or damaged index
// on open, the scan under the progress dialog, what it recovered, and the repaired copy.
#include "viewing/MainForm.h"

#include "splitting/ZarvexCls.h"
#include "support/FileDlg.h"
#include "support/FileSafety.h"
#include "support/MessageDlg.h"
#include "support/ProgressDlg.h"
#include "support/QtPaths.h"
#include "viewing/VideoView.h"

#include <QAction>
#include <QScopeGuard>
#include <QStringList>

#include <exception>
#include <memory>

namespace zarvex {

void TfrmMain::OpenAskingRebuild(const std::string& fileName,
                                 const std::function<void()>& beforeQuestion) {
    TAVIFileReader& reader = FViewer->Reader();
    std::unique_ptr<TfrmProgress> scan;
    // The events hold this frame's locals: they must not outlive the open.
    const auto forget = qScopeGuard([&] {
        reader.OnRebuildQuestion = nullptr;
        reader.OnScanProgress = nullptr;
        FProgress = nullptr;
    });
    reader.IndexRebuild = TIndexRebuild::Ask;
    reader.OnRebuildQuestion = [&](const std::string& question) {
        beforeQuestion();
        if (MessageDlg(this, QString::fromStdString(question), TMsgDlgType::mtConfirmation,
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return false;
        scan = std::make_unique<TfrmProgress>(this);
        FProgress = scan.get();
        scan->SetTitle("Rebuilding the index...");
        scan->SetText("The whole file is being read to rebuild its index. Please wait...");
        scan->show();
        return true;
    };
    reader.OnScanProgress = [&](double percent, bool& cancel) {
        if (!scan)
            return;
        scan->SetPosition(percent);
        cancel = scan->Cancelled();
    };
    FViewer->Open(fileName);
}

bool TfrmMain::IndexWasRebuilt() const {
    return FileIsOpen() && FViewer->Reader().ScanReport().Rebuilt;
}

void TfrmMain::ShowRebuildReport() {
    if (!IndexWasRebuilt())
        return;
    QStringList lines;
    for (const std::string& line : ScanReportLines(FViewer->Reader().ScanReport()))
        lines << QString::fromStdString(line);
    MessageDlg(this, lines.join('\n'), TMsgDlgType::mtInformation);
}

void TfrmMain::miSaveRepairedClick() {
    FViewer->Pause();
    TFileSaveDialog dialog(this);
    dialog.InitialDir = FLastOpenFolder;
    dialog.Title = "Save Repaired Copy";
    dialog.Filter = "AVI Files (*.avi)|*.avi";
    dialog.DefaultExt = "avi";
    if (!dialog.Execute())
        return;
    const std::string output = LocalPath(dialog.FileName);
    if (IsSameFile(output, FViewer->FileName())) {
        ShowWarning("The output file is the source file.");
        return;
    }
    RunWithProgress("Saving...", "A repaired copy of the file is being written. Please wait...",
                    [&] {
                        TZarvex engine(FViewer->Reader());
                        engine.FileName = output;
                        engine.OnProgress = [this](TZarvex&, bool& cancel, double percent) {
                            SaveProgress(cancel, percent);
                        };
                        // A cancelled copy is still a complete file, only shorter.
                        engine.CopyWholeFile();
                    });
}

} // namespace zarvex
