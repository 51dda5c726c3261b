#include "viewing/TimelineTip.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace zarvex {

TTimelineTip::TTimelineTip(QWidget* parent)
    : QFrame(parent, Qt::ToolTip | Qt::FramelessWindowHint), FPicture(new QLabel(this)),
      FText(new QLabel(this)) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setForegroundRole(QPalette::ToolTipText);
    setBackgroundRole(QPalette::ToolTipBase);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(2);
    layout->addWidget(FPicture, 0, Qt::AlignHCenter);
    layout->addWidget(FText, 0, Qt::AlignHCenter);
}

void TTimelineTip::Show(const QString& text, const QImage& picture, QPoint globalAt) {
    FText->setText(text);
    FPicture->setVisible(!picture.isNull());
    if (!picture.isNull())
        FPicture->setPixmap(
            QPixmap::fromImage(picture.scaledToHeight(90, Qt::SmoothTransformation)));
    adjustSize();
    move(globalAt.x() - width() / 2, globalAt.y() - height() - 4);
    show();
}

QString TTimelineTip::Text() const {
    return FText->text();
}

} // namespace zarvex
