// The cut list beside the picture: one row per kept range with its start, end and length to the
// millisecond, its frames, and the file it comes from once several files are listed; ranges
// that overlap are marked. A double click on a start or an end lets the time be typed. The rows
// only show the list; every change goes through the owner, which keeps the list and its undo
// history.
#pragma once

#include "splitting/CutList.h"

#include <QDockWidget>
#include <QString>

#include <functional>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

namespace zarvex {

class TSegmentList : public QDockWidget {
    Q_OBJECT
public:
    explicit TSegmentList(QWidget* parent = nullptr);

    // A row was clicked or chosen with the keys.
    std::function<void(int row)> OnActivate;
    std::function<void(int row)> OnRemove;
    // The rows in their new order, as indexes of the list shown before.
    std::function<void(const std::vector<int>& order)> OnReorder;
    // A start (end false) or an end typed in a row, in seconds.
    std::function<void(int row, bool end, double seconds)> OnEditTime;

    // "h:mm:ss.mmm", and the seconds of such a text ("mm:ss.mmm" and "ss.mmm" too); a text
    // that is no time gives a negative number.
    static QString FormatTime(double seconds);
    static double ParseTime(const QString& text);

    // Shows the list; the file column only when it names more than one file.
    void Show(const std::vector<TCutListEntry>& entries);
    int CurrentRow() const;
    void SetCurrentRow(int row);
    QTreeWidget* Rows() const { return tvSegments; }

    static std::vector<int> MovedOrder(int count, int row, int to);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RowsDropped();
    void TimeTyped(QTreeWidgetItem* item, int column);

    QTreeWidget* tvSegments;
};

} // namespace zarvex
