#include "viewing/PositionBox.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace zarvex {

namespace {

QLineEdit* NewField(QWidget* parent, const QString& widest, const QString& name) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setAlignment(Qt::AlignRight);
    // Not the window's first focus, which would take the keys of the commands for typing.
    field->setFocusPolicy(Qt::ClickFocus);
    const QMargins margins = field->textMargins() + field->contentsMargins();
    // Room for the widest text and the frame around it.
    field->setFixedWidth(field->fontMetrics().horizontalAdvance(widest) + margins.left() +
                         margins.right() + 12);
    return field;
}

} // namespace

TPositionBox::TPositionBox(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 4, 2);
    layout->setSpacing(4);
    edtTime = NewField(this, "00:00:00.000", "edtTime");
    edtTime->setToolTip("Time of the picture on screen; type a time or #frame and press Enter");
    lblTotal = new QLabel(this);
    lblTotal->setObjectName("lblTotal");
    edtFrame = NewField(this, "0000000", "edtFrame");
    edtFrame->setToolTip("Frame number of the picture on screen; type one and press Enter");
    lblKind = new QLabel(this);
    lblKind->setObjectName("lblKind");
    lblKind->setMinimumWidth(lblKind->fontMetrics().horizontalAdvance("end of video"));
    layout->addWidget(edtTime);
    layout->addWidget(lblTotal);
    layout->addWidget(new QLabel("#", this));
    layout->addWidget(edtFrame);
    layout->addWidget(lblKind);
    for (QLineEdit* field : {edtTime, edtFrame}) {
        field->installEventFilter(this);
        connect(field, &QLineEdit::returnPressed, this, [this, field] { Go(field); });
    }
    Clear();
}

void TPositionBox::Show(const TShown& shown) {
    Shown = shown;
    for (QLineEdit* field : {edtTime, edtFrame})
        if (!field->isModified())
            Restore(field);
    lblTotal->setText("/ " + shown.Total);
    lblTotal->setToolTip(shown.TotalHint);
    lblKind->setText(shown.Kind);
    setEnabled(true);
}

void TPositionBox::Clear() {
    Show({});
    lblTotal->clear();
    setEnabled(false);
}

void TPositionBox::Go(QLineEdit* field) {
    if (OnGo && OnGo(field->text(), field == edtFrame)) {
        field->clearFocus();
        Restore(field);
    }
}

void TPositionBox::Restore(QLineEdit* field) {
    field->setText(field == edtTime ? Shown.Time : Shown.Frame);
}

bool TPositionBox::eventFilter(QObject* watched, QEvent* event) {
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (field && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        Restore(field);
        field->clearFocus();
        return true;
    }
    // A warning about the text takes the focus for a while: the text stays to be corrected.
    if (field && event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason)
        Restore(field);
    return QWidget::eventFilter(watched, event);
}

} // namespace zarvex
