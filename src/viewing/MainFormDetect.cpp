// The main window's spots: black frames, silence and scene changes found in the background
// (once per file, kept in the cache), stepped through from the Position menu and drawn on the
// timeline; and "Find Ad Breaks...", which puts the programme into the segment list.
#include "viewing/MainForm.h"

#include "avi_input/AVIRead.h"
#include "media/Comskip.h"
#include "splitting/ForeignCutList.h"
#include "support/MessageDlg.h"
#include "viewing/BackgroundWork.h"
#include "viewing/FindBreaksForm.h"
#include "viewing/SegmentList.h"
#include "viewing/TimelineLanes.h"
#include "viewing/TimelineView.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"

#include <QAction>
#include <QMenu>
#include <QStatusBar>

#include <algorithm>
#include <cmath>

namespace zarvex {

namespace {

constexpr int MessageTime = 10000; // milliseconds

const char* SpotWords(media::TSpotKind kind) {
    switch (kind) {
    case media::TSpotKind::Black:
        return "black frame";
    case media::TSpotKind::Silence:
        return "silence";
    case media::TSpotKind::Scene:
        return "scene change";
    case media::TSpotKind::Break:
        break;
    }
    return "ad break";
}

const std::vector<media::TSpot>& SpotsOf(const media::TDetection& d, media::TSpotKind kind) {
    return kind == media::TSpotKind::Black     ? d.Black
           : kind == media::TSpotKind::Silence ? d.Silence
                                               : d.Scenes;
}

// Scene changes need every picture decoded; black frames and silence alone go much faster.
media::TDetectOptions Searched(bool scenes, const media::TDetectOptions* thresholds = nullptr) {
    media::TDetectOptions o = thresholds ? *thresholds : media::TDetectOptions();
    o.Scenes = scenes;
    return o;
}

// Whether what was found answers a search with wanted: the same thresholds, and scene changes
// when they are wanted.
bool Answers(const media::TDetectOptions& found, const media::TDetectOptions& wanted) {
    return found == Searched(found.Scenes, &wanted) && (found.Scenes || !wanted.Scenes);
}

} // namespace

void TfrmMain::CreateDetection() {
    const auto add = [this](const QString& caption, void (TfrmMain::*handler)()) {
        QAction* a = NewAction(caption, "", 0, handler);
        a->setEnabled(false);
        return a;
    };
    acnNextBlack = add("Next Black Frame", &TfrmMain::acnNextBlackExecute);
    acnPrevBlack = add("Previous Black Frame", &TfrmMain::acnPrevBlackExecute);
    acnNextSilence = add("Next Silence", &TfrmMain::acnNextSilenceExecute);
    acnPrevSilence = add("Previous Silence", &TfrmMain::acnPrevSilenceExecute);
    acnNextScene = add("Next Scene Change", &TfrmMain::acnNextSceneExecute);
    acnPrevScene = add("Previous Scene Change", &TfrmMain::acnPrevSceneExecute);
    miPlay->insertSeparator(acnGoTo);
    for (QAction* a :
         {acnNextBlack, acnPrevBlack, acnNextSilence, acnPrevSilence, acnNextScene, acnPrevScene})
        miPlay->insertAction(acnGoTo, a);
    miPlay->insertSeparator(acnGoTo);
    miFindAdBreaks = add("Find Ad Breaks...", &TfrmMain::miFindAdBreaksClick);
    miEdit->addSeparator();
    miEdit->addAction(miFindAdBreaks);
    FSpotWork = new TBackgroundWork(*statusBar());
}

void TfrmMain::acnNextBlackExecute() {
    GoToSpot(media::TSpotKind::Black, true);
}
void TfrmMain::acnPrevBlackExecute() {
    GoToSpot(media::TSpotKind::Black, false);
}
void TfrmMain::acnNextSilenceExecute() {
    GoToSpot(media::TSpotKind::Silence, true);
}
void TfrmMain::acnPrevSilenceExecute() {
    GoToSpot(media::TSpotKind::Silence, false);
}
void TfrmMain::acnNextSceneExecute() {
    GoToSpot(media::TSpotKind::Scene, true);
}
void TfrmMain::acnPrevSceneExecute() {
    GoToSpot(media::TSpotKind::Scene, false);
}

const media::TDetection* TfrmMain::Detection() const {
    return FDetection && FileIsOpen() && FDetectionFile == FViewer->FileName() ? FDetection.get()
                                                                               : nullptr;
}

// A new file: what is running for the last one stops, and what the cache holds is shown.
void TfrmMain::UpdateSpots() {
    const bool open = FileIsOpen();
    for (QAction* a : {acnNextBlack, acnPrevBlack, acnNextSilence, acnPrevSilence, acnNextScene,
                       acnPrevScene, miFindAdBreaks})
        a->setEnabled(open);
    const std::string file = open ? FViewer->FileName() : std::string();
    if (file == FDetectionFile)
        return;
    FSpotWork->Stop();
    FDetectingWith.reset();
    FDetection.reset();
    FDetectionFile = file;
    if (open) {
        for (const bool scenes : {true, false}) {
            auto found = std::make_unique<media::TDetection>();
            if (media::LoadDetection(CacheFolder().toStdString(), file, Searched(scenes), *found)) {
                FDetection = std::move(found);
                break;
            }
        }
    }
    ShowSpots();
}

void TfrmMain::ShowSpots() {
    TLaneSpots spots;
    if (const media::TDetection* d = Detection()) {
        const auto time = [this](int64_t frame) { return FViewer->FrameToTime(frame); };
        for (const media::TSpot& s : d->Black)
            spots.Black.emplace_back(time(s.First), time(s.Last + 1));
        for (const media::TSpot& s : d->Silence)
            spots.Silence.emplace_back(time(s.First), time(s.Last + 1));
        for (const media::TSpot& s : d->Scenes)
            spots.Scenes.push_back(time(s.First));
    }
    FTimeline->Lanes()->SetSpots(std::move(spots));
}

void TfrmMain::StartDetection(const media::TDetectOptions& options, std::function<void()> then) {
    // Asked again while the same search runs: only what follows it changes.
    FAfterDetection = std::move(then);
    if (FSpotWork->Running() && FDetectingWith && Answers(*FDetectingWith, options))
        return;
    FDetectingWith = std::make_unique<media::TDetectOptions>(options);
    const std::string file = FViewer->FileName(), folder = CacheFolder().toStdString();
    auto found = std::make_shared<media::TDetection>();
    FSpotWork->Start(
        "Finding black frames, silence and scenes",
        [file, folder, options, found](TJobControl& control) {
            *found = media::DetectSpots(file, options, control.ProgressHandler<>());
            media::SaveDetection(folder, file, *found);
        },
        [this, file, found](std::exception_ptr error, bool cancelled) {
            FDetectingWith.reset();
            const std::function<void()> then = std::move(FAfterDetection);
            FAfterDetection = {};
            if (cancelled || !FileIsOpen() || FViewer->FileName() != file)
                return;
            try {
                if (error)
                    std::rethrow_exception(error);
            } catch (const std::exception& e) {
                ShowWarning(QString::fromUtf8(e.what()));
                return;
            }
            FDetection = std::make_unique<media::TDetection>(std::move(*found));
            FDetectionFile = file;
            ShowSpots();
            if (then)
                then();
        });
}

void TfrmMain::GoToSpot(media::TSpotKind kind, bool after) {
    if (!FileIsOpen())
        return;
    const media::TDetection* d = Detection();
    const bool scenes = kind == media::TSpotKind::Scene;
    if (!d || (scenes && !d->Options.Scenes)) {
        // The step is taken once the spots are known.
        StartDetection(Searched(scenes, d ? &d->Options : nullptr),
                       [this, kind, after] { GoToSpot(kind, after); });
        return;
    }
    const int64_t frame = FViewer->Clock().FrameAt(FViewer->ShownPosition());
    const std::vector<media::TSpot>& spots = SpotsOf(*d, kind);
    const media::TSpot* found = nullptr;
    if (after) {
        auto s =
            std::upper_bound(spots.begin(), spots.end(), frame,
                             [](int64_t f, const media::TSpot& spot) { return f < spot.First; });
        found = s == spots.end() ? nullptr : &*s;
    } else {
        auto s =
            std::lower_bound(spots.begin(), spots.end(), frame,
                             [](const media::TSpot& spot, int64_t f) { return spot.First < f; });
        found = s == spots.begin() ? nullptr : &*std::prev(s);
    }
    if (!found) {
        statusBar()->showMessage(
            QString("No %1 %2 this position.").arg(SpotWords(kind), after ? "after" : "before"),
            MessageTime);
        return;
    }
    GoToFrame(found->First);
}

void TfrmMain::miFindAdBreaksClick() {
    if (!FileIsOpen())
        return;
    const std::string comskip = media::ComskipProgram();
    TfrmFindBreaks dialog(
        comskip.empty() ? QString::fromStdString(media::ComskipInstallHint()) : QString(), this);
    if (FBreaksChoice)
        dialog.SetChoice(*FBreaksChoice);
    if (dialog.exec() != QDialog::Accepted)
        return;
    FBreaksChoice = std::make_unique<TFindBreaksChoice>(dialog.Choice());
    FindAdBreaks(*FBreaksChoice);
}

void TfrmMain::FindAdBreaks(const TFindBreaksChoice& choice) {
    if (!FileIsOpen())
        return;
    if (choice.Comskip)
        return FindAdBreaksWithComskip();
    const media::TDetectOptions options = Searched(false, &choice.Detect);
    const media::TBreakOptions breaks = choice.Breaks;
    const auto apply = [this, breaks] {
        const media::TAdBreaks found = media::FindAdBreaks(*FDetection, breaks);
        KeepProgramme(found.Kept, int(found.Ads.size()));
    };
    if (const media::TDetection* d = Detection(); d && Answers(d->Options, options))
        return apply();
    for (const bool scenes : {true, false}) {
        auto cached = std::make_unique<media::TDetection>();
        if (media::LoadDetection(CacheFolder().toStdString(), FViewer->FileName(),
                                 Searched(scenes, &options), *cached)) {
            FDetection = std::move(cached);
            ShowSpots();
            return apply();
        }
    }
    StartDetection(options, apply);
}

void TfrmMain::FindAdBreaksWithComskip() {
    FDetectingWith.reset();
    const std::string file = FViewer->FileName();
    const TAVIStream& stream = *FViewer->Reader().VideoStream();
    const TListVideo video{stream.EntryCount(), stream.Header.dwRate, stream.Header.dwScale};
    auto kept = std::make_shared<TKeptFrames>();
    FSpotWork->Start(
        "comskip is looking for ad breaks",
        [file, video, kept](TJobControl& control) {
            *kept = KeptFrames(media::RunComskip(file, control.ProgressHandler<>()), video);
        },
        [this, file, kept](std::exception_ptr error, bool cancelled) {
            if (cancelled || !FileIsOpen() || FViewer->FileName() != file)
                return;
            try {
                if (error)
                    std::rethrow_exception(error);
            } catch (const std::exception& e) {
                ShowWarning(QString::fromUtf8(e.what()));
                return;
            }
            if (kept->Ranges.empty()) {
                ShowWarning("comskip took the whole recording for advertisements. The segment "
                            "list is as it was.");
                return;
            }
            // comskip may mark a frame or two as a commercial (its last picture, say): a gap
            // shorter than a second is no advert.
            const int64_t second = std::max<int64_t>(1, std::llround(FViewer->FrameRate));
            const int64_t last = FrameCount() - 1;
            std::vector<std::pair<int64_t, int64_t>> parts;
            for (const TKeepRange& r : kept->Ranges) {
                if (!parts.empty() && r.First - parts.back().second <= second)
                    parts.back().second = r.Last;
                else
                    parts.emplace_back(r.First, r.Last);
            }
            if (!parts.empty() && parts.front().first <= second)
                parts.front().first = 0;
            if (!parts.empty() && last - parts.back().second <= second)
                parts.back().second = last;
            // The breaks lie between the parts and at the ends.
            int breaks = int(parts.size()) - 1;
            if (!parts.empty() && parts.front().first > 0)
                ++breaks;
            if (!parts.empty() && parts.back().second < last)
                ++breaks;
            KeepProgramme(parts, breaks);
        });
}

// The open file's segments become the programme parts; those of other files stay after them.
void TfrmMain::KeepProgramme(const std::vector<std::pair<int64_t, int64_t>>& parts, int breaks) {
    if (breaks <= 0 || parts.empty()) {
        MessageDlg(this, "No ad breaks were found. The segment list is as it was.",
                   TMsgDlgType::mtInformation);
        return;
    }
    std::vector<TCutListEntry> programme;
    for (const auto& [first, last] : parts) {
        TCutListEntry e;
        e.Source = FViewer->FileName();
        e.Frames = {int32_t(first), int32_t(last)};
        e.Start = TAVIViewer::TimeToSeconds(FViewer->FrameToTime(first));
        e.End = TAVIViewer::TimeToSeconds(FViewer->FrameToTime(last + 1));
        programme.push_back(e);
    }
    Edit("Find Ad Breaks", [&] {
        std::erase_if(FSegments,
                      [&](const TCutListEntry& e) { return e.Source == FViewer->FileName(); });
        FSegments.insert(FSegments.begin(), programme.begin(), programme.end());
        FCutOut = false;
    });
    SegmentsChanged();
    FSegmentList->show();
    statusBar()->showMessage(
        QString("Found %1 ad %2; the %3 programme %4 in the segment list (Undo brings back the "
                "list before).")
            .arg(breaks)
            .arg(breaks == 1 ? "break" : "breaks")
            .arg(parts.size())
            .arg(parts.size() == 1 ? "part is" : "parts are"),
        MessageTime);
}

} // namespace zarvex
