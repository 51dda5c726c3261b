// The main window's exact navigation: the position box beside the timeline and Go To, steps to
// key frames, by minutes and to the edges of the marks and the segments, and J, K and L.
#include "viewing/MainForm.h"

#include "avi_input/AVIRead.h"
#include "support/MessageDlg.h"
#include "support/PositionText.h"
#include "viewing/GoToForm.h"
#include "viewing/PositionBox.h"
#include "viewing/ReversePlay.h"
#include "viewing/SegmentList.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"
#include "viewing/VideoWindow.h"

#include <QAction>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QTreeWidget>

#include <algorithm>
#include <optional>
#include <vector>

namespace zarvex {

namespace {

constexpr int64_t Minute = 600000000;

// The segment list keeps its own arrow and page keys; elsewhere they move the position.
class TListKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride)
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        const int k = key->key();
        if (key->modifiers() == Qt::NoModifier && (k == Qt::Key_Up || k == Qt::Key_Down ||
                                                   k == Qt::Key_PageUp || k == Qt::Key_PageDown)) {
            event->accept();
            return true;
        }
        return false;
    }
};

// The selection mark or the end of a segment of the open file, as the timeline shows them,
// nearest before (after) the position.
std::optional<int64_t> NearestEdge(const TTrackLine& line, bool after) {
    std::vector<int64_t> edges{line.SelStart(), line.SelEnd()};
    for (const auto& [start, end] : line.KeptRanges())
        edges.insert(edges.end(), {start, end});
    const int64_t position = line.CurPos();
    std::optional<int64_t> best;
    for (const int64_t edge : edges) {
        if (edge < 0 || edge == position || (edge > position) != after)
            continue;
        if (!best || (after ? edge < *best : edge > *best))
            best = edge;
    }
    return best;
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

void TfrmMain::CreateNavigation() {
    acnPrevKeyFrame = NewAction("Previous Key Frame", "", 0, &TfrmMain::acnPrevKeyFrameExecute);
    acnNextKeyFrame = NewAction("Next Key Frame", "", 0, &TfrmMain::acnNextKeyFrameExecute);
    acnMinuteBack = NewAction("One Minute Back", "", 0, &TfrmMain::acnMinuteBackExecute);
    acnMinuteOn = NewAction("One Minute On", "", 0, &TfrmMain::acnMinuteOnExecute);
    acnPlayBackward = NewAction("Play Backward", "", 0, &TfrmMain::acnPlayBackwardExecute);
    acnPlayBackward->setAutoRepeat(false); // holding J keeps playing, it does not restart
    acnPause = NewAction("Pause", "", 0, &TfrmMain::acnPauseExecute);
    acnPlayForward = NewAction("Play", "", 0, &TfrmMain::acnPlayForwardExecute);
    acnPrevEdge = NewAction("Previous Mark / Segment Edge", "", 0, &TfrmMain::acnPrevEdgeExecute);
    acnNextEdge = NewAction("Next Mark / Segment Edge", "", 0, &TfrmMain::acnNextEdgeExecute);
    acnGoTo = NewAction("Go To...", "Go to a time or a frame number", 0, &TfrmMain::acnGoToExecute);
    miPlay->addSeparator();
    miPlay->addActions({acnPrevKeyFrame, acnNextKeyFrame, acnMinuteBack, acnMinuteOn});
    miPlay->addSeparator();
    miPlay->addActions({acnPlayBackward, acnPause, acnPlayForward});
    miPlay->addSeparator();
    miPlay->addActions({acnPrevEdge, acnNextEdge});
    miPlay->addSeparator();
    miPlay->addAction(acnGoTo);
    FSegmentList->Rows()->installEventFilter(new TListKeys(FSegmentList->Rows()));
}

void TfrmMain::CreatePositionBox(QBoxLayout& layout) {
    FPositionBox = new TPositionBox(layout.parentWidget());
    layout.addWidget(FPositionBox);
    FPositionBox->OnGo = [this](const QString& text, bool frameField) {
        return GoToTyped(text, frameField);
    };
    // The kind of a picture is known once it is on screen.
    FViewer->OnPicture = [this](TAVIViewer&) { UpdatePositionBox(); };
    FReverse = new TReversePlay(*FViewer, this);
    FReverse->OnStateChange = [this] {
        ViewerPlayStateChange(FReverse->Active());
        UpdateActionStates();
    };
}

void TfrmMain::AssignNavigationShortcuts() {
    acnSetStartSelection->setShortcuts({QKeySequence(Qt::Key_1), QKeySequence(Qt::Key_I)});
    acnSetEndSelection->setShortcuts({QKeySequence(Qt::Key_2), QKeySequence(Qt::Key_O)});
    acnPrevKeyFrame->setShortcut(QKeySequence(Qt::Key_Up));
    acnNextKeyFrame->setShortcut(QKeySequence(Qt::Key_Down));
    acnMinuteBack->setShortcut(QKeySequence(Qt::Key_PageUp));
    acnMinuteOn->setShortcut(QKeySequence(Qt::Key_PageDown));
    acnPlayBackward->setShortcut(QKeySequence(Qt::Key_J));
    acnPause->setShortcut(QKeySequence(Qt::Key_K));
    acnPlayForward->setShortcut(QKeySequence(Qt::Key_L));
    acnPrevEdge->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up));
    acnNextEdge->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down));
    acnGoTo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
}

