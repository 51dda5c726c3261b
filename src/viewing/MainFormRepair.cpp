// The main window and damaged files: the question whether to rebuild a missing or damaged index
// on open, the scan under the progress dialog, what it recovered, and the repaired copy.
#include "viewing/MainForm.h"

#include "splitting/ZarvexCls.h"
#include "support/FileDlg.h"
#include "support/FileSafety.h"
#include "support/JobRunner.h"
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
    // The index is read here; a rebuild, which reads the whole file, runs as a job.
    auto reader = std::make_shared<TAVIFileReader>();
    std::string question;
    reader->IndexRebuild = TIndexRebuild::Ask;
    reader->OnRebuildQuestion = [&](const std::string& q) {
        question = q;
        return false;
    };
    std::exception_ptr failure;
    try {
        reader->Open(fileName);
    } catch (const EAVIReadError&) {
        if (question.empty())
            throw;
        failure = std::current_exception();
    }
    reader->OnRebuildQuestion = nullptr;
    if (!question.empty()) {
        beforeQuestion();
        if (MessageDlg(this, QString::fromStdString(question), TMsgDlgType::mtConfirmation,
                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
            auto rebuilt = std::make_shared<TAVIFileReader>();
            rebuilt->IndexRebuild = TIndexRebuild::Always;
            const auto forget = qScopeGuard([this] { FProgress = nullptr; });
            RunJob(this,
                   {"Rebuilding the index...",
                    "The whole file is being read to rebuild its index. Please wait...",
                    [this](TfrmProgress& shown) { FProgress = &shown; }},
                   [rebuilt, fileName](TJobControl& control) {
                       rebuilt->OnScanProgress = [&control](double percent, bool& cancel) {
                           control.SetProgress(percent);
                           cancel = control.Cancelled();
                       };
                       rebuilt->Open(fileName);
                       rebuilt->OnScanProgress = nullptr;
                   });
            reader = rebuilt;
            failure = nullptr;
        }
    }
    if (failure)
        std::rethrow_exception(failure);
    FViewer->Open(fileName, reader.get());
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
    auto reader = std::make_shared<TAVIFileReader>();
    try {
        reader->OpenCopyOf(FViewer->Reader());
    } catch (const std::exception& e) {
        ShowWarning(QString::fromUtf8(e.what()));
        return;
    }
    RunWithProgress("Saving...", "A repaired copy of the file is being written. Please wait...",
                    [reader, output](TJobControl& control) {
                        TZarvex engine(*reader);
                        engine.FileName = output;
                        engine.OnProgress = control.ProgressHandler<TZarvex>();
                        // A cancelled copy is still a complete file, only shorter.
                        engine.CopyWholeFile();
                    });
}

} // namespace zarvex
