#include "support/ProgressDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace zarvex {

namespace {

double SteadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Truncation toward zero that stays defined for any double.
int32_t TruncToInt32(double x) {
    if (std::isnan(x))
        return 0;
    if (x >= 2147483647.0)
        return std::numeric_limits<int32_t>::max();
    if (x <= -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(x);
}

QString RemainingTimeText(int64_t seconds) {
    if (seconds < 60)
        return QString::number(seconds) + " seconds remaining";
    if (seconds < 10800)
        return QString::number(seconds / 60) + " minutes remaining";
    return QString::number(seconds / 3600) + " hours remaining";
}

} // namespace

TfrmProgress::TfrmProgress(QWidget* owner, TClock clock)
    : QDialog(owner), FClock(clock ? std::move(clock) : TClock(SteadySeconds)) {
    // A dialog frame with a title but no close box and no system menu.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle("Processing...");
    setFixedSize(392, 148);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    lblText = new QLabel(Panel1);
    lblText->setWordWrap(true);
    ProgressBar = new QProgressBar(Panel1);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    lblTime = new QLabel(Panel1);

    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->addWidget(lblText);
    panelLayout->addWidget(ProgressBar);
    panelLayout->addWidget(lblTime);

    btnMinimize = new QPushButton("Minimize", this);
    btnMinimize->setVisible(false);
    btnCancel = new QPushButton("Cancel", this);
    // Not a tab stop, and Enter must not press it by accident.
    for (QPushButton* button : {btnMinimize, btnCancel}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoDefault(false);
    }
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(btnMinimize, &QPushButton::clicked, this, [this] { btnMinimizeClick(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnMinimize);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Panel1, 1);
    layout->addLayout(buttons);

    FormCreate();
}

TfrmProgress::~TfrmProgress() {
    // Freed while shown: no hide event reaches us any more, so give the windows back here.
    FormHide();
}

QString TfrmProgress::Title() const {
    return windowTitle();
}

void TfrmProgress::SetTitle(const QString& value) {
    setWindowTitle(value);
}

QString TfrmProgress::Text() const {
    return lblText->text();
}

void TfrmProgress::SetText(const QString& value) {
    lblText->setText(value);
}

void TfrmProgress::SetPosition(double value) {
    FPosition = value;
    const int32_t bar = TruncToInt32(value);
    // Touch the bar only when the whole percent changes.
    if (bar != FBarValue) {
        // QProgressBar ignores values out of range; hold them at the ends instead.
        ProgressBar->setValue(std::clamp(bar, ProgressBar->minimum(), ProgressBar->maximum()));
        FBarValue = bar;
    }
    if (FShowTime)
        UpdateEstimate();
}

void TfrmProgress::reject() {
    if (FormCloseQuery())
        QDialog::reject();
}

void TfrmProgress::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Spontaneous ones come from restoring a minimised window, not from Show.
    if (!event->spontaneous())
        FormShow();
}

void TfrmProgress::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // Minimising must not hand the other windows back while the job runs.
    if (!event->spontaneous())
        FormHide();
}

void TfrmProgress::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery())
        QDialog::closeEvent(event); // hides through reject()
    else
        event->ignore();
}

void TfrmProgress::FormCreate() {
    lblText->clear();
    lblTime->clear();
    FShowTime = true;
    FHaveRefTime = false;
}

void TfrmProgress::FormShow() {
    FCancel = false;
    FBarValue = 0;
    FPosition = 0;
    FHaveRefTime = false;
    FRefPercent = 0;

    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window == this || !window->isEnabled())
            continue;
        window->setEnabled(false);
        FDisabledWindows.emplace_back(window);
    }
    // Disabling the owner disables its owned windows too, this one included.
    if (!isEnabled())
        setEnabled(true);
}

void TfrmProgress::FormHide() {
    std::vector<QPointer<QWidget>> windows;
    windows.swap(FDisabledWindows);
    for (const QPointer<QWidget>& window : windows)
        if (window)
            window->setEnabled(true);
}

bool TfrmProgress::FormCloseQuery() {
    // The job sees the flag at its next Cancelled and frees the dialog.
    FCancel = true;
    return true;
}

void TfrmProgress::btnCancelClick() {
    FCancel = true;
}

void TfrmProgress::btnMinimizeClick() {}

void TfrmProgress::UpdateEstimate() {
    const double P = FPosition;
    const double now = FClock();
    if (!FHaveRefTime) {
        FRefTime = now;
        FHaveRefTime = true;
    }
    if (FRefPercent == 0)
        FRefPercent = P;

    const double elapsed = now - FRefTime;
    if (!(elapsed > 3) || FRefPercent == P)
        return;
    // The speed of the last window only, not of the whole job.
    const double estimate = std::nearbyint((100 - P) / ((P - FRefPercent) / elapsed));
    if (std::isnan(estimate))
        return;
    const int64_t seconds = estimate >= 9.2e18
                                ? std::numeric_limits<int64_t>::max()
                                : (estimate <= -9.2e18 ? std::numeric_limits<int64_t>::min()
                                                       : static_cast<int64_t>(estimate));
    if (seconds < 0) {
        // Past 100 %: an estimate that makes no sense is never shown again.
        FShowTime = false;
        lblTime->setVisible(false);
    }
    lblTime->setText(RemainingTimeText(seconds));
    FRefTime = now;
    FRefPercent = P;
}

} // namespace zarvex
