// The Jobs window: the queue's jobs with their state, progress, output and message, and the
// buttons that cancel, remove and reorder them. Not modal: the main window goes on meanwhile.
#pragma once

#include <QWidget>

#include <cstdint>

class QPushButton;
class QTimer;
class QTreeWidget;

namespace zarvex {

class TJobQueue;

class TfrmJobs : public QWidget {
    Q_OBJECT
public:
    // The queue outlives the window (the main window owns both).
    explicit TfrmJobs(TJobQueue& queue, QWidget* parent = nullptr);

    // Shows the queue's list as it is now, keeping the selected job selected.
    void Refresh();
    // The selected job's id, 0 when none.
    int64_t SelectedId() const;
    void Select(int64_t id);

    QTreeWidget* lvJobs;
    QPushButton* btnCancel;
    QPushButton* btnRemove;
    QPushButton* btnMoveUp;
    QPushButton* btnMoveDown;
    QPushButton* btnClose;

private:
    void UpdateButtons();
    void RefreshProgress();

    TJobQueue& FQueue;
    QTimer* FTimer;
};

} // namespace zarvex
