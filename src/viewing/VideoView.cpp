#include "viewing/VideoView.h"

#include "avi_input/RepairedLayout.h"
#include "export/DSErrors.h"
#include "info/CodecAdvice.h"
#include "media/MediaInput.h"
#include "media/QtAudioSink.h"
#include "support/Endian.h"
#include "viewing/VideoWindow.h"

#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zarvex {

using namespace media;

TAVIViewer::TAVIViewer(QWidget* parent, TAudioSinkFactory audioSinks)
    : QWidget(parent), Player(audioSinks ? std::move(audioSinks) : TQtAudioSink::Factory()) {
    // The player may call from any thread; the call only queues the handling on this one.
    Player.SetNotify([this] {
        QMetaObject::invokeMethod(
            this, [this] { HandleGraphNotify(); }, Qt::QueuedConnection);
    });
    Timer.setInterval(200);
    connect(&Timer, &QTimer::timeout, this, [this] {
        if (Playing && OnPosition)
            OnPosition(*this, Position());
    });
    Timer.start();
}

TAVIViewer::~TAVIViewer() {
    // The owner is being torn down too: its handlers must not run on half-destroyed members.
    OnPosition = nullptr;
    OnPicture = nullptr;
    OnPlayStateChange = nullptr;
    OnError = nullptr;
    Close();
    Player.SetNotify({});
    if (FVideoWindow)
        FVideoWindow->OnShown = nullptr; // the window may outlive the viewer
}

void TAVIViewer::Open(const std::string& fileName, const TAVIFileReader* prepared) {
    Close();
    if (prepared)
        FReader.OpenCopyOf(*prepared);
    else
        FReader.Open(fileName);
    try {
        const TAVIStream* video = FReader.VideoStream();
        if (!video)
            throw EZarvexError("The video stream is not found in the selected file.");
        VideoWidth = video->Width;
        // A negative height marks a top-down picture; its size is the same.
        VideoHeight = video->Height == INT32_MIN ? 0 : std::abs(video->Height);
        FrameRate = double(video->Header.dwRate) / double(video->Header.dwScale);
        FClock = TFrameClock(video->Header.dwRate, video->Header.dwScale);
        if (!FVideoWindow) {
            // The picture is a child of the display panel, not of the viewer.
            FVideoWindow = new TVideoWindow(parentWidget() ? parentWidget() : this);
            FVideoWindow->OnShown = [this] {
                if (OnPicture)
                    OnPicture(*this);
            };
        }
        Player.SetVideoSink(FVideoWindow);
        if (FReader.ScanReport().Rebuilt)
            FRepairedIndex = media::PublishRepairedLayout(TRepairedLayout::Build(FReader));
        CheckRenderResult(Player.RenderFile(fileName));
        FVideoWindow->show();
        FVideoWindow->raise();
        UpdateVideoRect();
        Duration = Player.GetDuration();
        Player.Pause();
        FFileName = fileName;
        Playing = false;
        FErrorReported = false;
    } catch (...) {
        Player.Close();
        FRepairedIndex.reset();
        FReader.Close();
        throw;
    }
}

void TAVIViewer::CheckRenderResult(int32_t result) {
    if (result == ResultOk || result == ResultDuplicateName || result == ResultAudioNotRendered)
        return;
    if (result == ResultPartialRender && HasVideoRenderer())
        return;
    TDSOpenError error;
    error.ErrorCode = uint32_t(result);
    const TAVIStream* video = FReader.VideoStream();
    error.VideoCodec = video ? video->Header.fccHandler : 0;
    const TAVIStream* audio = FReader.AudioStream();
    error.AudioFormat = audio && audio->Format.size() >= 2 ? GetU16(audio->Format.data()) : 0;
    error.SuspectVideo = true;
    error.SuspectAudio = result != ResultPartialRender && result != ResultVideoNotRendered;
    throw error;
}

bool TAVIViewer::HasVideoRenderer() const {
    return Player.HasVideoRenderer();
}

void TAVIViewer::Close() {
    if (Player.IsOpen())
        Player.Stop();
    if (FVideoWindow) {
        FVideoWindow->hide();
        FVideoWindow->Clear();
    }
    Playing = false;
    FirePlayState();
    Player.Close();
    FRepairedIndex.reset();
    FFileName.clear();
    FReader.Close();
}

void TAVIViewer::FirePlayState() {
    if (OnPlayStateChange)
        OnPlayStateChange(*this, Playing);
}

void TAVIViewer::PlayPause() {
    TPlayerState state = TPlayerState::Stopped;
    Player.GetState(1000, state);
    if (state == TPlayerState::Running)
        Player.Pause();
    else
        Player.Run();
    Playing = state != TPlayerState::Running;
    if (Playing)
        FErrorReported = false;
    FirePlayState();
    if (!Playing)
        ReportPosition();
}

