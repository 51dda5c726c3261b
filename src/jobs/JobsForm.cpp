#include "jobs/JobsForm.h"

#include "jobs/JobQueue.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>

namespace zarvex {

namespace {

enum TColumn { colJob, colState, colProgress, colOutput, colMessage };

QString StateText(TJobState state) {
    switch (state) {
    case TJobState::Waiting:
        return "Waiting";
    case TJobState::Running:
        return "Running";
    case TJobState::Finished:
        return "Finished";
    case TJobState::Failed:
        return "Failed";
    case TJobState::Cancelled:
        return "Cancelled";
    }
    return {};
}

QString ProgressText(const TQueueEntry& e) {
    if (e.State == TJobState::Waiting)
        return {};
    return QString::number(int(std::floor(e.Progress))) + " %";
}

// Several lines of warnings fit one row; the tool tip has them all.
QString OneLine(const std::string& text) {
    return QString::fromStdString(text).replace('\n', "; ");
}

const TQueueEntry* EntryOf(const TJobQueue& queue, int64_t id) {
    for (const TQueueEntry& e : queue.Entries())
        if (e.Id == id)
            return &e;
    return nullptr;
}

} // namespace

TfrmJobs::TfrmJobs(TJobQueue& queue, QWidget* parent) : QWidget(parent, Qt::Window), FQueue(queue) {
    setObjectName("frmJobs");
    setWindowTitle("Jobs");
    resize(760, 300);
    auto* layout = new QVBoxLayout(this);
    lvJobs = new QTreeWidget(this);
    lvJobs->setRootIsDecorated(false);
    lvJobs->setHeaderLabels({"Job", "State", "Progress", "Output", "Message"});
    lvJobs->setColumnWidth(colJob, 340);
    lvJobs->setColumnWidth(colState, 80);
    lvJobs->setColumnWidth(colProgress, 70);
    lvJobs->setColumnWidth(colOutput, 240);
    layout->addWidget(lvJobs, 1);

    auto* buttons = new QHBoxLayout;
    btnCancel = new QPushButton("Cancel Job", this);
    btnRemove = new QPushButton("Remove", this);
    btnMoveUp = new QPushButton("Move Up", this);
    btnMoveDown = new QPushButton("Move Down", this);
    btnClose = new QPushButton("Close", this);
    for (QPushButton* b : {btnCancel, btnRemove, btnMoveUp, btnMoveDown})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(btnClose);
    layout->addLayout(buttons);

    // Each change of the queue comes back through its OnChanged, which refreshes the list.
    const auto onSelected = [this](void (TJobQueue::*action)(int64_t)) {
        return [this, action] {
            if (const int64_t id = SelectedId())
                (FQueue.*action)(id);
            Refresh();
        };
    };
    connect(btnCancel, &QPushButton::clicked, this, onSelected(&TJobQueue::Cancel));
    connect(btnRemove, &QPushButton::clicked, this, onSelected(&TJobQueue::Remove));
    connect(btnMoveUp, &QPushButton::clicked, this, onSelected(&TJobQueue::MoveUp));
    connect(btnMoveDown, &QPushButton::clicked, this, onSelected(&TJobQueue::MoveDown));
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    connect(lvJobs, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });

    // The running job's progress is read, not announced.
    FTimer = new QTimer(this);
    FTimer->setInterval(250);
    connect(FTimer, &QTimer::timeout, this, [this] { RefreshProgress(); });
    FTimer->start();
    Refresh();
}

void TfrmJobs::Refresh() {
    const int64_t selected = SelectedId();
    lvJobs->clear();
    for (const TQueueEntry& e : FQueue.Entries()) {
        auto* item = new QTreeWidgetItem(lvJobs);
        item->setData(colJob, Qt::UserRole, qlonglong(e.Id));
        item->setText(colJob, QString::fromStdString(DescribeJob(e.Order)));
        item->setText(colState, StateText(e.State));
        item->setText(colProgress, ProgressText(e));
        item->setText(colOutput,
                      QString::fromStdString(e.Outcome.empty() ? e.Order.Output : e.Outcome));
        item->setText(colMessage, OneLine(e.Message));
        item->setToolTip(colMessage, QString::fromStdString(e.Message));
    }
    Select(selected);
    UpdateButtons();
}

void TfrmJobs::RefreshProgress() {
    if (!isVisible())
        return;
    for (int i = 0; i < lvJobs->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lvJobs->topLevelItem(i);
        if (const TQueueEntry* e = EntryOf(FQueue, item->data(colJob, Qt::UserRole).toLongLong()))
            item->setText(colProgress, ProgressText(*e));
    }
}

int64_t TfrmJobs::SelectedId() const {
    const QList<QTreeWidgetItem*> items = lvJobs->selectedItems();
    return items.isEmpty() ? 0 : items.front()->data(colJob, Qt::UserRole).toLongLong();
}

void TfrmJobs::Select(int64_t id) {
    for (int i = 0; i < lvJobs->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lvJobs->topLevelItem(i);
        if (item->data(colJob, Qt::UserRole).toLongLong() == id) {
            lvJobs->setCurrentItem(item);
            return;
        }
    }
}

void TfrmJobs::UpdateButtons() {
    const TQueueEntry* e = EntryOf(FQueue, SelectedId());
    const bool waiting = e && e->State == TJobState::Waiting;
    btnCancel->setEnabled(e && (waiting || e->State == TJobState::Running));
    btnRemove->setEnabled(e && e->State != TJobState::Running);
    btnMoveUp->setEnabled(waiting);
    btnMoveDown->setEnabled(waiting);
}

} // namespace zarvex
