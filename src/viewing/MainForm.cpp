// The main window's components: panels, actions, menus, toolbar and status bar, and its creation
// and destruction with the stored placement.
#include "viewing/MainForm.h"

#include "app/icons/ToolbarIcons.h"
#include "avi_input/AVIRead.h"
#include "jobs/JobsForm.h"
#include "support/ProdInfo.h"
#include "support/RegLib.h"
#include "viewing/BackgroundWork.h"
#include "viewing/FindBreaksForm.h"
#include "viewing/TimelineView.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"

#include <QAction>
#include <QActionEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace zarvex {

namespace {

// A toolbar button whose hint differs from its action's: an action change would otherwise copy
// the action's hint back onto the button.
class THintButton : public QToolButton {
public:
    THintButton(QWidget* parent, QString hint) : QToolButton(parent), Hint(std::move(hint)) {}

protected:
    void actionEvent(QActionEvent* event) override {
        QToolButton::actionEvent(event);
        if (!Hint.isEmpty())
            setToolTip(Hint);
    }

private:
    QString Hint;
};

const char* const FormName = "frmMain";

} // namespace

TfrmMain::TfrmMain(QWidget* parent, media::TAudioSinkFactory audioSinks)
    : QMainWindow(parent), FPlayImage(tiPlay) {
    setObjectName(FormName);
    setWindowTitle(QString::fromStdString(ProductInfo.ProductName));
    setWindowIcon(ProgramIcon());
    setMinimumSize(400, 300);
    resize(520, 428);
    setAcceptDrops(true);

    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    pnlDisplay = new QFrame(client);
    pnlDisplay->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlDisplay->setLineWidth(1);
    pnlDisplay->setAutoFillBackground(true);
    QPalette black = pnlDisplay->palette();
    black.setColor(QPalette::Window, Qt::black);
    pnlDisplay->setPalette(black);
    FTimeline = new TTimelineView(client);
    pnlTrackLine = FTimeline;
    layout->addWidget(pnlDisplay, 1);
    layout->addWidget(pnlTrackLine);
    setCentralWidget(client);

    CreateActions();
    CreateMenus();
    // The position box has a row of its own under the timeline, so that the timeline and the
    // toolbar keep their width.
    auto* positionRow = new QWidget(client);
    auto* positionLayout = new QHBoxLayout(positionRow);
    positionLayout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(positionRow);
    CreateToolBar();
    layout->addWidget(ToolBar);
    CreateStatusBar();
    CreateSegmentList();
    CreateQueue();
    CreateNavigation();
    CreateDetection();

    // The track line: painted whole each time (Qt widgets are double-buffered).
    FTrackLine = FTimeline->TrackLine();
    FTrackLine->MinPos = 0;
    FTrackLine->MaxPos = 500000;
    FTrackLine->setEnabled(false);
    FTrackLine->OnChange = [this](TTrackLine&) { TrackLineChange(); };
    FTrackLine->OnValidPos = [](TTrackLine&, TShiftState, int64_t&) {};
    CreateTimeline();

    FViewer = new TAVIViewer(pnlDisplay, std::move(audioSinks));
    auto* displayLayout = new QVBoxLayout(pnlDisplay);
    displayLayout->setContentsMargins(pnlDisplay->frameWidth(), pnlDisplay->frameWidth(),
                                      pnlDisplay->frameWidth(), pnlDisplay->frameWidth());
    displayLayout->addWidget(FViewer);
    FViewer->OnPosition = [this](TAVIViewer&, int64_t position) { ViewerPosition(position); };
    FViewer->OnPlayStateChange = [this](TAVIViewer&, bool playing) {
        ViewerPlayStateChange(playing);
    };
    FViewer->OnError = [this](TAVIViewer&, const std::string& message) {
        ShowWarning(QString::fromStdString(message));
    };
    CreatePositionBox(*positionLayout);
    positionLayout->addStretch(1);

    UpdateActionStates();
    UpdateStatusBar();
    // The design width fits the status bar's texts in a small font; the desktop's may need more.
    resize(std::max(width(), StatusBarWidthNeeded()), height());
    AssignShortcuts();
    // F1 reaches the same help as "Help Topics", from anywhere in the window.
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this,
            &TfrmMain::FormHelp);
    RestoreFormPlacement(*this, FormName, false);
    FLastOpenFolder = ReadRegString("LastOpenFolder");
}

