// The main window zoomed in on a minute of recording with changing pictures and sound, once in
// the desktop's light colours and once in dark ones.
#include "app/RenderSupport.h"

#include "media/NullAudioSink.h"
#include "viewing/MainForm.h"
#include "viewing/VideoView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPalette>
#include <QProcess>
#include <QStyle>
#include <QStyleFactory>

#include <cstdio>

namespace zarvex::render {

namespace {

// Four scenes of 15 s each, with a tone that swells and fades and falls silent between them.
QString MakeRecording(const QString& folder) {
    const QString clip = folder + "/evening-news.avi";
    const QString scenes =
        "testsrc2=size=720x576:rate=25:d=15[a];smptebars=size=720x576:rate=25:d=15[b];"
        "life=size=720x576:rate=25:mold=10:r=25:ratio=0.2:death_color=#303080:"
        "life_color=#f0c040,trim=duration=15[c];rgbtestsrc=size=720x576:rate=25:d=15[d];"
        "[a][b][c][d]concat=n=4:v=1:a=0[v]";
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg",
                 {"-nostdin",
                  "-loglevel",
                  "error",
                  "-y",
                  "-filter_complex",
                  scenes,
                  "-f",
                  "lavfi",
                  "-i",
                  "aevalsrc=0.9*sin(440*2*PI*t)*abs(sin(PI*t/15))*(0.4+0.6*abs(sin(2*t))):s=44100",
                  "-map",
                  "[v]",
                  "-map",
                  "0:a",
                  "-t",
                  "60",
                  "-c:v",
                  "mpeg4",
                  "-q:v",
                  "3",
                  "-g",
                  "25",
                  "-c:a",
                  "libmp3lame",
                  "-b:a",
                  "128k",
                  clip});
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg could not make %s\n", qPrintable(clip));
        return QString();
    }
    return clip;
}

QPalette DarkPalette() {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(225, 225, 225));
    dark.setColor(QPalette::Base, QColor(30, 30, 32));
    dark.setColor(QPalette::AlternateBase, QColor(55, 55, 58));
    dark.setColor(QPalette::Text, QColor(225, 225, 225));
    dark.setColor(QPalette::Button, QColor(50, 50, 53));
    dark.setColor(QPalette::ButtonText, QColor(225, 225, 225));
    dark.setColor(QPalette::Mid, QColor(90, 90, 95));
    dark.setColor(QPalette::Highlight, QColor(60, 130, 220));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Disabled, QPalette::Base, QColor(45, 45, 48));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
    return dark;
}

// Half a minute in view around 0:21, a selection across a change of scene, once the overview is
// complete.
void RenderZoomed(const QString& clip, const QString& name) {
    TfrmMain form(nullptr, media::TNullAudioSink::Factory());
    form.resize(900, 640);
    form.show();
    form.OpenFile(clip);
    const int64_t second = 10000000;
    form.FViewer->SetPosition(17 * second);
    form.acnSetStartSelectionExecute();
    form.FViewer->SetPosition(33 * second);
    form.acnSetEndSelectionExecute();
    form.FViewer->SetPosition(21 * second);
    form.acnZoomInExecute();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 20000 && !(form.Overview() && form.Overview()->Complete()))
        Settle(100);
    Settle(600);
    Save(form.grab().toImage(), name);
}

} // namespace

void RenderTimelines(const QString& folder) {
    const QString clip = MakeRecording(folder);
    if (clip.isEmpty()) {
        Save(QImage(), "main-window-timeline.png"); // counts the failure
        return;
    }
    RenderZoomed(clip, "main-window-timeline.png");
    const QPalette light = QApplication::palette();
    // Setting a style deletes the one before: only its name is kept.
    const QString style = QApplication::style()->name();
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setPalette(DarkPalette());
    RenderZoomed(clip, "main-window-timeline-dark.png");
    QApplication::setStyle(style);
    QApplication::setPalette(light);
}

} // namespace zarvex::render
