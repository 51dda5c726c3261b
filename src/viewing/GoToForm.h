// "Go To...": a small dialog taking a time or a frame number. It only collects the text; the
// owner checks it and says what is wrong, and the dialog stays open until a text is taken.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zarvex {

class TfrmGoTo : public QDialog {
    Q_OBJECT
public:
    explicit TfrmGoTo(QWidget* parent = nullptr);

    // Offered the text on OK; true takes it and closes the dialog.
    std::function<bool(const QString& text)> OnGo;

    // Shows the current position (selected, to be typed over) and the range of the video.
    bool Execute(const QString& current, const QString& range);

    QLineEdit* edtPosition;
    QLabel* lblRange;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};

} // namespace zarvex
