// The small window over the timeline that names the time under the mouse and shows its picture.
#pragma once

#include <QFrame>

class QLabel;

namespace zarvex {

class TTimelineTip : public QFrame {
public:
    explicit TTimelineTip(QWidget* parent);
    // Shown with its bottom-left corner just above globalAt; a null picture shows the time alone.
    void Show(const QString& text, const QImage& picture, QPoint globalAt);
    QString Text() const;

private:
    QLabel* FPicture;
    QLabel* FText;
};

} // namespace zarvex