// A pause settles the position on the start of the picture shown, and says so.
void TAVIViewer::Pause() {
    Player.Pause();
    Playing = false;
    FirePlayState();
    ReportPosition();
}

// The frame nearest to the time, shown from its start; the end stays a position of its own.
void TAVIViewer::SetPosition(int64_t time) {
    if (!FFileName.empty() && time < Duration) {
        const int64_t start = FClock.FrameStart(std::max<int64_t>(FClock.NearestFrame(time), 0));
        time = std::min(start, Duration);
    }
    Player.SetPositions(time);
    ReportPosition();
}

void TAVIViewer::ReportPosition() {
    if (OnPosition)
        OnPosition(*this, Position());
}

int64_t TAVIViewer::Position() const {
    return Player.IsOpen() ? std::min(Player.GetCurrentPosition(), Duration) : 0;
}

int64_t TAVIViewer::ShownPosition() const {
    if (Playing && FVideoWindow)
        if (const media::TVideoFramePtr shown = FVideoWindow->Frame())
            return std::min(shown->Position, Position());
    return Position();
}

int64_t TAVIViewer::TimeToFrame(int64_t time) const {
    return FClock.NearestFrame(time);
}

int64_t TAVIViewer::FrameToTime(int64_t frame) const {
    return FClock.FrameStart(frame);
}

std::vector<int64_t> TAVIViewer::KeyFrameTimes() const {
    std::vector<int64_t> times;
    const TAVIStream* video = FReader.VideoStream();
    if (!video)
        return times;
    const auto count = int64_t(video->EntryCount());
    for (int64_t i = 0; i < count; ++i)
        if (video->IsKeyFrame(i))
            times.push_back(FClock.FrameStart(i));
    return times;
}

void TAVIViewer::PrevFrame() {
    SetPosition(Position() - FClock.FrameStep());
}

void TAVIViewer::NextFrame() {
    SetPosition(Position() + FClock.FrameStep());
}

void TAVIViewer::FastBackward() {
    const int64_t f = TimeToFrame(Position() - 30000000);
    const int32_t k = FReader.VideoStream()->PrevKeyFrame(f);
    SetPosition(k < 0 ? 0 : FClock.FrameStart(k));
}

void TAVIViewer::FastForward() {
    const int64_t f = TimeToFrame(Position() + 30000000);
    const int32_t k = FReader.VideoStream()->NextKeyFrame(f);
    SetPosition(k < 0 ? Duration : FClock.FrameStart(k));
}

void TAVIViewer::UpdateVideoRect() {
    if (!FVideoWindow)
        return;
    const int W = width(), H = height(), w = VideoWidth, h = VideoHeight;
    // No picture size (an interleaved DV stream) or no room: nothing to place.
    if (w <= 0 || h <= 0 || W <= 0 || H <= 0)
        return;
    int left, top, vw, vh;
    if (double(w) / h >= double(W) / H) {
        vw = W;
        vh = int(std::nearbyint(double(W) * h / w));
        left = 0;
        top = H / 2 - vh / 2;
    } else {
        vh = H;
        vw = int(std::nearbyint(double(H) * w / h));
        top = 0;
        left = W / 2 - vw / 2;
    }
    // In the panel's coordinates, inside its one-pixel bevel.
    const QPoint origin = FVideoWindow->parentWidget() == this ? QPoint() : pos();
    FVideoWindow->setGeometry(origin.x() + left + 2, origin.y() + top + 2, vw - 1, vh - 1);
}

void TAVIViewer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UpdateVideoRect();
}

void TAVIViewer::HandleGraphNotify() {
    int32_t code = 0;
    intptr_t p1 = 0, p2 = 0;
    if (Player.GetEvent(code, p1, p2, 0) != ResultOk)
        return;
    Player.FreeEventParams(code, p1, p2);
    if (code == EventComplete) {
        Player.Pause();
        Playing = false;
        FirePlayState();
        SetPosition(0);
    } else if (code == EventErrorAbort) {
        PlaybackFailed(int(p1));
    }
}

void TAVIViewer::PlaybackFailed(int code) {
    if (Playing) {
        Player.Pause();
        Playing = false;
        FirePlayState();
        // Showing the picture at the position again readies the stopped worker for the next
        // play. Should that fail too, its event finds playback stopped and ends here.
        SetPosition(Position());
    }
    // Video and sound may both fail on the same damage: one warning is enough.
    if (FErrorReported)
        return;
    FErrorReported = true;
    if (OnError)
        OnError(*this, "Playback has stopped because of an error.\n" + MediaErrorText(code));
}

} // namespace zarvex
