// A long job of the window's own (finding black frames and silence, running comskip) on a worker
// thread while the window goes on: its text, progress and a Cancel button sit in the status bar,
// polled on a timer, and its end is handed back on the window's thread.
#pragma once

#include "support/JobThread.h"

#include <QWidget>

#include <exception>
#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QStatusBar;
class QTimer;
class QToolButton;

namespace zarvex {

class TBackgroundWork : public QWidget {
public:
    // error is null when the job ran to its end; cancelled when the user stopped it.
    using TDone = std::function<void(std::exception_ptr error, bool cancelled)>;

    // Sits in the bar's permanent area, hidden while no job runs.
    explicit TBackgroundWork(QStatusBar& bar);
    ~TBackgroundWork() override;

    // Starts job; one still running is stopped first, without its done.
    void Start(const QString& text, TJobThread::TJob job, TDone done);
    // Stops a running job and waits for it; its done is not called.
    void Stop();
    bool Running() const { return FThread != nullptr; }
    // The Cancel button's work: the job stops soon and its done says cancelled.
    void Cancel();
    double Progress() const;

    QLabel* lblText;
    QProgressBar* pbrProgress;
    QToolButton* btnCancel;

private:
    void Poll();

    QTimer* FTimer;
    std::unique_ptr<TJobThread> FThread;
    TDone FDone;
};

} // namespace zarvex
