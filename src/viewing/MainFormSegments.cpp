// The main window's cut list: segments added from the marks or appended from other files,
// removed and reordered, with undo and redo of the list and the marks.
#include "viewing/MainForm.h"

#include "app/icons/ToolbarIcons.h"
#include "avi_input/AVIRead.h"
#include "splitting/CutListEdit.h"
#include "splitting/Joiner.h"
#include "support/Errors.h"
#include "support/FileDlg.h"
#include "support/FrameClock.h"
#include "support/QtPaths.h"
#include "viewing/SegmentList.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QUndoStack>

#include <set>

namespace zarvex {

namespace {

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
    miOffsetList = NewAction("Offset Loaded List...",
                             "Move the ranges of the list of another program just loaded", 0,
                             &TfrmMain::miOffsetListClick);
    miOffsetList->setEnabled(false);

    QAction* beforeSplit = Splitintoequalsizedparts1;
    miFile->insertActions(beforeSplit, {miSaveSegments, miAppendAvi, miSaveSegmentList,
                                        miLoadSegmentList, miOffsetList});
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
    CreateSegmentEdits();
    CreateKeptRanges();
    CreateRecentFiles();
}

void TfrmMain::acnUndoExecute() {
    FUndo->undo();
}

void TfrmMain::acnRedoExecute() {
    FUndo->redo();
}

TfrmMain::TEditState TfrmMain::EditState() const {
    return {FSegments, FTrackLine->SelStart(), FTrackLine->SelEnd(), FCutOut};
}

void TfrmMain::ApplyEditState(const TEditState& state) {
    FSegments = state.Segments;
    FCutOut = state.CutOut;
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
    miCutOut->setChecked(FCutOut);
    // The offset applies to the list as it was loaded, not to later edits.
    miOffsetList->setEnabled(FLoadedList && FSegments == FLoadedList->Segments);
    std::set<std::string> listed;
    for (const TCutListEntry& e : FSegments)
        listed.insert(e.Source);
    FTrackLine->SetKeptRanges(KeptTimes());
    UpdateActiveRange();
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
    const size_t at = TimeOrderPosition(FSegments, e, e.Source);
    Edit("Add Selection", [&] { FSegments.insert(FSegments.begin() + std::ptrdiff_t(at), e); });
    SegmentsChanged();
    FSegmentList->show();
    FSegmentList->SetCurrentRow(int(at));
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

} // namespace zarvex
