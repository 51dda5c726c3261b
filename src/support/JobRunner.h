// Runs a long job of the window on a worker thread under the progress dialog. The window's
// thread only shows: it polls the job's progress on a timer, hands it Cancel and answers its
// questions, so the window repaints and Cancel takes effect while the job works.
#pragma once

#include "support/JobThread.h"

#include <QString>

#include <functional>

class QWidget;

namespace zarvex {

class TfrmProgress;

struct TJobDialog {
    QString Title;
    QString Text;
    // Called on the window's thread when the dialog exists, before the job starts; tests
    // find the dialog through it.
    std::function<void(TfrmProgress&)> OnShown;
};

// Runs job modal to owner and returns once it has ended and the dialog is gone; true when it
// was cancelled. Throws what the job threw, after the dialog is gone.
bool RunJob(QWidget* owner, const TJobDialog& dialog, TJobThread::TJob job);

// The poll interval of the dialog's timer, in milliseconds.
constexpr int JobPollMs = 25;

} // namespace zarvex
