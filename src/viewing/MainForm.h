// The main window: the picture, the timeline and the toolbar, the actions that open, play, step
// and mark a selection, and the status bar with the position and the selection.
#pragma once

#include "jobs/JobQueue.h"
#include "jobs/JobRun.h"
#include "media/AudioSink.h"
#include "media/OverviewSource.h"
#include "media/SpotDetect.h"
#include "splitting/CutList.h"
#include "splitting/ForeignCutList.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QBoxLayout;
class QFrame;
class QLabel;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;
class QUndoStack;

namespace zarvex {

class TAVIFileReader;
class TAVIViewer;
class TBackgroundWork;
class TJobHandOverServer;
class TfrmJobs;
class TSegmentList;
struct TFindBreaksChoice;
struct TSegmentsSaveChoice;
class TfrmFrameSave;
class TfrmProgress;
class TfrmVideoSave;
class TPositionBox;
class TReversePlay;
class TTimelineView;
class TTrackLine;

// "cutlist.at", "MPlayer EDL", ...: a format as the window names it.
QString ListFormatTitle(TListFormat format);

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // The sound output comes from the factory; the default is the desktop's sound device.
    explicit TfrmMain(QWidget* parent = nullptr, media::TAudioSinkFactory audioSinks = {});
    ~TfrmMain() override;

    // "12:05.3" or, from one hour on, "1:12:05.3" with every field two digits wide.
    static QString FormatPlayTime(double seconds);

    void OpenFile(const QString& fileName);
    void UpdateFileState();
    void UpdateActionStates();
    void UpdateStatusBar();
    // Sets the panel's text and fits its width to the text.
    void SetStatusText(int index, const QString& text);
    // The window width at which the longest texts of the status bar's panels fit.
    int StatusBarWidthNeeded() const;
    void ShowWarning(const QString& text);
    bool FileIsOpen() const;
    int PlayImage() const { return FPlayImage; }
    const QString& LastOpenFolder() const { return FLastOpenFolder; }

    void acnOpenExecute();
    // File > Recent Files, newest first; a file that is gone is dropped with a warning.
    QStringList RecentFiles() const;
    void OpenRecentFile(const QString& fileName);
    void acnSaveExecute();
    void acnPlayExecute();
    void acnFirstFrameExecute();
    void acnLastFrameExecute();
    void acnPrevFastExecute();
    void acnNextFastExecute();
    void acnPrevFrameExecute();
    void acnNextFrameExecute();
    void acnStartSelectionExecute();
    void acnEndSelectionExecute();
    void acnSetStartSelectionExecute();
    void acnSetEndSelectionExecute();
    void miCloseClick();
    void miSaveFrameClick();
    void miSaveRepairedClick();
    void Splitintoequalsizedparts1Click();
    void miExitClick();
    void miHelpTopicsClick();
    void miSystemInfoClick();
    void miAboutClick();
    void FormHelp();

    // The job queue: jobs added with "Add to Queue" run one after another while the window
    // goes on; it is kept in the settings folder and taken up again at the next start.
    TJobQueue& Queue() { return *FQueue; }
    void miJobsClick();
    // The Jobs window, while it exists.
    TfrmJobs* JobsWindow() const { return FJobs; }
    // Adds order with copies of the open readers; ask: the overwrite questions for existing
    // outputs are still to be asked. A refusal is shown; true when the job was added.
    bool QueueJob(const TJobOrder& order, bool ask);
    // Why order must not run beside the queue's jobs; empty when it may.
    std::string QueueRefusal(const TJobOrder& order) const;

    // The cut list: segments of the open file and of appended files, in saving order.
    void acnAddSegmentExecute();
    void acnUndoExecute();
    void acnRedoExecute();
    void miSaveSegmentsClick();
    void miAppendAviClick();
    void miSaveSegmentListClick();
    void miLoadSegmentListClick();
    void AppendFile(const QString& fileName);
    void LoadSegmentList(const QString& fileName);
    // True when the list was written: in the format given, by default the one the name's
    // extension names (ours for any other).
    bool SaveSegmentList(const QString& fileName, TListFormat format = TListFormat::Unknown);
    // Moves the ranges of the list of another program just loaded by a number of frames, as
    // long as the segments are still those it gave.
    void miOffsetListClick();
    QAction* miOffsetList = nullptr;
    void RemoveSegment(int row);
    void ReorderSegments(const std::vector<int>& order);
    const std::vector<TCutListEntry>& Segments() const { return FSegments; }
    // The selected segment's start or end set to the position, or to a typed time (seconds);
    // the frame at an end is not kept, as with the end mark.
    void acnSetSegmentStartExecute();
    void acnSetSegmentEndExecute();
    void SetSegmentEdge(int row, bool end, double seconds);
    void miSortSegmentsClick();
    // Cut Out: the open file's listed ranges are the parts to remove. The segments that are
    // saved: the list, or in Cut Out the rest of the open file and then the other files' ones.
    void miCutOutClick();
    std::vector<TCutListEntry> KeptSegments() const;
    // Plays only what is kept, one segment after another, until the last one ends or a pause.
    void acnPlaySegmentsExecute();
    // The list differs from the one last saved or loaded.
    bool SegmentListChanged() const;
    // Asks to save a changed list first; false when the user cancels or the save fails.
    bool ConfirmSegmentListSaved();

