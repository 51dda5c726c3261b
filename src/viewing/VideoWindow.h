// The picture of the viewer: a child of the display panel that paints the newest frame the
// player delivered. Frames arrive on the player's threads; painting happens on the GUI thread.
#pragma once

#include "media/VideoSink.h"

#include <QWidget>

#include <functional>
#include <mutex>

namespace zarvex {

class TVideoWindow : public QWidget, public media::TVideoSink {
    Q_OBJECT
public:
    explicit TVideoWindow(QWidget* parent);

    void Deliver(media::TVideoFramePtr frame) override;
    // The frame painted now, for tests and the frame grab of the panel.
    media::TVideoFramePtr Frame() const;
    void Clear();
    // Called on the GUI thread once a delivered frame is the one to paint.
    std::function<void()> OnShown;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    mutable std::mutex Mutex;
    media::TVideoFramePtr Newest;
};

} // namespace zarvex
