// The main window after "Find Ad Breaks" on a recording with one block of two adverts framed by
// black and silence, and the dialog itself.
#include "app/RenderSupport.h"

#include "media/Comskip.h"
#include "media/NullAudioSink.h"
#include "viewing/BackgroundWork.h"
#include "viewing/FindBreaksForm.h"
#include "viewing/MainForm.h"
#include "viewing/VideoView.h"

#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>

namespace zarvex::render {

namespace {

// Programme, black, advert, black, advert, black, programme: 40 + 0.5 + 15 + 0.5 + 15 + 0.5 + 40 s.
QString MakeRecording(const QString& folder) {
    const QString clip = folder + "/film-with-ads.avi";
    const QString size = "size=720x576:rate=25";
    const QString black = "color=black:" + size + ":d=0.5";
    const QString silent = "anullsrc=channel_layout=mono:sample_rate=44100,atrim=duration=0.5";
    const QString graph =
        "testsrc2=" + size + ":d=40[v0];sine=f=440:sample_rate=44100:d=40[a0];" + black + "[v1];" +
        silent + "[a1];smptebars=" + size + ":d=15[v2];sine=f=880:sample_rate=44100:d=15[a2];" +
        black + "[v3];" + silent + "[a3];rgbtestsrc=" + size +
        ":d=15[v4];sine=f=660:sample_rate=44100:d=15[a4];" + black + "[v5];" + silent +
        "[a5];mandelbrot=" + size +
        ",trim=duration=40[v6];sine=f=330:sample_rate=44100:d=40[a6];"
        "[v0][a0][v1][a1][v2][a2][v3][a3][v4][a4][v5][a5][v6][a6]concat=n=7:v=1:a=1[v][a]";
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-nostdin", "-loglevel", "error",      "-y",   "-filter_complex",
                            graph,      "-map",      "[v]",        "-map", "[a]",
                            "-c:v",     "mpeg4",     "-q:v",       "4",    "-g",
                            "50",       "-c:a",      "libmp3lame", "-b:a", "96k",
                            clip});
    if (!ffmpeg.waitForFinished(180000) || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg could not make %s\n", qPrintable(clip));
        return QString();
    }
    return clip;
}

} // namespace

void RenderAdBreaks(const QString& folder) {
    TfrmFindBreaks dialog(QString::fromStdString(
        media::ComskipProgram().empty() ? media::ComskipInstallHint() : std::string()));
    Save(GrabShown(dialog), "find-ad-breaks.png");

    const QString clip = MakeRecording(folder);
    if (clip.isEmpty()) {
        Save(QImage(), "main-window-ad-breaks.png"); // counts the failure
        return;
    }
    TfrmMain form(nullptr, media::TNullAudioSink::Factory());
    form.resize(900, 640);
    form.show();
    form.OpenFile(clip);
    form.FindAdBreaks(TFindBreaksChoice());
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 120000 &&
           (form.FSpotWork->Running() || !(form.Overview() && form.Overview()->Complete())))
        Settle(100);
    form.FViewer->SetPosition(int64_t(48) * 10000000); // in the first advert
    Settle(600);
    Save(form.grab().toImage(), "main-window-ad-breaks.png");
}

} // namespace zarvex::render
