#include "support/MessageDlg.h"

#include "support/ProdInfo.h"

#include <QApplication>

#include <exception>

namespace zarvex {

namespace {

QMessageBox::Icon IconOf(TMsgDlgType type) {
    switch (type) {
    case TMsgDlgType::mtWarning:
        return QMessageBox::Warning;
    case TMsgDlgType::mtError:
        return QMessageBox::Critical;
    case TMsgDlgType::mtInformation:
        return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QMessageBox::StandardButton MessageDlg(QWidget* owner, const QString& text, TMsgDlgType type,
                                       QMessageBox::StandardButtons buttons) {
    QMessageBox box(IconOf(type), QString::fromStdString(ProductInfo.ProductName), text, buttons,
                    owner ? owner : QApplication::activeWindow());
    // Escape gives Cancel where there is one, else No; Enter the first of Yes and OK.
    if (buttons & QMessageBox::Cancel)
        box.setEscapeButton(QMessageBox::Cancel);
    else if (buttons & QMessageBox::No)
        box.setEscapeButton(QMessageBox::No);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void ShowWarningBox(QWidget* owner, const QString& text) {
    MessageDlg(owner, text, TMsgDlgType::mtWarning, QMessageBox::Ok);
}

bool ConfirmYesCancel(QWidget* owner, const QString& text) {
    return MessageDlg(owner, text, TMsgDlgType::mtConfirmation,
                      QMessageBox::Yes | QMessageBox::Cancel) == QMessageBox::Yes;
}

bool RunShowingErrors(QWidget* owner, const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const std::exception& e) {
        MessageDlg(owner, QString::fromUtf8(e.what()), TMsgDlgType::mtError, QMessageBox::Ok);
    }
    return false;
}

} // namespace zarvex
