// The window shown while a long job runs: a title, a line of text, a bar, an estimate of the
// remaining time and Cancel. The job runs on a worker thread (see RunJob); the window's thread
// hands the dialog each new percentage and asks Cancelled on a timer.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QCloseEvent;
class QFrame;
class QHideEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QShowEvent;

namespace zarvex {

class TfrmProgress : public QDialog {
    Q_OBJECT

public:
    // Seconds on any steady scale; tests hand in a clock of their own.
    using TClock = std::function<double()>;

    // owner is the application's main window; an empty clock means the steady system clock.
    explicit TfrmProgress(QWidget* owner = nullptr, TClock clock = {});
    ~TfrmProgress() override;

    QString Title() const;
    void SetTitle(const QString& value);
    QString Text() const;
    void SetText(const QString& value);

    double Position() const { return FPosition; }
    // Percent, normally 0 to 100; moves the bar and updates the remaining-time estimate.
    void SetPosition(double value);

    // Whether Cancel was pressed (or the dialog was asked to close).
    bool Cancelled() const { return FCancel; }

    QFrame* Panel1;
    QLabel* lblText;
    QProgressBar* ProgressBar;
    QLabel* lblTime;
    QPushButton* btnCancel;
    QPushButton* btnMinimize;

public slots:
    // Escape lands here; it counts as a close attempt, so the job learns of it.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormHide();
    bool FormCloseQuery();
    void btnCancelClick();
    void btnMinimizeClick();
    void UpdateEstimate();

    TClock FClock;
    std::vector<QPointer<QWidget>> FDisabledWindows;
    bool FCancel = false;
    int32_t FBarValue = 0;
    double FPosition = 0;
    bool FShowTime = true;
    bool FHaveRefTime = false; // a clock may well start at 0, so 0 can't mean "not yet"
    double FRefTime = 0;
    double FRefPercent = 0; // 0 = not yet
};

} // namespace zarvex
