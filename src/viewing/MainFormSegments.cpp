// The main window's cut list: segments added from the marks or appended from other files,
// removed and reordered with undo, kept in a list file beside the video, and saved into one
// file or one file each.
#include "viewing/MainForm.h"

#include "app/icons/ToolbarIcons.h"
#include "avi_input/AVIRead.h"
#include "export/DSSplit.h"
#include "media/ExactCut.h"
#include "media/RangeCut.h"
#include "splitting/Joiner.h"
#include "support/FileDlg.h"
#include "support/FileSafety.h"
#include "support/FrameClock.h"
#include "support/MessageDlg.h"
#include "support/ProgressDlg.h"
#include "support/QtPaths.h"
#include "viewing/SegmentList.h"
#include "viewing/SegmentsSaveForm.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QScopeGuard>
#include <QToolBar>
#include <QUndoStack>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace zarvex {

namespace {

const char* const ListFilter = "Segment Lists (*.cuts)|*.cuts|All Files (*.*)|*.*";

// One step of the history: the list and the marks before and after it.
class TEditCommand : public QUndoCommand {
public:
    TEditCommand(TfrmMain& form, const QString& text, TfrmMain::TEditState before,
                 TfrmMain::TEditState after)
        : QUndoCommand(text), Form(form), Before(std::move(before)), After(std::move(after)) {}
    void undo() override { Form.ApplyEditState(Before); }
    void redo() override { Form.ApplyEditState(After); }

private:
    TfrmMain& Form;
    TfrmMain::TEditState Before, After;
};

TFrameClock ClockOf(const TAVIFileReader& reader) {
    const TAVIStream* video = reader.VideoStream();
    return video ? TFrameClock(video->Header.dwRate, video->Header.dwScale) : TFrameClock(25, 1);
}

} // namespace

void TfrmMain::CreateSegmentList() {
    FUndo = new QUndoStack(this);
    acnAddSegment = NewAction("Add Selection", "Add the selection to the segment list",
                              tiAddSegment, &TfrmMain::acnAddSegmentExecute);
    acnAddSegment->setShortcut(QKeySequence(Qt::Key_A));
    acnUndo = NewAction("Undo", "", 0, &TfrmMain::acnUndoExecute);
    acnUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    acnRedo = NewAction("Redo", "", 0, &TfrmMain::acnRedoExecute);
    acnRedo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y));
    connect(FUndo, &QUndoStack::canUndoChanged, acnUndo, &QAction::setEnabled);
    connect(FUndo, &QUndoStack::canRedoChanged, acnRedo, &QAction::setEnabled);
    acnUndo->setEnabled(false);
    acnRedo->setEnabled(false);
    miSaveSegments = NewAction("Save Segments...", "", 0, &TfrmMain::miSaveSegmentsClick);
    miAppendAvi = NewAction("Append AVI...", "", 0, &TfrmMain::miAppendAviClick);
    miSaveSegmentList = NewAction("Save Segment List...", "", 0, &TfrmMain::miSaveSegmentListClick);
    miLoadSegmentList = NewAction("Load Segment List...", "", 0, &TfrmMain::miLoadSegmentListClick);

    QAction* beforeSplit = Splitintoequalsizedparts1;
    miFile->insertActions(beforeSplit,
                          {miSaveSegments, miAppendAvi, miSaveSegmentList, miLoadSegmentList});
    miFile->insertSeparator(beforeSplit);
    miEdit->insertActions(miEdit->actions().value(0), {acnUndo, acnRedo});
    miEdit->insertSeparator(acnSetStartSelection);
    miEdit->addAction(acnAddSegment);

    FSegmentList = new TSegmentList(this);
    addDockWidget(Qt::RightDockWidgetArea, FSegmentList);
    // Out of the picture's way until there is something to list.
    FSegmentList->hide();
    FSegmentList->OnActivate = [this](int row) { ActivateSegment(row); };
    FSegmentList->OnRemove = [this](int row) { RemoveSegment(row); };
    FSegmentList->OnReorder = [this](const std::vector<int>& order) { ReorderSegments(order); };
    miView = new QMenu("View", this);
    menuBar()->insertMenu(miPlay->menuAction(), miView);
    miView->addAction(FSegmentList->toggleViewAction());

    ToolBar->addSeparator();
    tbnAddSegment = AddButton(acnAddSegment);
}

