// The position box beside the timeline: the time of the picture on screen to the millisecond,
// its frame number, the length of the video and the kind of the picture. Typing a time or a
// frame number and pressing Enter asks the owner to go there.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;

namespace zarvex {

class TPositionBox : public QWidget {
    Q_OBJECT
public:
    explicit TPositionBox(QWidget* parent = nullptr);

    struct TShown {
        QString Time;      // "0:01:23.480"
        QString Frame;     // "2087"
        QString Total;     // the length, as Time
        QString Kind;      // "key frame", "P frame" ...
        QString TotalHint; // tool tip of the length
    };
    // A field being typed in keeps its text until Enter takes it; Escape or leaving the field
    // brings the shown one back.
    void Show(const TShown& shown);
    void Clear();

    // Enter in a field: its text, and whether it is the frame field. True when the owner went
    // there; the field then shows the new position and gives up the focus.
    std::function<bool(const QString& text, bool frameField)> OnGo;

    QLineEdit* edtTime;
    QLineEdit* edtFrame;
    QLabel* lblTotal;
    QLabel* lblKind;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Go(QLineEdit* field);
    void Restore(QLineEdit* field);

    TShown Shown;
};

} // namespace zarvex
