#include "support/JobRunner.h"

#include "support/MessageDlg.h"
#include "support/ProgressDlg.h"

#include <QEventLoop>
#include <QTimer>

namespace zarvex {

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
        thread = std::make_unique<TJobThread>(std::move(job));
        TJobControl& control = thread->Control();
        QEventLoop loop;
        QTimer timer;
        std::string shownText;
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            progress.SetPosition(control.Progress());
            if (const std::string text = control.Text(); !text.empty() && text != shownText) {
                shownText = text;
                progress.SetText(QString::fromStdString(text));
            }
            if (progress.Cancelled())
                control.Cancel();
            if (const auto question = thread->PendingQuestion()) {
                timer.stop();
                const bool yes = MessageDlg(&progress, QString::fromStdString(*question),
                                            TMsgDlgType::mtConfirmation,
                                            QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
                thread->Reply(yes);
                timer.start();
            }
            if (thread->Finished())
                loop.quit();
        });
        timer.start(JobPollMs);
        loop.exec();
        cancelled = control.Cancelled();
    }
    thread->Rethrow();
    return cancelled;
}

} // namespace zarvex