void TfrmMain::acnUndoExecute() {
    FUndo->undo();
}

void TfrmMain::acnRedoExecute() {
    FUndo->redo();
}

TfrmMain::TEditState TfrmMain::EditState() const {
    return {FSegments, FTrackLine->SelStart(), FTrackLine->SelEnd()};
}

void TfrmMain::ApplyEditState(const TEditState& state) {
    FSegments = state.Segments;
    // Cleared first: a mark is refused while it would not lie before (after) the other.
    FTrackLine->SetSelStart(-1);
    FTrackLine->SetSelEnd(-1);
    FTrackLine->SetSelStart(state.SelStart);
    FTrackLine->SetSelEnd(state.SelEnd);
    SegmentsChanged();
    UpdateActionStates();
    UpdateStatusBar();
}

void TfrmMain::Edit(const QString& text, const std::function<void()>& change) {
    TEditState before = EditState();
    change();
    TEditState after = EditState();
    if (before == after)
        return;
    FUndo->push(new TEditCommand(*this, text, std::move(before), std::move(after)));
}

void TfrmMain::SegmentsChanged() {
    FSegmentList->Show(FSegments);
    std::vector<std::pair<int64_t, int64_t>> kept;
    std::set<std::string> listed;
    for (const TCutListEntry& e : FSegments) {
        listed.insert(e.Source);
        if (FileIsOpen() && e.Source == FViewer->FileName())
            kept.emplace_back(FViewer->FrameToTime(e.Frames.First),
                              FViewer->FrameToTime(int64_t(e.Frames.Last) + 1));
    }
    FTrackLine->SetKeptRanges(std::move(kept));
    // Files no longer listed are closed; an undo opens them again.
    std::erase_if(FAppended, [&](const auto& file) { return !listed.count(file.first); });
}

void TfrmMain::ActivateSegment(int row) {
    if (row < 0 || row >= int(FSegments.size()) || !FileIsOpen())
        return;
    const TCutListEntry& e = FSegments[size_t(row)];
    if (e.Source == FViewer->FileName())
        FTrackLine->SetCurPos(FViewer->FrameToTime(e.Frames.First));
}

void TfrmMain::acnAddSegmentExecute() {
    if (!FileIsOpen() || FTrackLine->SelStart() < 0 || FTrackLine->SelEnd() < 0)
        return;
    if (SelectionIsEmpty()) {
        ShowWarning("The selection is shorter than one frame. Please select a longer segment.");
        return;
    }
    // As Save Selection copies: the frame at the end mark is not kept.
    TCutListEntry e;
    e.Source = FViewer->FileName();
    e.Frames.First = int32_t(FViewer->TimeToFrame(FTrackLine->SelStart()));
    e.Frames.Last = int32_t(FViewer->TimeToFrame(FTrackLine->SelEnd()) - 1);
    e.Start = TAVIViewer::TimeToSeconds(FViewer->FrameToTime(e.Frames.First));
    e.End = TAVIViewer::TimeToSeconds(FViewer->FrameToTime(int64_t(e.Frames.Last) + 1));
    Edit("Add Selection", [&] { FSegments.push_back(e); });
    SegmentsChanged();
    FSegmentList->show();
    FSegmentList->SetCurrentRow(int(FSegments.size()) - 1);
}

void TfrmMain::RemoveSegment(int row) {
    if (row < 0 || row >= int(FSegments.size()))
        return;
    Edit("Remove Segment", [&] { FSegments.erase(FSegments.begin() + row); });
    SegmentsChanged();
}

