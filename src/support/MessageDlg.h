// The program's message box: a standard box of the given kind and buttons, titled with the
// product name and centred on its owner, answering the button pressed.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace zarvex {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };

QMessageBox::StandardButton MessageDlg(QWidget* owner, const QString& text, TMsgDlgType type,
                                       QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// A warning with one OK button.
void ShowWarningBox(QWidget* owner, const QString& text);

// Confirmation with Yes and Cancel; true only for Yes.
bool ConfirmYesCancel(QWidget* owner, const QString& text);

// Runs a user action and shows what it raised, as the application's own handler would: the
// message of an error in an error box. Answers whether the action ran through.
bool RunShowingErrors(QWidget* owner, const std::function<void()>& action);

} // namespace zarvex
