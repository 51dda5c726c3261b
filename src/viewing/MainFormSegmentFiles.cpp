// The main window's segment list kept in files and written out: the list file beside the
// video and the offer to load it, and saving the segments by stream copy or recompressed.
#include "viewing/MainForm.h"

#include "avi_input/AVIRead.h"
#include "export/DSSplit.h"
#include "media/ExactCut.h"
#include "media/RangeCut.h"
#include "splitting/Joiner.h"
#include "support/Errors.h"
#include "support/FileDlg.h"
#include "support/FileSafety.h"
#include "support/MessageDlg.h"
#include "support/ProgressDlg.h"
#include "support/QtPaths.h"
#include "viewing/SegmentList.h"
#include "viewing/SegmentsSaveForm.h"
#include "viewing/VideoView.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QStringList>
#include <QUndoStack>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zarvex {

namespace {

const char* const ListFilter = "Segment Lists (*.cuts)|*.cuts|All Files (*.*)|*.*";

} // namespace

// Finds the file of a loaded entry and checks that it can be joined to the open file and holds
// the entry's frames; raises otherwise.
void TfrmMain::CheckListedSource(TCutListEntry& e, const std::filesystem::path& folder) {
    const std::filesystem::path source(e.Source);
    const std::filesystem::path beside = folder / source.filename();
    // Sources are kept as written; a relative one lies beside the list.
    if (source.is_relative())
        e.Source = (folder / source).lexically_normal().string();
    // A folder moved with its list: the file is found beside the list.
    else if (!std::filesystem::exists(source) && std::filesystem::exists(beside))
        e.Source = beside.string();
    if (std::filesystem::exists(e.Source) && IsSameFile(e.Source, FViewer->FileName()))
        e.Source = FViewer->FileName();
    const TAVIFileReader& reader = SegmentReader(e.Source);
    const std::string refusal = JoinRefusal({&FViewer->Reader(), &reader});
    if (!refusal.empty())
        throw EZarvexError(refusal);
    if (!reader.VideoStream() || uint32_t(e.Frames.Last) >= reader.VideoStream()->EntryCount())
        throw EZarvexError("The segment list names frames beyond the end of " +
                           QFileInfo(QString::fromStdString(e.Source)).fileName().toStdString() +
                           ".");
}

void TfrmMain::ResetSegments() {
    FUndo->clear();
    FSegments.clear();
    FSavedSegments.clear();
    FCutOut = FSavedCutOut = false;
    SegmentsChanged();
    if (FileIsOpen())
        OfferSegmentList();
}

void TfrmMain::OfferSegmentList() {
    const std::string path = CutListPathFor(FViewer->FileName());
    if (!std::filesystem::is_regular_file(path))
        return;
    const QString question = QString("A segment list was found beside the file:\n%1\n\nLoad it?")
                                 .arg(QString::fromStdString(path));
    if (MessageDlg(this, question, TMsgDlgType::mtConfirmation,
                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
        LoadSegmentList(QString::fromStdString(path));
}

void TfrmMain::miLoadSegmentListClick() {
    TFileOpenDialog dialog(this);
    dialog.InitialDir = FLastOpenFolder;
    dialog.Filter = ListFilter;
    if (dialog.Execute())
        LoadSegmentList(dialog.FileName);
}

void TfrmMain::LoadSegmentList(const QString& fileName) {
    if (!FileIsOpen())
        return;
    std::vector<TCutListEntry> loaded;
    try {
        std::ifstream in(LocalPath(fileName), std::ios::binary);
        if (!in)
            throw EZarvexError("The segment list cannot be read: " + LocalPath(fileName));
        std::ostringstream text;
        text << in.rdbuf();
        loaded = ParseCutList(text.str()).Entries;
        const std::filesystem::path folder =
            std::filesystem::path(LocalPath(fileName)).parent_path();
        for (TCutListEntry& e : loaded)
            CheckListedSource(e, folder);
    } catch (const std::exception& e) {
        SegmentsChanged();
        ShowWarning(QString::fromUtf8(e.what()));
        return;
    }
    FSavedSegments = loaded;
    FSavedCutOut = false;
    // A list file holds what is kept.
    Edit("Load Segment List", [&] {
        FSegments = std::move(loaded);
        FCutOut = false;
    });
    SegmentsChanged();
    FSegmentList->show();
}

void TfrmMain::miSaveSegmentListClick() {
    if (FSegments.empty() || !FileIsOpen())
        return;
    QString path = QString::fromStdString(CutListPathFor(FViewer->FileName()));
    if (SelectSaveFileName(this, "cuts", "Segment Lists (*.cuts)", path))
        SaveSegmentList(path);
}

bool TfrmMain::SaveSegmentList(const QString& fileName) {
    const std::string path = LocalPath(fileName);
    try {
        // Any video the list names would be lost, not only the open one.
        RefuseSourceAsOutput(path, FViewer->FileName());
        for (const TCutListEntry& e : FSegments)
            RefuseSourceAsOutput(path, e.Source);
    } catch (const std::exception& e) {
        ShowWarning(QString::fromUtf8(e.what()));
        return false;
    }
    std::error_code unknown; // a path the system cannot resolve fails below, with its reason
    if (std::filesystem::exists(path, unknown) &&
        MessageDlg(this, QString("The \"%1\" file already exists. Overwrite?").arg(fileName),
                   TMsgDlgType::mtConfirmation,
                   QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return false;
    try {
        // The file lists what is kept, as the command line reads it.
        ReplaceFileWith(path, FormatCutList({KeptSegments()}));
    } catch (const EOSError& e) {
        ShowWarning(QString("The \"%1\" file cannot be created.\n%2")
                        .arg(fileName, QString::fromUtf8(e.Text.c_str())));
        return false;
    }
    FSavedSegments = FSegments;
    FSavedCutOut = FCutOut;
    return true;
}

void TfrmMain::miSaveSegmentsClick() {
    if (FSegments.empty() || !FileIsOpen())
        return;
    FViewer->Pause();
    if (KeptSegments().empty()) {
        ShowWarning("The segments cut out the whole file: nothing is left to save.");
        return;
    }
    if (!ConfirmOverlaps())
        return;
    TfrmSegmentsSave dialog(this);
    dialog.SourceFileName = QString::fromStdString(FViewer->FileName());
    dialog.ExactCutRefusal = QString::fromStdString(media::ExactCutRefusal(FViewer->Reader()));
    for (const TCutListEntry& e : KeptSegments())
        dialog.Sources.push_back(e.Source);
    TSegmentsSaveChoice choice;
    if (!dialog.Execute(choice))
        return;
    if (choice.Queue) {
        QueueJob(SegmentsJob(choice), true);
        return;
    }
    RunSpecWithProgress("Extracting...", "The segments are being saved. Please wait...",
                        SegmentsJob(choice), true);
}

} // namespace zarvex