void TfrmMain::ReorderSegments(const std::vector<int>& order) {
    if (order.size() != FSegments.size())
        return;
    std::vector<TCutListEntry> moved;
    for (int i : order)
        moved.push_back(FSegments.at(size_t(i)));
    Edit("Move Segment", [&] { FSegments = std::move(moved); });
    SegmentsChanged();
}

TAVIFileReader& TfrmMain::SegmentReader(const std::string& source) {
    if (FileIsOpen() && source == FViewer->FileName())
        return FViewer->Reader();
    auto& reader = FAppended[source];
    if (!reader) {
        auto opened = std::make_unique<TAVIFileReader>();
        opened->Open(source);
        reader = std::move(opened);
    }
    return *reader;
}

TCutListEntry TfrmMain::WholeFileEntry(const std::string& source) {
    const TAVIFileReader& reader = SegmentReader(source);
    const TAVIStream* video = reader.VideoStream();
    const int32_t frames = video ? int32_t(video->EntryCount()) : 0;
    if (frames == 0)
        throw EZarvexError("The video stream is not found in the selected file.");
    const TFrameClock clock = ClockOf(reader);
    TCutListEntry e;
    e.Source = source;
    e.Frames = {0, frames - 1};
    e.End = TAVIViewer::TimeToSeconds(clock.FrameStart(frames));
    return e;
}

void TfrmMain::miAppendAviClick() {
    TFileOpenDialog dialog(this);
    dialog.InitialDir = FLastOpenFolder;
    dialog.Filter = "AVI Files (*.avi)|*.avi|All Files (*.*)|*.*";
    if (dialog.Execute())
        AppendFile(dialog.FileName);
}

void TfrmMain::AppendFile(const QString& fileName) {
    if (!FileIsOpen())
        return;
    const std::string source = LocalPath(fileName);
    try {
        const TAVIFileReader& reader = SegmentReader(source);
        const std::string refusal = JoinRefusal({&FViewer->Reader(), &reader});
        if (!refusal.empty()) {
            SegmentsChanged(); // closes the file again
            ShowWarning(QString::fromStdString(refusal));
            return;
        }
        const TCutListEntry e = WholeFileEntry(source);
        Edit("Append AVI", [&] { FSegments.push_back(e); });
        FSegmentList->show();
    } catch (const std::exception& e) {
        SegmentsChanged();
        ShowWarning(QString::fromUtf8(e.what()));
        return;
    }
    SegmentsChanged();
}

void TfrmMain::ResetSegments() {
    FUndo->clear();
    FSegments.clear();
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
        // Sources are kept as written; a relative one lies beside the list.
        const std::filesystem::path folder =
            std::filesystem::path(LocalPath(fileName)).parent_path();
        for (TCutListEntry& e : loaded) {
            std::filesystem::path source(e.Source);
            if (source.is_relative())
                e.Source = (folder / source).lexically_normal().string();
            if (std::filesystem::exists(e.Source) && IsSameFile(e.Source, FViewer->FileName()))
                e.Source = FViewer->FileName();
            const TAVIFileReader& reader = SegmentReader(e.Source);
            const std::string refusal = JoinRefusal({&FViewer->Reader(), &reader});
            if (!refusal.empty())
                throw EZarvexError(refusal);
            if (uint32_t(e.Frames.Last) >= reader.VideoStream()->EntryCount())
                throw EZarvexError(
                    "The segment list names frames beyond the end of " +
                    QFileInfo(QString::fromStdString(e.Source)).fileName().toStdString() + ".");
        }
    } catch (const std::exception& e) {
        SegmentsChanged();
        ShowWarning(QString::fromUtf8(e.what()));
        return;
    }
    Edit("Load Segment List", [&] { FSegments = std::move(loaded); });
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

