#include "info/CodecForm.h"

#include <QPlainTextEdit>
#include <QPushButton>

namespace zarvex {

TfrmCodecs::TfrmCodecs(QWidget* parent)
    : QDialog(parent), Codecs(std::make_unique<TVideoCodecList>()) {
    setWindowTitle("Video codec is not found");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(392, 173);
    mmInfo = new QPlainTextEdit(this);
    mmInfo->setObjectName("mmInfo");
    mmInfo->setReadOnly(true);
    mmInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmInfo->setGeometry(8, 8, 377, 123);
    // The memo takes the window's colour: it is a message, not an input.
    QPalette palette = mmInfo->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    mmInfo->setPalette(palette);
    btnOK = new QPushButton("OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setGeometry(310, 140, 75, 25);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
}

TfrmCodecs::~TfrmCodecs() = default;

void TfrmCodecs::reject() {
    accept();
}

void TfrmCodecs::ShowError(const TDSOpenError& error) {
    // The text's lines end in CR LF; the memo takes plain line breaks.
    QString text = QString::fromStdString(CodecAdviceText(error, *Codecs));
    text.replace("\r\n", "\n");
    mmInfo->setPlainText(text);
    setWindowTitle(CodecAdviceCaption);
}

void ShowCodecAdvice(QWidget* owner, const TDSOpenError& error) {
    TfrmCodecs form(owner);
    form.ShowError(error);
    if (owner) {
        const QRect r = owner->frameGeometry();
        form.move(r.center() - QPoint(form.width() / 2, form.height() / 2));
    }
    form.exec();
}

} // namespace zarvex