TfrmMain::~TfrmMain() {
    FDestroying = true;
    delete FJobs; // it shows the queue
    FJobs = nullptr;
    FQueue.reset(); // stops a running job, its output completed; the kept queue stays
    FSpotWork->Stop();
    CloseOverview();
    delete FViewer; // closes the file before anything else goes
    FViewer = nullptr;
    SaveFormPlacement(*this, FormName);
    WriteRegString("LastOpenFolder", FLastOpenFolder);
}

QAction* TfrmMain::NewAction(const QString& caption, const QString& hint, int image,
                             void (TfrmMain::*handler)()) {
    auto* action = new QAction(caption, this);
    action->setToolTip(hint.isEmpty() ? caption : hint);
    if (image > 0) {
        action->setIcon(ToolbarIcon(image));
        FIconActions.emplace_back(action, image);
    }
    connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    // Shortcuts of actions without a menu item work through the window.
    addAction(action);
    return action;
}

// A desktop that changes its colours gets icons drawn for the new ones.
void TfrmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::PaletteChange && event->type() != QEvent::ApplicationPaletteChange)
        return;
    for (const auto& [action, image] : FIconActions)
        action->setIcon(ToolbarIcon(action == acnPlay ? FPlayImage : image));
}

void TfrmMain::CreateActions() {
    acnOpen = NewAction("Open", "Open Movie", tiOpen, &TfrmMain::acnOpenExecute);
    acnOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    acnSave =
        NewAction("Save Selection", "Save Selection", tiSaveSelection, &TfrmMain::acnSaveExecute);
    acnSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    acnPlay = NewAction("Play/Pause", "Play/Pause", tiPlay, &TfrmMain::acnPlayExecute);
    acnPlay->setEnabled(false);
    acnFirstFrame =
        NewAction("First Frame", "First Frame", tiFirstFrame, &TfrmMain::acnFirstFrameExecute);
    acnLastFrame =
        NewAction("Last Frame", "Last Frame", tiLastFrame, &TfrmMain::acnLastFrameExecute);
    acnPrevFast =
        NewAction("Fast Backward", "Fast Backward", tiFastBackward, &TfrmMain::acnPrevFastExecute);
    acnNextFast =
        NewAction("Fast Forward", "Fast Forward", tiFastForward, &TfrmMain::acnNextFastExecute);
    acnPrevFrame = NewAction("Previous Frame", "Previous Frame", tiPreviousFrame,
                             &TfrmMain::acnPrevFrameExecute);
    acnNextFrame =
        NewAction("Next Frame", "Next Frame", tiNextFrame, &TfrmMain::acnNextFrameExecute);
    acnStartSelection =
        NewAction("Selection Start", "", tiGotoSelectionStart, &TfrmMain::acnStartSelectionExecute);
    acnEndSelection =
        NewAction("Selection End", "", tiGotoSelectionEnd, &TfrmMain::acnEndSelectionExecute);
    acnSetStartSelection = NewAction("Select Start", "Select Start", tiSelectStart,
                                     &TfrmMain::acnSetStartSelectionExecute);
    acnSetEndSelection =
        NewAction("Select End", "Select End", tiSelectEnd, &TfrmMain::acnSetEndSelectionExecute);

    miClose = NewAction("Close", "", 0, &TfrmMain::miCloseClick);
    miSaveFrame = NewAction("Save Frame", "", 0, &TfrmMain::miSaveFrameClick);
    miSaveRepaired = NewAction("Save Repaired Copy...", "", 0, &TfrmMain::miSaveRepairedClick);
    Splitintoequalsizedparts1 =
        NewAction("Split into equal-sized parts", "", 0, &TfrmMain::Splitintoequalsizedparts1Click);
    miExit = NewAction("Exit", "", 0, &TfrmMain::miExitClick);
    miHelpTopics = NewAction("Help Topics", "", 0, &TfrmMain::miHelpTopicsClick);
    miSystemInfo = NewAction("System Info", "", 0, &TfrmMain::miSystemInfoClick);
    miAbout = NewAction("About", "", 0, &TfrmMain::miAboutClick);
}

