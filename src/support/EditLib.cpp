#include "support/EditLib.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <iterator>

namespace zarvex {

namespace {

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool IsControl(QChar c) {
    return c.category() == QChar::Other_Control;
}

// Keys that arrive as characters other than a digit are dropped. Keys that are no characters
// go on to the edit as usual: arrows, Home and End without text, and Backspace and Delete,
// which X11 sends with the control characters BS and DEL as their text.
bool IsDroppedCharacter(const QKeyEvent& event) {
    const int key = event.key();
    const bool control = event.modifiers() & Qt::ControlModifier;
    if (key == Qt::Key_Backspace)
        return control; // Ctrl+Backspace is the DEL character
    // Ctrl+letter are control characters: this is what keeps Ctrl+C, Ctrl+V and Ctrl+X out.
    if (control && key >= Qt::Key_A && key <= Qt::Key_Z)
        return true;
    // Control characters are keys, not characters: among them Return and Escape, which must
    // reach the dialog's default and cancel buttons.
    const QString text = event.text();
    if (std::all_of(text.begin(), text.end(), IsControl))
        return false;
    return !std::all_of(text.begin(), text.end(), IsDigit);
}

} // namespace

TNaturalEdit::TNaturalEdit(QWidget* parent) : QLineEdit("0", parent) {
    resize(width(), 20);
    setInputMethodHints(Qt::ImhDigitsOnly);
    // Dropped text would bypass the digit filter; the program takes file drops elsewhere.
    setAcceptDrops(false);

    sbnUp = new QToolButton(this);
    sbnUp->setArrowType(Qt::UpArrow);
    sbnDown = new QToolButton(this);
    sbnDown->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {sbnUp, sbnDown}) {
        // Holding an arrow repeats like a scroll bar; the caret stays in the edit.
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::ArrowCursor);
        button->setAutoRaise(true);
    }
    connect(sbnUp, &QToolButton::clicked, this, [this] { VScroll(true); });
    connect(sbnDown, &QToolButton::clicked, this, [this] { VScroll(false); });
    PlaceArrows();

    connect(this, &QLineEdit::textChanged, this, [this] {
        if (OnChange)
            OnChange(*this);
    });
}

void TNaturalEdit::SetMinValue(int32_t value) {
    FMinValue = value;
    if (TextNumber() < value)
        SetValue(value);
}

void TNaturalEdit::SetMaxValue(int32_t value) {
    FMaxValue = value;
    if (TextNumber() > value)
        SetValue(value);
}

int32_t TNaturalEdit::Value() const {
    int64_t n = TextNumber();
    if (n < FMinValue)
        n = FMinValue;
    if (n > FMaxValue)
        n = FMaxValue;
    return static_cast<int32_t>(n);
}

void TNaturalEdit::SetValue(int32_t value) {
    setText(QString::number(value));
}

bool TNaturalEdit::StepUp() {
    const int32_t value = Value();
    if (value >= FMaxValue)
        return false;
    SetValue(value + 1);
    return true;
}

bool TNaturalEdit::StepDown() {
    const int32_t value = Value();
    if (value <= FMinValue)
        return false;
    SetValue(value - 1);
    return true;
}

void TNaturalEdit::keyPressEvent(QKeyEvent* event) {
    const int caret = cursorPosition();
    bool consumed = false;
    if (event->key() == Qt::Key_Up)
        consumed = StepUp();
    else if (event->key() == Qt::Key_Down)
        consumed = StepDown();
    // Writing the text moves the caret to its end.
    if (cursorPosition() != caret)
        setCursorPosition(caret);
    if (consumed) {
        event->accept();
        return;
    }
    if (IsDroppedCharacter(*event)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TNaturalEdit::inputMethodEvent(QInputMethodEvent* event) {
    const QString commit = event->commitString();
    if (std::all_of(commit.begin(), commit.end(), IsDigit)) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    // Composed input would bypass the key filter; keep only its digits.
    QString digits;
    std::copy_if(commit.begin(), commit.end(), std::back_inserter(digits), IsDigit);
    QInputMethodEvent filtered(event->preeditString(), event->attributes());
    filtered.setCommitString(digits, event->replacementStart(), event->replacementLength());
    QLineEdit::inputMethodEvent(&filtered);
    event->setAccepted(filtered.isAccepted());
}

void TNaturalEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    PlaceArrows();
}

void TNaturalEdit::VScroll(bool lineUp) {
    const int caret = cursorPosition();
    if (lineUp)
        StepUp();
    else
        StepDown();
    if (cursorPosition() != caret)
        setCursorPosition(caret);
}

int64_t TNaturalEdit::TextNumber() const {
    // Far beyond i32 so that clamping still gives the right end of the range.
    constexpr int64_t limit = int64_t(1) << 40;
    const QString s = text().trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    if (i == s.size())
        return 0;
    int64_t n = 0;
    for (; i < s.size(); ++i) {
        if (!IsDigit(s[i]))
            return 0;
        n = std::min(limit, n * 10 + (s[i].unicode() - u'0'));
    }
    return negative ? -n : n;
}

void TNaturalEdit::PlaceArrows() {
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int w = std::min(style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this), 16);
    const int h = std::max(1, height() - 2 * frame);
    const int x = width() - frame - w;
    sbnUp->setGeometry(x, frame, w, h / 2);
    sbnDown->setGeometry(x, frame + h / 2, w, h - h / 2);
    setTextMargins(0, 0, w, 0);
}

} // namespace zarvex
