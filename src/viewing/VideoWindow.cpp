#include "viewing/VideoWindow.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>

namespace zarvex {

TVideoWindow::TVideoWindow(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void TVideoWindow::Deliver(media::TVideoFramePtr frame) {
    {
        std::lock_guard lock(Mutex);
        Newest = std::move(frame);
    }
    // Repaints are queued to the GUI thread; a destroyed window drops them.
    QMetaObject::invokeMethod(
        this,
        [this] {
            update();
            if (OnShown)
                OnShown();
        },
        Qt::QueuedConnection);
}

media::TVideoFramePtr TVideoWindow::Frame() const {
    std::lock_guard lock(Mutex);
    return Newest;
}

void TVideoWindow::Clear() {
    std::lock_guard lock(Mutex);
    Newest.reset();
    update();
}

void TVideoWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const media::TVideoFramePtr frame = Frame();
    if (!frame || frame->Width <= 0 || frame->Height <= 0) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // The frame's pixels outlive the image: it is only drawn within this call.
    const QImage image(frame->Pixels.data(), frame->Width, frame->Height, frame->Stride,
                       QImage::Format_RGB32);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), image);
}

} // namespace zarvex