void TfrmMain::CreateMenus() {
    QMenuBar* bar = menuBar();
    miFile = bar->addMenu("File");
    miFile->addActions({acnOpen, acnSave, miSaveRepaired, miClose});
    miFile->addSeparator();
    miFile->addAction(miSaveFrame);
    miFile->addSeparator();
    miFile->addAction(Splitintoequalsizedparts1);
    miFile->addSeparator();
    miFile->addAction(miExit);

    miEdit = bar->addMenu("Edit");
    miEdit->addActions({acnSetStartSelection, acnSetEndSelection});

    miPlay = bar->addMenu("Position");
    miPlay->addActions({acnFirstFrame, acnLastFrame});
    miPlay->addSeparator();
    miPlay->addActions({acnPrevFast, acnNextFast});
    miPlay->addSeparator();
    miPlay->addActions({acnPrevFrame, acnNextFrame});
    miPlay->addSeparator();
    miPlay->addActions({acnStartSelection, acnEndSelection});

    miHelp = bar->addMenu("Help");
    miHelp->addActions({miHelpTopics, miSystemInfo});
    miHelp->addSeparator();
    miHelp->addAction(miAbout);
}

QToolButton* TfrmMain::AddButton(QAction* action) {
    auto* button = new THintButton(ToolBar, action == acnOpen ? "Open File" : "");
    button->setDefaultAction(action);
    button->setAutoRaise(true); // flat
    button->setFixedSize(34, 30);
    button->setFocusPolicy(Qt::NoFocus);
    if (action == acnOpen)
        button->setToolTip("Open File");
    ToolBar->addWidget(button);
    return button;
}

void TfrmMain::CreateToolBar() {
    ToolBar = new QToolBar(centralWidget());
    ToolBar->setObjectName("ToolBar");
    ToolBar->setIconSize(QSize(24, 24));
    ToolBar->setMovable(false);
    ToolBar->setFloatable(false);
    tbnOpen = AddButton(acnOpen);
    ToolBar->addSeparator();
    tbnPlay = AddButton(acnPlay);
    tbnPrevFast = AddButton(acnPrevFast);
    tbnNextFast = AddButton(acnNextFast);
    tbnPrevFrame = AddButton(acnPrevFrame);
    tbnNextFrame = AddButton(acnNextFrame);
    ToolBar->addSeparator();
    ToolButton3 = AddButton(acnSetStartSelection);
    ToolButton4 = AddButton(acnSetEndSelection);
    ToolBar->addSeparator();
    tbnSave = AddButton(acnSave);
}

void TfrmMain::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    const int widths[3] = {150, 70, 50};
    for (int i = 0; i < 3; ++i) {
        StatusPanels[i] = new QLabel(bar);
        StatusPanels[i]->setContentsMargins(5, 0, 5, 0);
        StatusPanels[i]->setFixedWidth(widths[i]);
        bar->addWidget(StatusPanels[i]);
    }
}

void TfrmMain::AssignShortcuts() {
    acnPrevFrame->setShortcut(QKeySequence(Qt::Key_Left));
    acnNextFrame->setShortcut(QKeySequence(Qt::Key_Right));
    acnPrevFast->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));
    acnNextFast->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right));
    acnFirstFrame->setShortcut(QKeySequence(Qt::Key_Home));
    acnLastFrame->setShortcut(QKeySequence(Qt::Key_End));
    acnSetStartSelection->setShortcut(QKeySequence(Qt::Key_1));
    acnSetEndSelection->setShortcut(QKeySequence(Qt::Key_2));
    miSaveFrame->setShortcut(QKeySequence(Qt::Key_F));
    acnPlay->setShortcut(QKeySequence(Qt::Key_Space));
    AssignNavigationShortcuts();
}

} // namespace zarvex
