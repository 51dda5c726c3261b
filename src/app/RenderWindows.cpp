// Draws the windows and the icon set offscreen into PNG files, so they can be looked at on a
// machine without a desktop: zarvex-render-windows OUTPUT_FOLDER
#include "app/RenderSupport.h"
#include "app/icons/ToolbarIcons.h"
#include "info/CodecForm.h"
#include "media/NullAudioSink.h"
#include "support/About.h"
#include "support/EditLib.h"
#include "support/FileDlg.h"
#include "support/PathDialog.h"
#include "support/ProdInfo.h"
#include "support/ProgressDlg.h"
#include "viewing/MainForm.h"
#include "viewing/SegmentsSaveForm.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace zarvex;

namespace zarvex::render {

namespace {
QString OutDir;
int Failures = 0;
} // namespace

void Save(const QImage& image, const QString& name) {
    const QString path = OutDir + "/" + name;
    if (image.isNull() || !image.save(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        ++Failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

QImage GrabShown(QWidget& w) {
    w.show();
    QApplication::processEvents();
    QImage shot = w.grab().toImage();
    w.hide();
    return shot;
}

QImage GrabModal(const std::function<void()>& run) {
    QImage shot;
    QTimer::singleShot(600, [&shot] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            shot = w->grab().toImage();
            if (auto* d = qobject_cast<QDialog*>(w))
                d->reject();
        }
    });
    run();
    return shot;
}

void Settle(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace zarvex::render

using namespace zarvex::render;

namespace {

void RenderCodecAdvice() {
    TDSOpenError error;
    error.VideoCodec = 0x33766964; // "div3"
    error.AudioFormat = 0x55;
    error.ErrorCode = 0x00040257;
    error.SuspectVideo = error.SuspectAudio = true;
    TfrmCodecs form;
    form.ShowError(error);
    Save(GrabShown(form), "codec-advice.png");
}

void RenderAbout() {
    TAboutForm about;
    about.Setup(ProductInfo);
    Save(GrabShown(about), "about.png");

    TProductInfo info = ProductInfo;
    info.ProductName = "Zarvex Professional Video Cutting Studio";
    info.ContactAddress.clear();
    TAboutForm longName;
    longName.Setup(info);
    Save(GrabShown(longName), "about-long-name-no-contact.png");
}

void RenderFileDialogs(const QString& folder) {
    for (const char* name : {"holiday.avi", "interview.AVI", "notes.txt", "trailer.avi"}) {
        QFile f(folder + "/" + name);
        f.open(QIODevice::WriteOnly);
    }
    QDir(folder).mkdir("parts");

    TFileOpenDialog open;
    open.InitialDir = folder;
    open.Filter = "AVI Files (*.avi)|*.avi|All Files (*.*)|*.*";
    Save(GrabModal([&] { open.Execute(); }), "file-open-dialog.png");

    TFileSaveDialog save;
    save.InitialDir = folder;
    save.Filter = "Image Files|*.bmp;*.jpg;*.jpeg|All Files|*.*";
    save.DefaultExt = "bmp";
    Save(GrabModal([&] { save.Execute(); }), "file-save-dialog.png");

    TPathDialog path;
    path.Title = "Select the output folder";
    path.SetDirectory(folder + "/");
    path.ShowStatus = true;
    path.SetStatusText("Parts are written into this folder.");
    Save(GrabModal([&] { path.Execute(); }), "path-dialog.png");
}

const char* const ImageNames[ToolbarImageCount] = {
    "Open",     "Save Selection", "First Frame", "Last Frame",   "Fast Backward",
    "Fast Fwd", "Prev Frame",     "Next Frame",  "Select Start", "Select End",
    "Play",     "Pause",          "Go to Start", "Go to End",    "Add Segment",
};

// Every image at its own size and doubled, with its number, on a light and a dark ground.
void RenderIconSheet() {
    const int cellW = 96, cellH = 92, cols = 7;
    const int rows = (ToolbarImageCount + cols - 1) / cols;
    for (const bool dark : {false, true}) {
        QImage sheet(cols * cellW, rows * cellH, QImage::Format_ARGB32);
        sheet.fill(dark ? QColor(0x2b, 0x2b, 0x2b) : QColor(0xf0, 0xf0, 0xf0));
        QPainter p(&sheet);
        p.setPen(dark ? Qt::white : Qt::black);
        QFont f = QApplication::font();
        f.setPixelSize(10);
        p.setFont(f);
        for (int i = 1; i <= ToolbarImageCount; ++i) {
            const int x = ((i - 1) % cols) * cellW, y = ((i - 1) / cols) * cellH;
            const QIcon icon = ToolbarIcon(i, dark);
            p.drawPixmap(x + 8, y + 20, icon.pixmap(24, 24));
            p.drawPixmap(x + 40, y + 8, icon.pixmap(48, 48));
            p.drawText(QRect(x, y + 60, cellW, 30), Qt::AlignHCenter | Qt::AlignTop,
                       QString("%1 %2").arg(i).arg(ImageNames[i - 1]));
        }
        p.end();
        Save(sheet, dark ? "toolbar-icons-dark.png" : "toolbar-icons.png");
    }
}

// The toolbar as the main window lays it out: buttons 34 x 30, 24-pixel images.
void RenderToolbar() {
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QToolBar(&host);
    bar->setIconSize(QSize(24, 24));
    layout->addWidget(bar);
    auto add = [bar](int image) {
        auto* button = new QToolButton(bar);
        button->setIcon(ToolbarIcon(image));
        button->setAutoRaise(true);
        button->setFixedSize(34, 30);
        bar->addWidget(button);
    };
    add(tiOpen);
    bar->addSeparator();
    for (int image : {tiPlay, tiFastBackward, tiFastForward, tiPreviousFrame, tiNextFrame})
        add(image);
    bar->addSeparator();
    add(tiSelectStart);
    add(tiSelectEnd);
    bar->addSeparator();
    add(tiSaveSelection);
    bar->addSeparator();
    add(tiAddSegment);
    host.resize(560, 34);
    const QImage shot = GrabShown(host);
    Save(shot, "toolbar.png");
    // Tripled without smoothing, to judge the images pixel by pixel.
    Save(shot.scaled(shot.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation),
         "toolbar-x3.png");
}

void RenderProgramIcon() {
    const QIcon icon = ProgramIcon();
    QImage sheet(16 + 32 + 48 + 256 + 50, 256 + 20, QImage::Format_ARGB32);
    sheet.fill(QColor(0xf0, 0xf0, 0xf0));
    QPainter p(&sheet);
    int x = 10;
    for (int size : {16, 32, 48, 256}) {
        p.drawPixmap(x, 10, icon.pixmap(size, size));
        x += size + 10;
    }
    p.end();
    Save(sheet, "program-icon.png");
}

void RenderProgress() {
    TfrmProgress progress;
    progress.SetTitle("Extracting...");
    progress.SetText("The selected segment is being extracted. Please wait...");
    progress.SetPosition(42);
    Save(GrabShown(progress), "progress-dialog.png");
}

void RenderNaturalEdit() {
    QWidget host;
    auto* layout = new QHBoxLayout(&host);
    layout->addWidget(new QLabel("Number of parts:", &host));
    auto* edit = new TNaturalEdit(&host);
    edit->SetMinValue(2);
    edit->SetMaxValue(99);
    edit->SetValue(4);
    edit->setFixedWidth(60);
    layout->addWidget(edit);
    host.resize(220, 40);
    Save(GrabShown(host), "natural-edit.png");
}

void RenderTrackLine() {
    TTrackLine track;
    track.resize(520, 34);
    track.MinPos = 0;
    track.MaxPos = 1000;
    track.SetCurPos(420);
    track.SetSelStart(200);
    track.SetSelEnd(700);
    Save(GrabShown(track), "track-line.png");
}

// A PAL-sized 20-second clip with sound made by ffmpeg; empty when it could not be made.
QString MakeClip(const QString& folder) {
    const QString clip = folder + "/holiday.avi";
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg",
                 {"-nostdin", "-loglevel", "error", "-y",
                  "-f",       "lavfi",     "-i",    "testsrc2=size=720x576:rate=25",
                  "-f",       "lavfi",     "-i",    "sine=frequency=440:sample_rate=44100",
                  "-t",       "20",        "-c:v",  "mpeg4",
                  "-q:v",     "3",         "-g",    "25",
                  "-c:a",     "pcm_s16le", clip});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg could not make %s\n", qPrintable(clip));
        return QString();
    }
    return clip;
}

// The clip open at 00:08.4 with 00:05.4 to 00:15.0 selected, so that the copy's start at the key
// frame before the selection shows; then at the window's first size.
void RenderMainWindow(const QString& clip) {
    TfrmMain form(nullptr, media::TNullAudioSink::Factory());
    form.resize(760, 640);
    form.show();
    form.OpenFile(clip);
    form.FViewer->SetPosition(54000000);
    form.acnSetStartSelectionExecute();
    form.FViewer->SetPosition(150000000);
    form.acnSetEndSelectionExecute();
    form.FViewer->SetPosition(84000000);
    Settle(500);
    Save(form.grab().toImage(), "main-window.png");

    // At its first size, with the longest texts its status bar shows.
    TfrmMain small(nullptr, media::TNullAudioSink::Factory());
    small.show();
    small.OpenFile(clip);
    small.FViewer->SetPosition(84000000);
    Settle(300);
    Save(small.grab().toImage(), "main-window-first-size.png");
}

// Three advertisements cut out of the clip: the window with the kept segments listed and shaded
// on the track line, and the dialog that saves them.
void RenderSegments(const QString& clip) {
    TfrmMain form(nullptr, media::TNullAudioSink::Factory());
    form.resize(860, 560);
    form.show();
    form.OpenFile(clip);
    const int64_t second = 10000000;
    for (const auto& [start, end] : {std::pair{0, 4}, {7, 12}, {16, 20}}) {
        form.FViewer->SetPosition(start * second);
        form.acnSetStartSelectionExecute();
        form.FViewer->SetPosition(end * second);
        form.acnSetEndSelectionExecute();
        form.acnAddSegmentExecute();
    }
    form.FViewer->SetPosition(9 * second);
    Settle(500);
    Save(form.grab().toImage(), "main-window-segments.png");

    QTimer::singleShot(300, [] {
        if (auto* d = qobject_cast<TfrmSegmentsSave*>(QApplication::activeModalWidget()))
            d->edtFileName->setText("/home/anna/Videos/holiday-without-ads.avi");
    });
    Save(GrabModal([&] { form.miSaveSegmentsClick(); }), "save-segments.png");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The file dialog remembers its state in the user's settings, and the timeline keeps its
    // pictures in the user's cache; keep both untouched.
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", qPrintable(config.path()), 1);
    setenv("XDG_CACHE_HOME", qPrintable(config.path() + "/cache"), 1);
    QApplication app(argc, argv);
    QApplication::setWindowIcon(ProgramIcon());

    OutDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    if (!QDir().mkpath(OutDir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(OutDir));
        return 1;
    }
    QTemporaryDir samples(QDir::tempPath() + "/videos-XXXXXX");
    RenderAbout();
    RenderFileDialogs(samples.path());
    RenderIconSheet();
    RenderToolbar();
    RenderProgramIcon();
    RenderProgress();
    RenderNaturalEdit();
    RenderTrackLine();
    RenderCodecAdvice();
    RenderCutDiagram();
    const QString clip = MakeClip(samples.path());
    if (clip.isEmpty())
        return 1;
    RenderMainWindow(clip);
    RenderSegments(clip);
    RenderToolDialogs(clip);
    RenderJobsWindow();
    RenderTimelines(samples.path());
    RenderAdBreaks(samples.path());
    return Failures == 0 ? 0 : 1;
}
