#include "viewing/GoToForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zarvex {

TfrmGoTo::TfrmGoTo(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Go To");
    auto* layout = new QVBoxLayout(this);
    auto* prompt =
        new QLabel("Time (seconds, m:ss.mmm or h:mm:ss.mmm) or frame number (#1234):", this);
    edtPosition = new QLineEdit(this);
    prompt->setBuddy(edtPosition);
    lblRange = new QLabel(this);
    layout->addWidget(prompt);
    layout->addWidget(edtPosition);
    layout->addWidget(lblRange);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOK = new QPushButton("OK", this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, [this] {
        if (!OnGo || OnGo(edtPosition->text()))
            accept();
        else
            edtPosition->setFocus();
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmGoTo::Execute(const QString& current, const QString& range) {
    edtPosition->setText(current);
    edtPosition->selectAll();
    edtPosition->setFocus();
    lblRange->setText(range);
    return exec() == QDialog::Accepted;
}

} // namespace zarvex
