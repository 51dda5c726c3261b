#include "viewing/BackgroundWork.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include <cmath>

namespace zarvex {

namespace {

constexpr int PollMs = 100;

} // namespace

TBackgroundWork::TBackgroundWork(QStatusBar& bar)
    : QWidget(&bar), lblText(new QLabel(this)), pbrProgress(new QProgressBar(this)),
      btnCancel(new QToolButton(this)), FTimer(new QTimer(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(5, 0, 0, 0);
    layout->addWidget(lblText);
    layout->addWidget(pbrProgress);
    layout->addWidget(btnCancel);
    pbrProgress->setRange(0, 100);
    pbrProgress->setFixedWidth(120);
    btnCancel->setText("Cancel");
    btnCancel->setAutoRaise(true);
    connect(btnCancel, &QToolButton::clicked, this, &TBackgroundWork::Cancel);
    FTimer->setInterval(PollMs);
    connect(FTimer, &QTimer::timeout, this, &TBackgroundWork::Poll);
    bar.addPermanentWidget(this);
    hide();
}

TBackgroundWork::~TBackgroundWork() {
    Stop();
}

void TBackgroundWork::Start(const QString& text, TJobThread::TJob job, TDone done) {
    Stop();
    lblText->setText(text);
    pbrProgress->setValue(0);
    btnCancel->setEnabled(true);
    FDone = std::move(done);
    FThread = std::make_unique<TJobThread>(std::move(job));
    FTimer->start();
    show();
}

void TBackgroundWork::Stop() {
    FTimer->stop();
    FThread.reset(); // cancels and waits
    FDone = {};
    hide();
}

void TBackgroundWork::Cancel() {
    if (!FThread)
        return;
    FThread->Control().Cancel();
    btnCancel->setEnabled(false);
}

double TBackgroundWork::Progress() const {
    return FThread ? FThread->Control().Progress() : 0;
}

void TBackgroundWork::Poll() {
    if (!FThread)
        return;
    pbrProgress->setValue(int(std::lround(FThread->Control().Progress())));
    if (!FThread->Finished())
        return;
    FThread->Wait();
    const std::exception_ptr error = FThread->Error();
    const bool cancelled = FThread->Control().Cancelled();
    TDone done = std::move(FDone);
    Stop();
    if (done)
        done(error, cancelled);
}

} // namespace zarvex
