// The main window's job queue: added from the save dialogs and the split window, polled on a
// timer, shown in the Jobs window and the status bar, and kept in the settings folder.
#include "viewing/MainForm.h"

#include "jobs/JobHandOver.h"
#include "jobs/JobsForm.h"
#include "support/MessageDlg.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>

#include <exception>
#include <filesystem>

namespace zarvex {

namespace {

constexpr int QueuePollMs = 100;

} // namespace

void TfrmMain::CreateQueue() {
    FQueue = std::make_unique<TJobQueue>(
        [](const TJobOrder& order, const TJobReaders& readers, TJobControl& control) {
            return RunJobOrder(order, control, readers, false);
        });
    miJobs = NewAction("Jobs...", "", 0, &TfrmMain::miJobsClick);
    miView->addSeparator();
    miView->addAction(miJobs);
    pnlJobs = new QLabel(statusBar());
    pnlJobs->setContentsMargins(5, 0, 5, 0);
    statusBar()->addPermanentWidget(pnlJobs);

    FHandOver = new TJobHandOverServer(this);
    FHandOver->OnJob = [this](const TJobOrder& order) -> std::string {
        try {
            FQueue->Add(order);
            return {};
        } catch (const std::exception& e) {
            return e.what();
        }
    };
    // A second main window has a queue of its own that it does not keep: two programs taking
    // up one kept queue would run its jobs twice.
    FKeepsQueue = FHandOver->Listening();
    if (FKeepsQueue)
        FQueue->LoadText(ReadQueueFile());
    FQueue->OnChanged = [this] { QueueChanged(); };
    QueueChanged();

    FQueueTimer = new QTimer(this);
    FQueueTimer->setInterval(QueuePollMs);
    connect(FQueueTimer, &QTimer::timeout, this, [this] { FQueue->Poll(); });
    FQueueTimer->start();
}

// Runs inside Poll too, so it shows nothing modal: a message box would poll the queue again
// from its own event loop.
void TfrmMain::QueueChanged() {
    if (FDestroying)
        return;
    if (FKeepsQueue) {
        try {
            WriteQueueFile(FQueue->SaveText());
        } catch (const std::exception&) {
            // The queue goes on; only the next start would miss the change.
        }
    }
    const int pending = FQueue->Waiting() + (FQueue->Running() ? 1 : 0);
    pnlJobs->setText(pending == 0   ? QString()
                     : pending == 1 ? QString("1 job waiting or running")
                                    : QString("%1 jobs waiting or running").arg(pending));
    if (FJobs)
        FJobs->Refresh();
}

void TfrmMain::miJobsClick() {
    if (!FJobs)
        FJobs = new TfrmJobs(*FQueue, this);
    FJobs->show();
    FJobs->raise();
    FJobs->activateWindow();
}

std::string TfrmMain::QueueRefusal(const TJobOrder& order) const {
    return FQueue->Refusal(order);
}

std::string TfrmMain::SelectionRefusal() {
    try {
        return FQueue->Refusal(SelectionJob());
    } catch (const std::exception&) {
        return {}; // the save itself says what is wrong with the choice
    }
}

bool TfrmMain::QueueJob(const TJobOrder& order, bool ask) {
    if (const std::string reason = FQueue->Refusal(order); !reason.empty()) {
        ShowWarning(QString::fromStdString(reason));
        return false;
    }
    if (ask)
        for (const std::string& output : JobOutputs(order)) {
            std::error_code ec;
            if (std::filesystem::exists(output, ec) &&
                !ConfirmYesCancel(this, QString("The \"%1\" file already exists. Overwrite?")
                                            .arg(QString::fromStdString(output))))
                return false;
        }
    try {
        FQueue->Add(order, JobReaders(order));
    } catch (const std::exception& e) {
        ShowWarning(QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

bool TfrmMain::ConfirmCloseWithJobs() {
    if ((FQueue->Waiting() > 0 || FQueue->Running()) &&
        !ConfirmYesCancel(this, "Jobs are waiting or running. Stop them and close?"))
        return false;
    FQueueTimer->stop();
    FQueue->CancelRunning();
    if (FJobs)
        FJobs->close(); // else the program would go on for it
    return true;
}

} // namespace zarvex
