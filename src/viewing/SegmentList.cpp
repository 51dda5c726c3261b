#include "viewing/SegmentList.h"

#include "splitting/CutListEdit.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QStringList>
#include <QStyle>
#include <QTreeWidget>

#include <cmath>

#include <numeric>
#include <set>

namespace zarvex {

namespace {

enum TColumn { colStart, colEnd, colLength, colFrames, colFile };
constexpr int IndexRole = Qt::UserRole;

// Tells the list once a dragged row has landed; the widget moves the row itself first.
class TSegmentRows : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;
    std::function<void()> OnDropped;

protected:
    void dropEvent(QDropEvent* event) override {
        QTreeWidget::dropEvent(event);
        if (OnDropped)
            OnDropped();
    }
};

} // namespace

TSegmentList::TSegmentList(QWidget* parent) : QDockWidget("Segments", parent) {
    setObjectName("SegmentList");
    auto* rows = new TSegmentRows(this);
    rows->OnDropped = [this] { RowsDropped(); };
    tvSegments = rows;
    tvSegments->setObjectName("tvSegments");
    tvSegments->setHeaderLabels({"Start", "End", "Length", "Frames", "File"});
    tvSegments->setRootIsDecorated(false);
    tvSegments->setUniformRowHeights(true);
    tvSegments->setDragDropMode(QAbstractItemView::InternalMove);
    tvSegments->setDefaultDropAction(Qt::MoveAction);
    tvSegments->header()->setStretchLastSection(true);
    tvSegments->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Three times of an hour and more and the frames side by side, without a scroll bar.
    const QFontMetrics metrics = tvSegments->fontMetrics();
    tvSegments->setMinimumWidth(3 * metrics.horizontalAdvance("0:00:00.000  ") +
                                metrics.horizontalAdvance("000000-000000  ") +
                                4 * tvSegments->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    tvSegments->installEventFilter(this);
    connect(tvSegments, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        if (OnActivate)
            OnActivate(tvSegments->indexOfTopLevelItem(item));
    });
    connect(tvSegments, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (OnActivate)
            OnActivate(tvSegments->indexOfTopLevelItem(item));
    });
    // Only the times are typed, so the list opens the editor itself.
    tvSegments->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(tvSegments, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int column) {
                if (column == colStart || column == colEnd)
                    tvSegments->editItem(item, column);
            });
    connect(tvSegments, &QTreeWidget::itemChanged, this, &TSegmentList::TimeTyped);
    setWidget(tvSegments);
}

QString TSegmentList::FormatTime(double seconds) {
    const auto ms = int64_t(std::llround(std::max(0.0, seconds) * 1000));
    return QString::asprintf("%lld:%02lld:%02lld.%03lld", (long long)(ms / 3600000),
                             (long long)(ms / 60000 % 60), (long long)(ms / 1000 % 60),
                             (long long)(ms % 1000));
}

double TSegmentList::ParseTime(const QString& text) {
    const QStringList fields = text.trimmed().split(':');
    if (fields.size() > 3)
        return -1;
    double seconds = 0;
    for (int i = 0; i < fields.size(); ++i) {
        bool ok = false;
        const bool last = i == fields.size() - 1;
        const double value = last ? fields[i].toDouble(&ok) : fields[i].toUInt(&ok);
        if (!ok || value < 0 || (i > 0 && value >= 60))
            return -1;
        seconds = seconds * 60 + value;
    }
    return seconds;
}

void TSegmentList::TimeTyped(QTreeWidgetItem* item, int column) {
    if (column != colStart && column != colEnd)
        return;
    const int row = tvSegments->indexOfTopLevelItem(item);
    const double seconds = ParseTime(item->text(column));
    // The owner shows the list again, which must not happen inside the editor's commit; a
    // text that is no time is passed on as a negative one, to be refused and shown again.
    QMetaObject::invokeMethod(
        this,
        [this, row, column, seconds] {
            if (OnEditTime)
                OnEditTime(row, column == colEnd, seconds);
        },
        Qt::QueuedConnection);
}

void TSegmentList::Show(const std::vector<TCutListEntry>& entries) {
    const int current = CurrentRow();
    const QSignalBlocker quiet(tvSegments); // filling the rows is no typing
    tvSegments->clear();
    const std::vector<bool> overlapping = OverlappingEntries(entries);
    std::set<std::string> files;
    for (size_t i = 0; i < entries.size(); ++i) {
        const TCutListEntry& e = entries[i];
        files.insert(e.Source);
        auto* item = new QTreeWidgetItem(tvSegments);
        item->setText(colStart, FormatTime(e.Start));
        item->setText(colEnd, FormatTime(e.End));
        item->setText(colLength, FormatTime(e.End - e.Start));
        item->setText(colFrames, QString("%1-%2").arg(e.Frames.First).arg(e.Frames.Last));
        if (overlapping[i]) {
            item->setIcon(colStart, style()->standardIcon(QStyle::SP_MessageBoxWarning));
            for (int c = colStart; c <= colFrames; ++c)
                item->setToolTip(c, "This segment overlaps another one of the same file.");
        }
        item->setText(colFile, QFileInfo(QString::fromStdString(e.Source)).fileName());
        item->setToolTip(colFile, QString::fromStdString(e.Source));
        item->setData(colStart, IndexRole, int(i));
        // Rows are moved, never dropped onto each other.
        item->setFlags((item->flags() | Qt::ItemIsEditable) & ~Qt::ItemIsDropEnabled);
    }
    tvSegments->setColumnHidden(colFile, files.size() < 2);
    SetCurrentRow(std::min(current, int(entries.size()) - 1));
}

int TSegmentList::CurrentRow() const {
    return tvSegments->indexOfTopLevelItem(tvSegments->currentItem());
}

void TSegmentList::SetCurrentRow(int row) {
    if (row >= 0 && row < tvSegments->topLevelItemCount())
        tvSegments->setCurrentItem(tvSegments->topLevelItem(row));
}

std::vector<int> TSegmentList::MovedOrder(int count, int row, int to) {
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    order.erase(order.begin() + row);
    order.insert(order.begin() + to, row);
    return order;
}

bool TSegmentList::eventFilter(QObject* watched, QEvent* event) {
    if (watched != tvSegments || event->type() != QEvent::KeyPress)
        return QDockWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const int row = CurrentRow(), count = tvSegments->topLevelItemCount();
    if (row < 0)
        return false;
    if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
        if (OnRemove)
            OnRemove(row);
        return true;
    }
    if (key->modifiers() == Qt::AltModifier &&
        (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
        const int to = row + (key->key() == Qt::Key_Up ? -1 : 1);
        if (to >= 0 && to < count && OnReorder) {
            OnReorder(MovedOrder(count, row, to));
            SetCurrentRow(to);
        }
        return true;
    }
    return false;
}

void TSegmentList::RowsDropped() {
    std::vector<int> order;
    for (int i = 0; i < tvSegments->topLevelItemCount(); ++i)
        order.push_back(tvSegments->topLevelItem(i)->data(colStart, IndexRole).toInt());
    // The owner shows the list again, which must not happen inside the drop.
    QMetaObject::invokeMethod(
        this,
        [this, order] {
            if (OnReorder)
                OnReorder(order);
        },
        Qt::QueuedConnection);
}

} // namespace zarvex