void TfrmMain::SaveSegmentList(const QString& fileName) {
    std::ofstream out(LocalPath(fileName), std::ios::binary | std::ios::trunc);
    out << FormatCutList({FSegments});
    out.close();
    if (!out)
        ShowWarning(QString("The \"%1\" file cannot be created.").arg(fileName));
}

void TfrmMain::miSaveSegmentsClick() {
    if (FSegments.empty() || !FileIsOpen())
        return;
    FViewer->Pause();
    TfrmSegmentsSave dialog(this);
    dialog.SourceFileName = QString::fromStdString(FViewer->FileName());
    dialog.ExactCutRefusal = QString::fromStdString(media::ExactCutRefusal(FViewer->Reader()));
    for (const TCutListEntry& e : FSegments)
        dialog.Sources.push_back(e.Source);
    TSegmentsSaveChoice choice;
    if (!dialog.Execute(choice))
        return;
    try {
        TfrmProgress progress(this);
        FProgress = &progress;
        const auto forget = qScopeGuard([this] { FProgress = nullptr; });
        FProgress->SetTitle("Extracting...");
        FProgress->SetText("The segments are being saved. Please wait...");
        FProgress->show();
        if (choice.StreamCopy)
            SaveSegmentsCopying(choice);
        else
            SaveSegmentsRecompressing(choice);
    } catch (const std::exception& e) {
        ShowWarning(QString::fromUtf8(e.what()));
    }
}

void TfrmMain::SaveSegmentsCopying(const TSegmentsSaveChoice& choice) {
    media::TRangeSave save;
    for (const TCutListEntry& e : FSegments)
        save.Pieces.push_back({&SegmentReader(e.Source), e.Frames, nullptr});
    save.Output = choice.Output;
    save.Mode = choice.Exact ? media::TCutMode::Exact : media::TCutMode::KeyFrame;
    save.Separate = choice.Separate;
    save.OnProgress = [this](bool& cancel, double percent) { SaveProgress(cancel, percent); };
    save.OnConfirmOverwrite = [this](const std::string& question) {
        return MessageDlg(FProgress, QString::fromStdString(question), TMsgDlgType::mtConfirmation,
                          QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    std::vector<std::string> messages;
    bool cancelled = false;
    media::SaveRanges(save, messages, cancelled);
    FProgress->hide();
    if (!messages.empty()) {
        QStringList lines;
        for (const std::string& m : messages)
            lines << QString::fromStdString(m);
        ShowWarning(lines.join("\n"));
    }
}

// One render per segment: the render engine plays only one source per track.
void TfrmMain::SaveSegmentsRecompressing(const TSegmentsSaveChoice& choice) {
    const int count = int(FSegments.size());
    std::vector<std::string> outputs;
    for (int i = 0; i < count; ++i)
        outputs.push_back(RangeFileName(choice.Output, i + 1, count));
    for (const std::string& output : outputs)
        if (std::filesystem::exists(output) &&
            MessageDlg(FProgress,
                       QString("The \"%1\" file already exists. Overwrite?")
                           .arg(QString::fromStdString(output)),
                       TMsgDlgType::mtConfirmation,
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
    for (int i = 0; i < count; ++i) {
        const TCutListEntry& e = FSegments[size_t(i)];
        TDSVideoSplitter splitter;
        splitter.SourceFileName = e.Source;
        splitter.OutputFileName = outputs[size_t(i)];
        splitter.StartTime = e.Start;
        splitter.StopTime = e.End;
        splitter.VideoCompressor = choice.Video;
        splitter.AudioCompressor = choice.Audio;
        splitter.OnProgress = [this, i, count](TDSVideoSplitter&, bool& cancel, double percent) {
            SaveProgress(cancel, (i * 100.0 + percent) / count);
        };
        splitter.Save();
        for (const std::string& warning : splitter.Warnings())
            ShowWarning(QString::fromStdString(warning));
        if (splitter.Cancelled())
            return;
    }
}

} // namespace zarvex