void TfrmMain::UpdateNavigationStates() {
    if (!acnGoTo || !FReverse)
        return;
    const bool open = FileIsOpen();
    const int64_t p = open ? FViewer->Position() : 0, d = open ? FViewer->Duration : 0;
    for (QAction* a : {acnPrevKeyFrame, acnMinuteBack, acnPlayBackward})
        a->setEnabled(open && p > 0);
    for (QAction* a : {acnNextKeyFrame, acnMinuteOn, acnPlayForward})
        a->setEnabled(open && p < d);
    for (QAction* a : {acnPause, acnPrevEdge, acnNextEdge, acnGoTo})
        a->setEnabled(open);
}

int64_t TfrmMain::FrameCount() const {
    return FileIsOpen() ? FViewer->TimeToFrame(FViewer->Duration) : 0;
}

// Key frames as the timeline's ticks and the stream copy have them; the other pictures as
// the decoder names the one on screen.
QString TfrmMain::PictureKind(int64_t frame) const {
    if (frame >= FrameCount())
        return "end of video";
    const TAVIStream* video = FViewer->Reader().VideoStream();
    if (video && video->IsKeyFrame(frame))
        return "key frame";
    const TVideoWindow* window = FViewer->VideoWindow();
    const media::TVideoFramePtr shown = window ? window->Frame() : nullptr;
    if (shown && shown->FrameNumber == frame && shown->PictureType != 0)
        return QString("%1 frame").arg(QChar(shown->PictureType));
    if (video && frame < int64_t(video->EntryCount()) && video->EntrySize(frame) == 0)
        return "repeated frame"; // an empty chunk shows the picture before it again
    return "";
}

void TfrmMain::UpdatePositionBox() {
    if (!FPositionBox || FDestroying)
        return;
    if (!FileIsOpen()) {
        FPositionBox->Clear();
        return;
    }
    // While playing, the picture on screen; the clock runs up to a frame ahead of it.
    const int64_t position = FViewer->Playing ? FViewer->ShownPosition() : FTrackLine->CurPos();
    const int64_t frame = FViewer->TimeToFrame(position), count = FrameCount();
    FPositionBox->Show({Text(FormatExactTime(position)), QString::number(frame),
                        Text(FormatExactTime(FViewer->Duration)), PictureKind(frame),
                        QString("%1 frames, 0 to %2").arg(count).arg(count - 1)});
}

