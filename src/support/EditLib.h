// A one-line edit for a whole number within a range: only digits from the keyboard, Up and Down
// (and two small arrow buttons at its right edge) step the number, and Value always reads
// clamped to the range whatever the text holds.
#pragma once

#include <QLineEdit>

#include <cstdint>
#include <functional>
#include <limits>

class QInputMethodEvent;
class QKeyEvent;
class QResizeEvent;
class QToolButton;

namespace zarvex {

class TNaturalEdit : public QLineEdit {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TNaturalEdit& sender)>;

    explicit TNaturalEdit(QWidget* parent = nullptr);

    int32_t MinValue() const { return FMinValue; }
    // Raises the text to the new minimum when the number it holds is below it.
    void SetMinValue(int32_t value);
    int32_t MaxValue() const { return FMaxValue; }
    // Lowers the text to the new maximum when the number it holds is above it.
    void SetMaxValue(int32_t value);

    // The text as a number (0 when it is none), clamped to MinValue..MaxValue.
    int32_t Value() const;
    // Replaces the text, unclamped.
    void SetValue(int32_t value);

    // Each tells whether the value changed.
    bool StepUp();
    bool StepDown();

    // Fired on every change of the text, typed or written.
    TNotifyEvent OnChange;

    // The arrows standing in for a small vertical scroll bar.
    QToolButton* sbnUp;
    QToolButton* sbnDown;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // One click on an arrow, as a line up or down of a scroll bar.
    void VScroll(bool lineUp);
    // The number the text holds, 0 when it holds none; saturated far beyond the i32 range.
    int64_t TextNumber() const;
    void PlaceArrows();

    int32_t FMinValue = 0;
    int32_t FMaxValue = std::numeric_limits<int32_t>::max();
};

} // namespace zarvex
