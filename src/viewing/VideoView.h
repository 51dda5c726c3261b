// The viewer: shows an AVI file inside the main window's display panel, plays, pauses, seeks
// exactly and steps by frames and key frames, with the file's headers and index from our reader.
#pragma once

#include "avi_input/AVIRead.h"
#include "media/AudioSink.h"
#include "media/Player.h"
#include "support/FrameClock.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zarvex {

class TVideoWindow;

class TAVIViewer : public QWidget {
    Q_OBJECT
public:
    // The sound output comes from the factory; the default is the desktop's sound device.
    explicit TAVIViewer(QWidget* parent, media::TAudioSinkFactory audioSinks = {});
    ~TAVIViewer() override;

    int64_t Duration = 0;
    int32_t VideoWidth = 0;
    int32_t VideoHeight = 0;
    double FrameRate = 0;
    bool Playing = false;
    std::function<void(TAVIViewer& sender, int64_t position)> OnPosition;
    std::function<void(TAVIViewer& sender, bool playing)> OnPlayStateChange;
    // A new picture is on screen (after a seek, and every picture while playing).
    std::function<void(TAVIViewer& sender)> OnPicture;
    // A failure of the player; reported once until the next open or start of playback.
    std::function<void(TAVIViewer& sender, const std::string& message)> OnError;

    TAVIFileReader& Reader() { return FReader; }
    const std::string& FileName() const { return FFileName; }

    // With prepared, a reader open on the file already (its index perhaps rebuilt), the viewer's
    // reader takes over its streams and index instead of reading them again.
    void Open(const std::string& fileName, const TAVIFileReader* prepared = nullptr);
    void Close();
    void PlayPause();
    void Pause();
    void SetPosition(int64_t time);
    int64_t Position() const;
    // The start of the picture on screen. While playing, the position is the clock, which runs
    // up to a frame ahead of it; marks go where the user sees them.
    int64_t ShownPosition() const;
    void PrevFrame();
    void NextFrame();
    void FastBackward();
    void FastForward();
    static double TimeToSeconds(int64_t time) { return double(time) / 10000000.0; }
    int64_t TimeToFrame(int64_t time) const;
    int64_t FrameToTime(int64_t frame) const;
    const TFrameClock& Clock() const { return FClock; }
    // The start times of the video's key frames, from the reader's index, ascending.
    std::vector<int64_t> KeyFrameTimes() const;
    void UpdateVideoRect();
    bool HasVideoRenderer() const;

    TVideoWindow* VideoWindow() const { return FVideoWindow; }
    media::TMediaPlayer& MediaPlayer() { return Player; }
    // Takes one event of the player, as the graph's notification message does.
    void HandleGraphNotify();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void CheckRenderResult(int32_t result);
    void FirePlayState();
    void PlaybackFailed(int code);
    void ReportPosition();

    TAVIFileReader FReader;
    media::TMediaPlayer Player;
    std::shared_ptr<void> FRepairedIndex; // what the media layer reads after a rebuild
    TVideoWindow* FVideoWindow = nullptr; // a child of the display panel, owned by it
    QTimer Timer;
    std::string FFileName;
    bool FErrorReported = false;
    TFrameClock FClock{25, 1};
};

} // namespace zarvex
