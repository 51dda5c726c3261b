// The main window's segment list kept in files and written out: the list file beside the
// video and the offer to load it, and saving the segments by stream copy or recompressed.
#include "viewing/MainForm.h"

#include "avi_input/AVIRead.h"
#include "export/DSSplit.h"
#include "media/ExactCut.h"
#include "media/RangeCut.h"
#include "splitting/ForeignCutList.h"
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
#include <optional>
#include <sstream>

namespace zarvex {

namespace {

const char* const ListFilter =
    "Segment Lists (*.cuts)|*.cuts|Cut Lists of Other Programs|*.cutlist;*.edl;*.txt;marks;"
    "*.marks;*.csv;*.llc;*.vcf|All Files (*.*)|*.*";

// What Save Segment List offers: the format and its name pattern, ours first.
struct TSaveChoice {
    TListFormat Format;
    const char* Pattern;
};
constexpr TSaveChoice SaveChoices[] = {
    {TListFormat::Zarvex, "*.cuts"},       {TListFormat::CutlistAt, "*.cutlist"},
    {TListFormat::MPlayerEdl, "*.edl"},    {TListFormat::KodiEdl, "*.edl"},
    {TListFormat::ComskipTxt, "*.txt"},    {TListFormat::VdrMarks, "marks"},
    {TListFormat::LosslessCsv, "*.csv"},   {TListFormat::LosslessLlc, "*.llc"},
    {TListFormat::VirtualDubVcf, "*.vcf"},
};

QString SaveChoiceEntry(const TSaveChoice& c) {
    return (c.Format == TListFormat::Zarvex ? QString("Segment Lists")
                                            : ListFormatTitle(c.Format)) +
           " (" + c.Pattern + ")";
}

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
    FLoadedList.reset();
    FSegments.clear();
    FSavedSegments.clear();
    FCutOut = FSavedCutOut = false;
    SegmentsChanged();
    if (FileIsOpen())
        OfferSegmentList();
}

void TfrmMain::OfferSegmentList() {
    // Ours first, then those of other programs.
    const std::vector<std::string> beside = ListFilesBeside(FViewer->FileName());
    if (beside.empty())
        return;
    const std::string& path = beside.front();
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
    const std::string path = LocalPath(fileName);
    std::vector<TCutListEntry> loaded;
    std::optional<TLoadedList> foreign;
    int cutAtEnd = 0;
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in || std::filesystem::is_directory(path))
            throw EZarvexError("The segment list cannot be read: " + path);
        // One byte more than a list may hold tells that it is too large.
        std::string text(MaxListBytes + 1, '\0');
        in.read(text.data(), std::streamsize(text.size()));
        text.resize(size_t(in.gcount()));
        const TListFormat format = DetectListFormat(text, path);
        if (format == TListFormat::Zarvex || format == TListFormat::Unknown) {
            loaded = ParseCutList(text).Entries;
            const std::filesystem::path folder = std::filesystem::path(path).parent_path();
            for (TCutListEntry& e : loaded)
                CheckListedSource(e, folder);
        } else {
            foreign.emplace();
            if (!ReadForeignFile(text, path, *foreign)) {
                SegmentsChanged();
                return;
            }
            loaded = foreign->Segments = ForeignEntries(*foreign, cutAtEnd);
        }
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
    FLoadedList = std::move(foreign);
    SegmentsChanged();
    FSegmentList->show();
    ShowCutAtEnd(cutAtEnd);
}

void TfrmMain::miSaveSegmentListClick() {
    if (FSegments.empty() || !FileIsOpen())
        return;
    QStringList entries;
    for (const TSaveChoice& c : SaveChoices)
        entries << SaveChoiceEntry(c);
    QString path = QString::fromStdString(CutListPathFor(FViewer->FileName()));
    QString chosen;
    // The extension follows the format chosen, not the other way round.
    if (!SelectSaveFileName(this, "", entries.join(";;"), path, &chosen))
        return;
    TListFormat format = TListFormat::Unknown;
    for (const TSaveChoice& c : SaveChoices)
        if (SaveChoiceEntry(c) == chosen) {
            format = c.Format;
            const QString pattern = c.Pattern;
            if (QFileInfo(path).suffix().isEmpty() && pattern.startsWith("*."))
                path += pattern.mid(1);
        }
    SaveSegmentList(path, format);
}

bool TfrmMain::SaveSegmentList(const QString& fileName, TListFormat format) {
    const std::string path = LocalPath(fileName);
    if (format == TListFormat::Unknown)
        format = FormatOfFileName(path);
    std::string text;
    try {
        // Any video the list names would be lost, not only the open one.
        RefuseSourceAsOutput(path, FViewer->FileName());
        for (const TCutListEntry& e : FSegments)
            RefuseSourceAsOutput(path, e.Source);
        // The file lists what is kept, as the command line reads it.
        text = format == TListFormat::Zarvex || format == TListFormat::Unknown
                   ? FormatCutList({KeptSegments()})
                   : ForeignListText(format);
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
        ReplaceFileWith(path, text);
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