    // What undo and redo step through: the list and the marks.
    struct TEditState {
        std::vector<TCutListEntry> Segments;
        int64_t SelStart = -1, SelEnd = -1;
        bool CutOut = false;
        bool operator==(const TEditState&) const = default;
    };
    TEditState EditState() const;
    void ApplyEditState(const TEditState& state);

    // The save and frame dialogs made at start-up; without them the window makes its own.
    void SetDialogs(TfrmVideoSave* videoSave, TfrmFrameSave* frameSave);
    TfrmVideoSave& VideoSaveDialog();
    TfrmFrameSave& FrameSaveDialog();
    // Exists only while a selection or a repaired copy is saved, or an index is rebuilt.
    TfrmProgress* FProgress = nullptr;

    TTrackLine* FTrackLine = nullptr;
    TAVIViewer* FViewer = nullptr;
    // The timeline around the track line: ruler, lanes of pictures and sound, zoom.
    TTimelineView* FTimeline = nullptr;
    // What the lanes show of the open file, while one is open.
    media::TOverviewSource* Overview() const { return FOverview.get(); }
    void acnZoomInExecute();
    void acnZoomOutExecute();
    void acnZoomFitExecute();
    QAction* acnZoomIn = nullptr;
    QAction* acnZoomOut = nullptr;
    QAction* acnZoomFit = nullptr;

    QFrame* pnlDisplay;
    QWidget* pnlTrackLine;
    QToolBar* ToolBar;
    QLabel* StatusPanels[3];
    QLabel* pnlJobs; // how many jobs wait or run, empty when none

    QAction* acnOpen;
    QAction* acnSave;
    QAction* acnPlay;
    QAction* acnFirstFrame;
    QAction* acnLastFrame;
    QAction* acnPrevFast;
    QAction* acnNextFast;
    QAction* acnPrevFrame;
    QAction* acnNextFrame;
    QAction* acnStartSelection;
    QAction* acnEndSelection;
    QAction* acnSetStartSelection;
    QAction* acnSetEndSelection;
    QAction* acnAddSegment;
    QAction* acnUndo;
    QAction* acnRedo;
    QAction* acnSetSegmentStart;
    QAction* acnSetSegmentEnd;
    QAction* miSortSegments;
    QAction* miCutOut;
    QAction* acnPlaySegments;

    QMenu* miFile;
    QMenu* miEdit;
    QMenu* miPlay;
    QMenu* miView;
    QMenu* miHelp;
    QMenu* miRecentFiles;
    QAction* miClose;
    QAction* miSaveFrame;
    QAction* miSaveRepaired;
    QAction* Splitintoequalsizedparts1;
    QAction* miSaveSegments;
    QAction* miAppendAvi;
    QAction* miSaveSegmentList;
    QAction* miLoadSegmentList;
    QAction* miJobs;
    TSegmentList* FSegmentList = nullptr;
    QUndoStack* FUndo = nullptr;
    QAction* miExit;
    QAction* miHelpTopics;
    QAction* miSystemInfo;
    QAction* miAbout;

    QToolButton* tbnOpen;
    QToolButton* tbnPlay;
    QToolButton* tbnPrevFast;
    QToolButton* tbnNextFast;
    QToolButton* tbnPrevFrame;
    QToolButton* tbnNextFrame;
    QToolButton* ToolButton3;
    QToolButton* ToolButton4;
    QToolButton* tbnSave;
    QToolButton* tbnAddSegment;

