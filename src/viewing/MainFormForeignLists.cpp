// The cut lists of other programs in the main window: read into segments of the open file
// through its frame clock, written from the kept segments, and moved by an offset in frames.
#include "viewing/MainForm.h"

#include "avi_input/AVIRead.h"
#include "support/Errors.h"
#include "support/FrameClock.h"
#include "support/MessageDlg.h"
#include "support/QtPaths.h"
#include "viewing/VideoView.h"

#include <QAction>
#include <QFileInfo>
#include <QInputDialog>

#include <filesystem>

namespace zarvex {

namespace {

// At most this many refused lines are shown; a list of nothing but junk would fill the screen.
constexpr size_t ShownErrors = 20;

TListVideo VideoOf(const TAVIFileReader& reader) {
    const TAVIStream* video = reader.VideoStream();
    if (!video || video->EntryCount() == 0)
        throw EZarvexError("The video stream is not found in the open file.");
    return {int64_t(video->EntryCount()), video->Header.dwRate, video->Header.dwScale};
}

QString FileNameOf(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).fileName();
}

QString RangeCount(size_t n) {
    return QString("%1 %2").arg(n).arg(n == 1 ? "range" : "ranges");
}

} // namespace

QString ListFormatTitle(TListFormat format) {
    switch (format) {
    case TListFormat::CutlistAt:
        return "cutlist.at";
    case TListFormat::ComskipTxt:
        return "comskip";
    case TListFormat::MPlayerEdl:
        return "MPlayer EDL";
    case TListFormat::KodiEdl:
        return "Kodi EDL";
    case TListFormat::VdrMarks:
        return "VDR marks";
    case TListFormat::LosslessCsv:
        return "LosslessCut CSV";
    case TListFormat::LosslessLlc:
        return "LosslessCut project";
    case TListFormat::VirtualDubVcf:
        return "VirtualDub";
    case TListFormat::Zarvex:
        return "segment list";
    case TListFormat::Unknown:
        break;
    }
    return "unknown";
}

bool TfrmMain::ReadForeignFile(const std::string& text, const std::string& path,
                               TLoadedList& loaded) {
    loaded.Path = path;
    loaded.List = ReadForeignList(text, DetectListFormat(text, path));
    const TForeignList& list = loaded.List;
    const QString what = ListFormatTitle(list.Format) + " list " + FileNameOf(path);
    if (!list.Errors.empty()) {
        QString lines;
        for (size_t i = 0; i < list.Errors.size() && i < ShownErrors; ++i)
            lines += QString("\nLine %1: %2")
                         .arg(list.Errors[i].Line)
                         .arg(QString::fromStdString(list.Errors[i].Text));
        if (list.Errors.size() > ShownErrors)
            lines += QString("\n... and %1 more.").arg(list.Errors.size() - ShownErrors);
        throw EZarvexError(
            QString("The %1 has lines that cannot be read:%2").arg(what, lines).toStdString());
    }
    // A removal list of nothing keeps everything (comskip found no commercials).
    if (list.Ranges.empty() && !RemovesParts(list.Format))
        throw EZarvexError(QString("The %1 holds no range.").arg(what).toStdString());
    std::error_code error;
    const uint64_t size = std::filesystem::file_size(FViewer->FileName(), error);
    const std::string why =
        CutlistMismatch(list, FileNameOf(FViewer->FileName()).toStdString(), error ? 0 : size);
    return why.empty() || MessageDlg(this, QString::fromStdString(why) + "\n\nLoad it anyway?",
                                     TMsgDlgType::mtConfirmation,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::vector<TCutListEntry> TfrmMain::ForeignEntries(const TLoadedList& loaded, int& cutAtEnd) {
    const TListVideo video = VideoOf(FViewer->Reader());
    const TKeptFrames kept = KeptFrames(loaded.List, video, loaded.Offset);
    if (kept.Ranges.empty())
        throw EZarvexError(QString("The %1 list %2 keeps no frame of %3 (it has %4 frames).")
                               .arg(ListFormatTitle(loaded.List.Format), FileNameOf(loaded.Path),
                                    FileNameOf(FViewer->FileName()))
                               .arg(video.FrameCount)
                               .toStdString());
    const TFrameClock clock(video.Rate, video.Scale);
    std::vector<TCutListEntry> entries;
    for (const TKeepRange& r : kept.Ranges) {
        TCutListEntry e;
        e.Source = FViewer->FileName();
        e.Frames = r;
        e.Start = TAVIViewer::TimeToSeconds(clock.FrameStart(r.First));
        e.End = TAVIViewer::TimeToSeconds(clock.FrameStart(int64_t(r.Last) + 1));
        entries.push_back(e);
    }
    cutAtEnd = kept.CutAtEnd;
    return entries;
}

void TfrmMain::ShowCutAtEnd(int cut) {
    if (cut <= 0)
        return;
    MessageDlg(this,
               QString("%1 of the list ran past the end of the video (%2 frames) and %3 cut "
                       "at its last frame.")
                   .arg(RangeCount(size_t(cut)))
                   .arg(VideoOf(FViewer->Reader()).FrameCount)
                   .arg(cut == 1 ? "was" : "were"),
               TMsgDlgType::mtInformation);
}

void TfrmMain::miOffsetListClick() {
    if (!FLoadedList || !FileIsOpen() || FSegments != FLoadedList->Segments)
        return;
    TLoadedList moved = *FLoadedList;
    bool ok = false;
    const QString label =
        QString("The %1 list %2 gives %3.\nLists made for another cutter are often a frame or "
                "two off.\n\nMove every range by frames (later when positive):")
            .arg(ListFormatTitle(moved.List.Format), FileNameOf(moved.Path),
                 RangeCount(FSegments.size()));
    const int offset = QInputDialog::getInt(this, "Offset Loaded List", label, int(moved.Offset),
                                            -100000, 100000, 1, &ok);
    if (!ok || offset == moved.Offset)
        return;
    moved.Offset = offset;
    int cut = 0;
    try {
        moved.Segments = ForeignEntries(moved, cut);
    } catch (const std::exception& e) {
        ShowWarning(QString::fromUtf8(e.what()));
        return;
    }
    Edit("Offset Loaded List", [&] { FSegments = moved.Segments; });
    FLoadedList = std::move(moved);
    SegmentsChanged();
    ShowCutAtEnd(cut);
}

std::string TfrmMain::ForeignListText(TListFormat format) {
    std::vector<TKeepRange> kept;
    for (const TCutListEntry& e : KeptSegments()) {
        if (e.Source != FViewer->FileName())
            throw EZarvexError(
                "The " + ListFormatTitle(format).toStdString() +
                " format lists ranges of one video: " + FileNameOf(e.Source).toStdString() +
                " cannot be in it. Save a segment list (.cuts) instead.");
        kept.push_back(e.Frames);
    }
    TForeignList list = ListOfKeptFrames(format, kept, VideoOf(FViewer->Reader()));
    // cutlist.at tells the file it was made for, which is asked about when it is read.
    list.General.ApplyToFile = FileNameOf(FViewer->FileName()).toStdString();
    std::error_code error;
    if (const uintmax_t size = std::filesystem::file_size(FViewer->FileName(), error); !error)
        list.General.OriginalFileSize = int64_t(size);
    return WriteForeignList(list);
}

} // namespace zarvex
