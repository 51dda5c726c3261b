// The natural-number edit: clamped reading, the digit filter, stepping and the caret.
#include "support/EditLib.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QToolButton>

#include <gtest/gtest.h>
#include <limits>
#include <string>

using zarvex::TNaturalEdit;

namespace {

// Sends one key press; true when the edit consumed it.
bool Press(TNaturalEdit& edit, int key, const QString& text = {},
           Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(&edit, &event);
    return event.isAccepted();
}

std::string Text(const TNaturalEdit& edit) {
    return edit.text().toStdString();
}

} // namespace

TEST(NaturalEditValue, ReadsClampedAndWritesUnclamped) {
    TNaturalEdit edit;
    edit.SetMinValue(1);
    edit.SetMaxValue(999);
    edit.setText("1000");
    EXPECT_EQ(edit.Value(), 999);
    EXPECT_EQ(Text(edit), "1000") << "reading leaves the text alone";

    for (const char* notANumber : {"", "abc", "12a", "-"}) {
        edit.setText(notANumber);
        EXPECT_EQ(edit.Value(), 1) << '"' << notANumber << '"';
    }
    edit.setText("-5");
    EXPECT_EQ(edit.Value(), 1);

    edit.SetValue(5000);
    EXPECT_EQ(Text(edit), "5000");
    EXPECT_EQ(edit.Value(), 999);

    // Too long for 32 bits is still a large number, not "no number".
    TNaturalEdit wide;
    wide.setText("99999999999");
    EXPECT_EQ(wide.Value(), std::numeric_limits<int32_t>::max());
}

TEST(NaturalEditValue, RangeChangesPullTheTextIn) {
    TNaturalEdit edit;
    edit.setText("3");
    edit.SetMinValue(10);
    EXPECT_EQ(Text(edit), "10");
    edit.SetMaxValue(50);
    EXPECT_EQ(Text(edit), "10") << "inside the new range: untouched";
    edit.SetMaxValue(7);
    EXPECT_EQ(Text(edit), "7");

    edit.setText("abc"); // holds 0
    edit.SetMinValue(1);
    EXPECT_EQ(Text(edit), "1");
}

TEST(NaturalEditValue, OnChangeFollowsTheText) {
    TNaturalEdit edit;
    int changes = 0;
    edit.OnChange = [&](TNaturalEdit& sender) {
        EXPECT_EQ(&sender, &edit);
        ++changes;
    };
    edit.SetValue(5);
    Press(edit, Qt::Key_1, "1");
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(edit.StepUp());
    EXPECT_EQ(changes, 3);
}

TEST(NaturalEditKeys, OnlyDigitsGetThroughAndEditingKeysWork) {
    TNaturalEdit edit;
    edit.clear();
    Press(edit, Qt::Key_1, "1");
    EXPECT_TRUE(Press(edit, Qt::Key_A, "a")) << "dropped silently, not passed on";
    Press(edit, Qt::Key_2, "2");
    EXPECT_EQ(Text(edit), "12");

    for (const auto& [key, text] : {std::pair{Qt::Key_Space, " "},
                                    {Qt::Key_Minus, "-"},
                                    {Qt::Key_Exclam, "!"},
                                    {Qt::Key_Period, "."}})
        Press(edit, key, text);
    EXPECT_EQ(Text(edit), "12");

    Press(edit, Qt::Key_Backspace, "\b");
    EXPECT_EQ(Text(edit), "1");

    // Keys that are no characters still work, also with the control characters X11 sends as
    // their text (BS for Backspace, DEL for Delete).
    edit.setText("12345");
    edit.setCursorPosition(0);
    Press(edit, Qt::Key_Delete, "\x7f");
    Press(edit, Qt::Key_Delete);
    Press(edit, Qt::Key_Right);
    Press(edit, Qt::Key_4, "4", Qt::KeypadModifier);
    EXPECT_EQ(Text(edit), "3445");
    edit.setCursorPosition(2);
    Press(edit, Qt::Key_Backspace, "\b");
    EXPECT_EQ(Text(edit), "345");
    Press(edit, Qt::Key_Backspace, "\x7f", Qt::ControlModifier); // Ctrl+Backspace: DEL
    EXPECT_EQ(Text(edit), "345");

    // Enter and Escape go on to the dialog's buttons.
    EXPECT_FALSE(Press(edit, Qt::Key_Return, "\r"));
    EXPECT_FALSE(Press(edit, Qt::Key_Escape, "\x1b"));
}