    // Exact navigation: the position box, Go To, key frames, minutes, the edges of the marks and
    // the segments, and playing backwards, pausing and playing (J, K, L).
    void acnGoToExecute();
    void acnPrevKeyFrameExecute();
    void acnNextKeyFrameExecute();
    void acnMinuteBackExecute();
    void acnMinuteOnExecute();
    void acnPlayBackwardExecute();
    void acnPauseExecute();
    void acnPlayForwardExecute();
    void acnPrevEdgeExecute();
    void acnNextEdgeExecute();
    // Goes exactly to the frame that a typed time or frame number names (frameField: a frame
    // number only). Text that names none, or a place past the end, is answered with a warning
    // saying what is accepted, and nothing moves.
    // The warning's owner is the window unless another is given.
    bool GoToTyped(const QString& text, bool frameField, QWidget* owner = nullptr);
    bool ReversePlaying() const;
    TPositionBox* FPositionBox = nullptr;
    QAction* acnGoTo = nullptr;
    QAction* acnPrevKeyFrame = nullptr;
    QAction* acnNextKeyFrame = nullptr;
    QAction* acnMinuteBack = nullptr;
    QAction* acnMinuteOn = nullptr;
    QAction* acnPlayBackward = nullptr;
    QAction* acnPause = nullptr;
    QAction* acnPlayForward = nullptr;
    QAction* acnPrevEdge = nullptr;
    QAction* acnNextEdge = nullptr;

    // Black frames, silence and scene changes: found in the background once per file (and kept
    // in the cache), stepped to from the Position menu, drawn on the timeline.
    void acnNextBlackExecute();
    void acnPrevBlackExecute();
    void acnNextSilenceExecute();
    void acnPrevSilenceExecute();
    void acnNextSceneExecute();
    void acnPrevSceneExecute();
    // What was found in the open file so far; null until then.
    const media::TDetection* Detection() const;
    // "Find Ad Breaks...": the programme between the breaks found becomes the open file's
    // segments, in one step to undo.
    void miFindAdBreaksClick();
    void FindAdBreaks(const TFindBreaksChoice& choice);
    // The folder of the overviews and the spots found.
    static QString CacheFolder();
    TBackgroundWork* FSpotWork = nullptr;
    QAction* acnNextBlack = nullptr;
    QAction* acnPrevBlack = nullptr;
    QAction* acnNextSilence = nullptr;
    QAction* acnPrevSilence = nullptr;
    QAction* acnNextScene = nullptr;
    QAction* acnPrevScene = nullptr;
    QAction* miFindAdBreaks = nullptr;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    QToolButton* AddButton(QAction* action);
    void CreateStatusBar();
    void AssignShortcuts();
    QAction* NewAction(const QString& caption, const QString& hint, int image,
                       void (TfrmMain::*handler)());
    void TrackLineChange();
    void ShowKeyFrameBeforeStart();
    void ViewerPosition(int64_t position);
    void ViewerPlayStateChange(bool playing);
    bool SelectionIsEmpty() const;
    // The selection as the save dialog has it, and the segment list as chosen, as jobs.
    TJobOrder SelectionJob();
    TJobOrder SegmentsJob(const TSegmentsSaveChoice& choice) const;
    // Copies of the readers open on the job's sources, for the job to run on.
    TJobReaders JobReaders(const TJobOrder& order);
    void ShowSavedTo(const TJobOrder& order);
    // Runs a job on a worker thread under the progress dialog (FProgress while it runs); its
    // warnings and a failure are shown once the dialog is gone.
    // ask: overwrite questions are still to be asked (the save dialog asks its own).
    void RunSpecWithProgress(const QString& title, const QString& text, const TJobOrder& order,
                             bool ask);
    // True when the job ran to its end.
    bool RunWithProgress(const QString& title, const QString& text, TJobThread::TJob job);
    // Opens the file in the viewer; a missing or damaged index is rebuilt when the user agrees.
    void OpenAskingRebuild(const std::string& fileName,
                           const std::function<void()>& beforeQuestion);
    bool IndexWasRebuilt() const;
    void ShowRebuildReport();
    void CreateSegmentList();
    void CreateSegmentEdits();
    void CreateKeptRanges();
    void CreateRecentFiles();
    void AddRecentFile(const QString& fileName);
    void UpdateRecentFiles();
    // The kept ranges of the open file as times, in time order.
    std::vector<std::pair<int64_t, int64_t>> KeptTimes() const;
    void FollowPlayedSegments(int64_t position);
    // Asks whether overlapping segments are to be saved as they are.
    bool ConfirmOverlaps();
    // Records a change of the list or the marks made by change, as one step to undo.
    void Edit(const QString& text, const std::function<void()>& change);
    void SegmentsChanged();
    void ActivateSegment(int row);
    // A new file starts an empty list and history, and offers the list found beside it.
    void ResetSegments();
    void OfferSegmentList();
    void CheckListedSource(TCutListEntry& entry, const std::filesystem::path& folder);
    // A list of another program as loaded, for its offset to be changed.
    struct TLoadedList {
        std::string Path;
        TForeignList List;
        int64_t Offset = 0;
        std::vector<TCutListEntry> Segments; // what it gave at that offset
    };
    // Reads another program's list; raises for refused lines, false when the user declines a
    // cutlist.at list made for another file.
    bool ReadForeignFile(const std::string& text, const std::string& path, TLoadedList& loaded);
    // The segments of the open file the list keeps; cutAtEnd: ranges cut at the end.
    std::vector<TCutListEntry> ForeignEntries(const TLoadedList& loaded, int& cutAtEnd);
    void ShowCutAtEnd(int cut);
    // The kept segments as a list of another program; raises when they cannot be one.
    std::string ForeignListText(TListFormat format);
    // The reader of a listed file: the viewer's for the open file, else opened once and kept.
    TAVIFileReader& SegmentReader(const std::string& source);
    TCutListEntry WholeFileEntry(const std::string& source);
    void CreateQueue();
    // QueueRefusal of the selection as the save dialog has it now.
    std::string SelectionRefusal();
    void QueueChanged();
    // Asks before closing while jobs wait or run; yes stops the running job (its output
    // completed) and keeps the waiting ones for the next start.
    bool ConfirmCloseWithJobs();
    void CreateNavigation();
    void CreateDetection();
    void UpdateSpots();
    void ShowSpots();
    // Finds the spots with options in the background, then runs then.
    void StartDetection(const media::TDetectOptions& options, std::function<void()> then);
    void GoToSpot(media::TSpotKind kind, bool after);
    void FindAdBreaksWithComskip();
    // parts: first and last frames of the programme.
    void KeepProgramme(const std::vector<std::pair<int64_t, int64_t>>& parts, int breaks);
    void CreateTimeline();
    // The timeline set up for the open file (or none): its view, its overview, the active range.
    void UpdateTimeline();
    void CloseOverview();
    void UpdateActiveRange();
    void SegmentEdgeDragged(bool end, int64_t pos);
    void CreatePositionBox(QBoxLayout& layout);
    void AssignNavigationShortcuts();
    void UpdateNavigationStates();
    void UpdatePositionBox();
    QString PictureKind(int64_t frame) const;
    int64_t FrameCount() const;
    void GoToFrame(int64_t frame);