bool TfrmMain::GoToTyped(const QString& text, bool frameField, QWidget* owner) {
    if (!FileIsOpen())
        return false;
    const std::string typed = text.trimmed().toStdString();
    std::optional<int64_t> frame;
    if (frameField) {
        frame = ParseFrameNumber(typed);
    } else if (const auto position = ParsePosition(typed)) {
        frame =
            position->IsFrame ? position->Frame : FViewer->Clock().TypedFrame(position->Seconds);
    }
    const int64_t count = FrameCount();
    const QString range = QString("The video is %1 long, frames 0 to %2.")
                              .arg(Text(FormatExactTime(FViewer->Duration)))
                              .arg(count - 1);
    QString problem;
    if (!frame && frameField)
        problem = QString("\"%1\" is not a frame number. Type a whole number.").arg(text.trimmed());
    else if (!frame)
        problem = QString("\"%1\" is neither a time nor a frame number. %2")
                      .arg(text.trimmed(), TypedPositionHelp);
    else if (*frame > count) // the frame count itself is the end, where End goes
        problem = QString("\"%1\" lies past the end of the video.").arg(text.trimmed());
    if (!problem.isEmpty()) {
        ShowWarningBox(owner ? owner : this, problem + " " + range);
        return false;
    }
    GoToFrame(*frame);
    return true;
}

void TfrmMain::GoToFrame(int64_t frame) {
    FReverse->Stop();
    const int64_t count = FrameCount();
    frame = std::clamp<int64_t>(frame, 0, count);
    FTrackLine->SetCurPos(frame == count ? FViewer->Duration : FViewer->FrameToTime(frame));
}

void TfrmMain::acnGoToExecute() {
    if (!FileIsOpen())
        return;
    TfrmGoTo dialog(this);
    dialog.OnGo = [&](const QString& text) { return GoToTyped(text, false, &dialog); };
    const int64_t count = FrameCount();
    dialog.Execute(Text(FormatExactTime(FTrackLine->CurPos())),
                   QString("From 0:00:00.000 to %1, frames 0 to %2.")
                       .arg(Text(FormatExactTime(FViewer->Duration)))
                       .arg(count - 1));
}

void TfrmMain::acnPrevKeyFrameExecute() {
    const TAVIStream* video = FileIsOpen() ? FViewer->Reader().VideoStream() : nullptr;
    if (!video)
        return;
    const int32_t key = video->PrevKeyFrame(FViewer->TimeToFrame(FTrackLine->CurPos()));
    if (key >= 0)
        GoToFrame(key);
}

void TfrmMain::acnNextKeyFrameExecute() {
    const TAVIStream* video = FileIsOpen() ? FViewer->Reader().VideoStream() : nullptr;
    if (!video)
        return;
    const int32_t key = video->NextKeyFrame(FViewer->TimeToFrame(FTrackLine->CurPos()));
    if (key >= 0)
        GoToFrame(key);
}

void TfrmMain::acnMinuteBackExecute() {
    if (FileIsOpen())
        GoToFrame(FViewer->TimeToFrame(std::max<int64_t>(FTrackLine->CurPos() - Minute, 0)));
}

void TfrmMain::acnMinuteOnExecute() {
    if (!FileIsOpen())
        return;
    const int64_t to = FTrackLine->CurPos() + Minute;
    GoToFrame(to >= FViewer->Duration ? FrameCount() : FViewer->TimeToFrame(to));
}

bool TfrmMain::ReversePlaying() const {
    return FReverse && FReverse->Active();
}

void TfrmMain::acnPlayBackwardExecute() {
    FReverse->Start();
}

void TfrmMain::acnPauseExecute() {
    FReverse->Stop();
    if (FViewer->Playing)
        FViewer->Pause();
}

void TfrmMain::acnPlayForwardExecute() {
    FReverse->Stop();
    if (FileIsOpen() && !FViewer->Playing)
        FViewer->PlayPause();
}

void TfrmMain::acnPrevEdgeExecute() {
    if (const auto edge = NearestEdge(*FTrackLine, false)) {
        FReverse->Stop();
        FTrackLine->SetCurPos(*edge);
    }
}

void TfrmMain::acnNextEdgeExecute() {
    if (const auto edge = NearestEdge(*FTrackLine, true)) {
        FReverse->Stop();
        FTrackLine->SetCurPos(*edge);
    }
}

} // namespace zarvex
