#include "support/JobRunner.h"

#include "support/MessageDlg.h"
#include "support/ProgressDlg.h"

#include <QEventLoop>
#include <QTimer>

namespace zarvex {

namespace {

// Asked over the progress dialog, the one window in front while the others are disabled.
TJobControl::TAnswer Answer(QWidget* owner, const std::string& question, int buttons) {
    QMessageBox::StandardButtons offered;
    if (buttons & TJobControl::AnswerYes)
        offered |= QMessageBox::Yes;
    if (buttons & TJobControl::AnswerNo)
        offered |= QMessageBox::No;
    if (buttons & TJobControl::AnswerCancel)
        offered |= QMessageBox::Cancel;
    switch (
        MessageDlg(owner, QString::fromStdString(question), TMsgDlgType::mtConfirmation, offered)) {
    case QMessageBox::Yes:
        return TJobControl::AnswerYes;
    case QMessageBox::No:
        return TJobControl::AnswerNo;
    default:
        return buttons & TJobControl::AnswerCancel ? TJobControl::AnswerCancel
                                                   : TJobControl::AnswerNo;
    }
}

} // namespace

bool RunJob(QWidget* owner, const TJobDialog& dialog, TJobThread::TJob job) {
    bool cancelled = false;
    std::unique_ptr<TJobThread> thread;
    {
        TfrmProgress progress(owner);
        progress.SetTitle(dialog.Title);
        progress.SetText(dialog.Text);
        progress.show();
        if (dialog.OnShown)
            dialog.OnShown(progress);
        QEventLoop loop;
        QTimer timer;
        std::string shownText;
        const auto poll = [&] {
            TJobControl& control = thread->Control();
            progress.SetPosition(control.Progress());
            if (const std::string text = control.Text(); !text.empty() && text != shownText) {
                shownText = text;
                progress.SetText(QString::fromStdString(text));
            }
            if (progress.Cancelled())
                control.Cancel();
            int buttons = 0;
            if (const auto question = thread->PendingQuestion(&buttons)) {
                timer.stop();
                thread->Reply(Answer(&progress, *question, buttons));
                timer.start();
            }
            if (thread->Finished())
                loop.quit();
        };
        QObject::connect(&timer, &QTimer::timeout, &loop, poll);
        // The job starts once the loop runs, after what was queued before it (a Cancel, say).
        QTimer::singleShot(0, &loop, [&] {
            thread = std::make_unique<TJobThread>(std::move(job), progress.Cancelled());
            poll();
            timer.start(JobPollMs);
        });
        loop.exec();
        cancelled = thread->Control().Cancelled();
    }
    thread->Rethrow();
    return cancelled;
}

} // namespace zarvex