    TfrmVideoSave* FVideoSave = nullptr;
    TfrmFrameSave* FFrameSave = nullptr;
    QString FLastOpenFolder;
    std::vector<TCutListEntry> FSegments;
    std::vector<TCutListEntry> FSavedSegments; // as last saved or loaded
    std::optional<TLoadedList> FLoadedList;    // the last list of another program loaded
    bool FCutOut = false;
    bool FSavedCutOut = false; // the saved list holds the rest of the file
    std::vector<std::pair<int64_t, int64_t>> FPlayedSegments; // while Play Segments plays
    size_t FPlayedSegment = 0;
    std::map<std::string, std::unique_ptr<TAVIFileReader>> FAppended;
    std::unique_ptr<TJobQueue> FQueue;
    QTimer* FQueueTimer = nullptr;
    TJobHandOverServer* FHandOver = nullptr;
    TfrmJobs* FJobs = nullptr; // made when first asked for
    bool FKeepsQueue = false;  // this window's queue is the one in the settings folder
    int FPlayImage;
    bool FDestroying = false;
    TReversePlay* FReverse = nullptr;
    std::unique_ptr<media::TOverviewSource> FOverview;
    std::string FOverviewFile; // the file FOverview pictures
    std::unique_ptr<media::TDetection> FDetection;
    std::string FDetectionFile; // the file FDetection and the running search belong to
    std::unique_ptr<TFindBreaksChoice> FBreaksChoice;      // as last chosen
    std::unique_ptr<media::TDetectOptions> FDetectingWith; // while a search runs
    std::function<void()> FAfterDetection;                 // what waits for it
    std::vector<std::pair<QAction*, int>> FIconActions;    // actions and their toolbar images
};

} // namespace zarvex
