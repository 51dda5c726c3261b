// What the main window's segment list keeps: the listed ranges, or in Cut Out the rest of the
// open file; and Play Segments, which plays only that, to check a cut before it is saved.
#include "viewing/MainForm.h"

#include "avi_input/AVIRead.h"
#include "splitting/CutListEdit.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"

#include <QAction>
#include <QMenu>

#include <algorithm>

namespace zarvex {

void TfrmMain::CreateKeptRanges() {
    miCutOut = NewAction("Cut Out", "The listed segments are removed, the rest is kept", 0,
                         &TfrmMain::miCutOutClick);
    miCutOut->setCheckable(true);
    miEdit->addAction(miCutOut);
    acnPlaySegments =
        NewAction("Play Segments", "Play only what is kept, one segment after another", 0,
                  &TfrmMain::acnPlaySegmentsExecute);
    miPlay->addSeparator();
    miPlay->addAction(acnPlaySegments);
}

void TfrmMain::miCutOutClick() {
    const bool cutOut = miCutOut->isChecked();
    Edit("Cut Out", [&] { FCutOut = cutOut; });
    SegmentsChanged();
    UpdateActionStates();
}

std::vector<TCutListEntry> TfrmMain::KeptSegments() const {
    if (!FCutOut || !FileIsOpen())
        return FSegments;
    const std::string& open = FViewer->FileName();
    const TAVIStream* video = FViewer->Reader().VideoStream();
    std::vector<TKeepRange> cut;
    std::vector<TCutListEntry> kept, others;
    for (const TCutListEntry& e : FSegments)
        if (e.Source == open)
            cut.push_back(e.Frames);
        else
            others.push_back(e);
    for (const TKeepRange& r : Complement(cut, video ? int32_t(video->EntryCount()) : 0)) {
        TCutListEntry e;
        e.Source = open;
        e.Frames = r;
        e.Start = TAVIViewer::TimeToSeconds(FViewer->FrameToTime(r.First));
        e.End = TAVIViewer::TimeToSeconds(FViewer->FrameToTime(int64_t(r.Last) + 1));
        kept.push_back(e);
    }
    kept.insert(kept.end(), others.begin(), others.end());
    return kept;
}

std::vector<std::pair<int64_t, int64_t>> TfrmMain::KeptTimes() const {
    std::vector<std::pair<int64_t, int64_t>> times;
    if (!FileIsOpen())
        return times;
    for (const TCutListEntry& e : KeptSegments())
        if (e.Source == FViewer->FileName())
            times.emplace_back(FViewer->FrameToTime(e.Frames.First),
                               FViewer->FrameToTime(int64_t(e.Frames.Last) + 1));
    std::sort(times.begin(), times.end());
    return times;
}

void TfrmMain::acnPlaySegmentsExecute() {
    if (!FileIsOpen())
        return;
    std::vector<std::pair<int64_t, int64_t>> times = KeptTimes();
    if (times.empty())
        return;
    FPlayedSegments.clear();
    FViewer->Pause();
    FTrackLine->SetCurPos(times.front().first);
    // Set once the seek is done, so that the paused player's report does not end it.
    FPlayedSegments = std::move(times);
    FPlayedSegment = 0;
    FViewer->PlayPause();
}

void TfrmMain::FollowPlayedSegments(int64_t position) {
    if (!FViewer->Playing) {
        FPlayedSegments.clear(); // paused or stopped by the user
        return;
    }
    while (FPlayedSegment < FPlayedSegments.size() &&
           position >= FPlayedSegments[FPlayedSegment].second)
        ++FPlayedSegment;
    if (FPlayedSegment == FPlayedSegments.size()) {
        FPlayedSegments.clear();
        FViewer->Pause();
        return;
    }
    const int64_t start = FPlayedSegments[FPlayedSegment].first;
    if (position < start)
        FViewer->SetPosition(start); // reports again, now inside the range
}

} // namespace zarvex