TEST(NaturalEditKeys, ClipboardShortcutsDoNothing) {
    TNaturalEdit edit;
    edit.setText("12");
    QApplication::clipboard()->setText("34");
    edit.selectAll();
    // With the control character as text, and without it as some platforms send them.
    for (const QString& text : {QString("\x16"), QString()})
        Press(edit, Qt::Key_V, text, Qt::ControlModifier);
    for (const QString& text : {QString("\x18"), QString()})
        Press(edit, Qt::Key_X, text, Qt::ControlModifier);
    EXPECT_EQ(Text(edit), "12");
    Press(edit, Qt::Key_C, "\x03", Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "34");
}

TEST(NaturalEditKeys, ComposedInputKeepsOnlyDigits) {
    TNaturalEdit edit;
    edit.clear();
    QInputMethodEvent event;
    event.setCommitString("4x5");
    QApplication::sendEvent(&edit, &event);
    EXPECT_EQ(Text(edit), "45");
}

TEST(NaturalEditStep, UpAndDownStopAtTheRange) {
    TNaturalEdit edit;
    edit.SetMinValue(1);
    edit.SetMaxValue(999);
    edit.SetValue(7);
    EXPECT_TRUE(Press(edit, Qt::Key_Up));
    EXPECT_EQ(Text(edit), "8");
    EXPECT_TRUE(Press(edit, Qt::Key_Down));
    EXPECT_EQ(Text(edit), "7");

    edit.SetValue(999);
    EXPECT_FALSE(Press(edit, Qt::Key_Up)) << "left to the default handling";
    EXPECT_EQ(Text(edit), "999");
    EXPECT_FALSE(edit.StepUp());

    edit.SetValue(1);
    EXPECT_FALSE(Press(edit, Qt::Key_Down));
    EXPECT_EQ(Text(edit), "1");
    EXPECT_FALSE(edit.StepDown());

    // Steps start from the clamped value, whatever the text holds.
    edit.setText("1000");
    EXPECT_FALSE(edit.StepUp());
    EXPECT_EQ(Text(edit), "1000");
    EXPECT_TRUE(edit.StepDown());
    EXPECT_EQ(Text(edit), "998");
    edit.setText("abc");
    EXPECT_TRUE(edit.StepUp());
    EXPECT_EQ(Text(edit), "2");
}

TEST(NaturalEditStep, CaretStaysWhereItWas) {
    TNaturalEdit edit;
    edit.SetValue(7);
    edit.setCursorPosition(1);
    Press(edit, Qt::Key_Up);
    EXPECT_EQ(Text(edit), "8");
    EXPECT_EQ(edit.cursorPosition(), 1);

    edit.SetValue(19);
    edit.setCursorPosition(1);
    Press(edit, Qt::Key_Up);
    EXPECT_EQ(Text(edit), "20");
    EXPECT_EQ(edit.cursorPosition(), 1);
}

TEST(NaturalEditStep, ArrowButtonsStepAndKeepTheCaret) {
    TNaturalEdit edit;
    edit.SetMaxValue(20);
    edit.SetValue(19);
    edit.setCursorPosition(1);
    edit.sbnUp->click();
    EXPECT_EQ(Text(edit), "20");
    EXPECT_EQ(edit.cursorPosition(), 1);
    edit.sbnUp->click();
    EXPECT_EQ(Text(edit), "20");
    edit.sbnDown->click();
    EXPECT_EQ(Text(edit), "19");
    EXPECT_EQ(edit.cursorPosition(), 1);
}
