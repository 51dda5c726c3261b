// The main window's commands end to end on real files: saving a selection by stream copy (from
// the key frame or frame-exact) and through compressors (checked by ffprobe), the refusals, the
// split tool's second instance, help, system information and the about box, with every modal window
// answered.
#include "viewing/MainForm.h"

#include "avi_input/AVIRead.h"
#include "export/SaveMovieForm.h"
#include "media/ExactCut.h"
#include "media/NullAudioSink.h"
#include "splitting/ZarvexCls.h"
#include "support/ProgressDlg.h"
#include "support/ShellOpen.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"
#include "viewing/VideoWindow.h"

#include "fixtures/MediaFixture.h"
#include "fixtures/ModalCatcher.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

constexpr int64_t FrameTime = 400000; // 25 frames per second

std::map<std::string, std::string> Probe(const std::string& path, const std::string& stream) {
    const TCommandResult r = RunCapture(
        "ffprobe -v error -select_streams " + stream +
        " -count_packets -show_entries stream=codec_name,nb_read_packets -of compact=p=0 " +
        ShellQuote(path));
    return CompactFields(r.Output.substr(0, r.Output.find('\n')));
}

std::string DecodeMessages(const std::string& path) {
    return RunCapture("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -f null - 2>&1").Output;
}

// Fills the save dialog when it comes up and presses its OK.
struct TSaveAnswer {
    QString FileName;
    bool StreamCopy = true;
    QString VideoEncoder, AudioEncoder; // FFmpeg names, for a recompressing save
    bool Exact = false;                 // the frame-exact box, where it is offered
    bool* ExactOffered = nullptr;       // receives whether it was

    bool operator()(QWidget& window) const {
        auto* dialog = qobject_cast<TfrmVideoSave*>(&window);
        if (!dialog)
            return false;
        dialog->edtFileName->setText(FileName);
        if (dialog->cbxVideoNoRecompression->isChecked() != StreamCopy)
            dialog->cbxVideoNoRecompression->click();
        if (ExactOffered)
            *ExactOffered = dialog->cbxExactCut->isEnabled();
        if (dialog->cbxExactCut->isEnabled() && dialog->cbxExactCut->isChecked() != Exact)
            dialog->cbxExactCut->click();
        Choose(dialog->cbxVideo, dialog->VideoCompressors(), VideoEncoder);
        Choose(dialog->cbxAudio, dialog->AudioCompressors(), AudioEncoder);
        // Queued: OK may open a message box, and the catcher's timer does not fire again
        // while this call is still inside it.
        QMetaObject::invokeMethod(dialog->btnOK, &QPushButton::click, Qt::QueuedConnection);
        return true;
    }
    static void Choose(QComboBox* box, const std::vector<TCompressor>& list, const QString& name) {
        for (size_t i = 0; i < list.size(); ++i)
            if (QString::fromStdString(list[i].EncoderName) == name)
                box->setCurrentIndex(int(i));
    }
};

class MainFormCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        ZARVEX_REQUIRE_TOOL("ffprobe");
        // 4 s with sound, a key frame every second.
        Source = MakeMpeg4Avi(Dir, "clip with blanks.avi", 4.0, 25);
        ASSERT_FALSE(Source.empty());
        Form.OpenFile(QString::fromStdString(Source));
        ASSERT_TRUE(Form.FileIsOpen());
    }
    void Mark(int64_t startFrame, int64_t endFrame) {
        Form.FTrackLine->SetCurPos(startFrame * FrameTime);
        Form.acnSetStartSelection->trigger();
        Form.FTrackLine->SetCurPos(endFrame * FrameTime);
        Form.acnSetEndSelection->trigger();
    }
    std::vector<std::string> Texts(const TModalCatcher& catcher) const {
        std::vector<std::string> texts;
        for (const auto& seen : catcher.Seen)
            texts.push_back(seen.ClassName.toStdString() + ": " + seen.Text.toStdString());
        return texts;
    }

    TTempDir Dir;
    std::string Source;
    TfrmMain Form{nullptr, media::TNullAudioSink::Factory()};
};

} // namespace

TEST_F(MainFormCommandsTest, AStreamCopySaveCopiesFromTheKeyFrameToTheFrameBeforeTheEndMark) {
    const std::string out = Dir.File("part.avi");
    Mark(30, 50); // the copy starts at the key frame 25
    TModalCatcher catcher;
    catcher.Handle = TSaveAnswer{QString::fromStdString(Dir.File("part")), true, {}, {}};
    // The window's close box, pressed while the save runs, is refused.
    Form.show();
    int closeAttempts = 0;
    QTimer closer;
    closer.callOnTimeout([&] {
        if (Form.FProgress && closeAttempts++ == 0) {
            EXPECT_FALSE(Form.close());
        }
    });
    closer.start(0);
    Form.acnSave->trigger();
    closer.stop();
    EXPECT_GT(closeAttempts, 0) << "the save gave the window no chance to close";
    EXPECT_TRUE(Form.isVisible());
    EXPECT_TRUE(Form.isEnabled());
    ASSERT_EQ(Texts(catcher), std::vector<std::string>{"zarvex::TfrmVideoSave: "});
    EXPECT_EQ(DecodeMessages(out), "");
    EXPECT_EQ(Probe(out, "v:0")["nb_read_packets"], "25"); // frames 25 to 49
    EXPECT_EQ(FfmpegFrameBgr24(out, 0), FfmpegFrameBgr24(Source, 25));
    EXPECT_EQ(FfmpegFrameBgr24(out, 24), FfmpegFrameBgr24(Source, 49));
    EXPECT_EQ(Probe(out, "a:0")["codec_name"], "pcm_s16le");
    // The window is as it was: the file open, the selection kept, paused.
    EXPECT_TRUE(Form.FileIsOpen());
    EXPECT_EQ(Form.FTrackLine->SelStart(), 30 * FrameTime);
    EXPECT_EQ(Form.FProgress, nullptr);
    EXPECT_FALSE(Form.FViewer->Playing);
}

// The exact copy itself is the engine's; the window must offer it as the file allows, call it
// and show what it reports. The same cut made directly tells what that is.
TEST_F(MainFormCommandsTest, AFrameExactSaveGoesThroughTheExactCopyAndShowsItsMessage) {
    const std::string out = Dir.File("exact.avi");
    Mark(30, 50);
    // The timeline and the status bar know the key frames from the index: one a second.
    EXPECT_EQ(Form.FTrackLine->KeyFrames(),
              (std::vector<int64_t>{0, 25 * FrameTime, 50 * FrameTime, 75 * FrameTime}));
    EXPECT_EQ(Form.FTrackLine->CopyStart(), 25 * FrameTime);
    EXPECT_EQ(Form.StatusPanels[1]->text().toStdString(), "Key frame before the start: 25");

    TAVIFileReader reader;
    reader.Open(Source);
    TZarvex reference(reader);
    reference.FileName = Dir.File("reference.avi");
    const std::string message = media::CopySegmentExact(reference, 30, 49);

    TModalCatcher catcher;
    bool offered = false;
    catcher.Handle = TSaveAnswer{QString::fromStdString(out), true, {}, {}, true, &offered};
    Form.acnSave->trigger();
    EXPECT_EQ(offered, media::ExactCutRefusal(reader).empty());
    std::vector<std::string> expected{"zarvex::TfrmVideoSave: "};
    if (!message.empty())
        expected.push_back("QMessageBox: " + message);
    EXPECT_EQ(Texts(catcher), expected);
    EXPECT_EQ(DecodeMessages(out), "");
    EXPECT_EQ(Probe(out, "v:0")["nb_read_packets"],
              Probe(reference.FileName, "v:0")["nb_read_packets"]);

    Form.miCloseClick();
    EXPECT_TRUE(Form.FTrackLine->KeyFrames().empty());
    EXPECT_TRUE(Form.StatusPanels[1]->text().isEmpty());
}

// The save runs off the window's thread on a reader of its own: the window's timers keep
// ticking, Cancel ends it with a completed file, and the viewer's reader is left as it was.
TEST_F(MainFormCommandsTest, ASaveRunsBesideTheWindowAndCancelLeavesACompletedFile) {
    const std::string out = Dir.File("cancelled.avi");
    Mark(30, 99);
    TAVIStream& shown = *Form.FViewer->Reader().VideoStream();
    shown.Cursor = 17;
    TModalCatcher catcher;
    catcher.Handle = TSaveAnswer{QString::fromStdString(out), true, {}, {}, true};
    QElapsedTimer clock;
    qint64 longest = 0;
    bool clicked = false;
    QTimer ticks;
    ticks.callOnTimeout([&] {
        longest = std::max(longest, clock.restart());
        // A quarter in, some video is written whatever the machine's load: a cancel before
        // the first chunk leaves a complete file with no picture, which no decoder can check.
        // On a quick machine the save may be done before that, which also leaves a full file.
        if (Form.FProgress && !clicked && Form.FProgress->Position() >= 25) {
            Form.FProgress->btnCancel->click();
            clicked = true;
        }
    });
    clock.start();
    ticks.start(10);
    Form.acnSave->trigger();
    ticks.stop();
    EXPECT_LT(longest, 3000) << "the window's thread was held up";
    EXPECT_EQ(shown.Cursor, 17);
    EXPECT_EQ(DecodeMessages(out), "");
    EXPECT_GT(std::stoi(Probe(out, "v:0")["nb_read_packets"]), 0);
    EXPECT_TRUE(Form.isEnabled());
}

// Paused while playing, the position is the start of the picture on screen, so the marks name
// the frames seen and the copy (every frame a key frame here) holds exactly those.
TEST_F(MainFormCommandsTest, MarksAfterAPauseNameThePictureOnScreen) {
    const std::string source = MakeMpeg4Avi(Dir, "keys.avi", 4.0, 1, "96x64");
    ASSERT_FALSE(source.empty());
    Form.OpenFile(QString::fromStdString(source));
    TAVIViewer& viewer = *Form.FViewer;
    const auto playAndPause = [&](int64_t past) {
        Form.acnPlay->trigger();
        EXPECT_TRUE(QTest::qWaitFor([&] { return viewer.Position() > past; }, 20000));
        QTest::qWait(7); // somewhere inside a frame
        Form.acnPlay->trigger();
        const int64_t at = viewer.Position();
        EXPECT_EQ(at % FrameTime, 0) << at;
        EXPECT_EQ(Form.FTrackLine->CurPos(), at) << "reported";
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const auto f = viewer.VideoWindow()->Frame();
                return f && f->Position == at;
            },
            5000))
            << "the picture on screen starts at " << at;
        return at / FrameTime;
    };
    const int64_t first = playAndPause(10 * FrameTime);
    Form.acnSetStartSelection->trigger();
    const int64_t end = playAndPause((first + 10) * FrameTime);
    Form.acnSetEndSelection->trigger();
    ASSERT_LT(end, 100);

    const std::string out = Dir.File("seen.avi");
    TModalCatcher catcher;
    catcher.Handle = TSaveAnswer{QString::fromStdString(out), true, {}, {}};
    Form.acnSave->trigger();
    ASSERT_EQ(Texts(catcher), std::vector<std::string>{"zarvex::TfrmVideoSave: "});
    EXPECT_EQ(Probe(out, "v:0")["nb_read_packets"], std::to_string(end - first));
    EXPECT_EQ(FfmpegFrameBgr24(out, 0), FfmpegFrameBgr24(source, first));
    EXPECT_EQ(FfmpegFrameBgr24(out, end - first - 1), FfmpegFrameBgr24(source, end - 1));
}

TEST_F(MainFormCommandsTest, ARecompressingSaveWritesTheSelectionThroughTheChosenCompressors) {
    const std::string out = Dir.File("mp4.avi");
    Mark(25, 75);
    TModalCatcher catcher;
    catcher.Handle = TSaveAnswer{QString::fromStdString(out), false, "mpeg4", "libmp3lame"};
    Form.acnSave->trigger();
    ASSERT_EQ(Texts(catcher), std::vector<std::string>{"zarvex::TfrmVideoSave: "});
    EXPECT_EQ(DecodeMessages(out), "");
    EXPECT_EQ(Probe(out, "v:0")["codec_name"], "mpeg4");
    EXPECT_EQ(Probe(out, "a:0")["codec_name"], "mp3");
    const int frames = std::stoi(Probe(out, "v:0")["nb_read_packets"]);
    EXPECT_NEAR(frames, 50, 1);

    // Audio that cannot be decoded is saved as silence, and the window says so.
    const std::string unknown = MakeUnknownAudioAvi(Dir, "unknown audio.avi", 2.0);
    ASSERT_FALSE(unknown.empty());
    Form.OpenFile(QString::fromStdString(unknown));
    Mark(5, 30);
    catcher.Seen.clear();
    const std::string silent = Dir.File("silent.avi");
    catcher.Handle = TSaveAnswer{QString::fromStdString(silent), false, "mpeg4", "libmp3lame"};
    Form.acnSave->trigger();
    const std::vector<std::string> texts = Texts(catcher);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1].rfind("QMessageBox: The audio of the source cannot be decoded", 0), 0u)
        << texts[1];
    EXPECT_EQ(DecodeMessages(silent), "");
    EXPECT_EQ(Probe(silent, "a:0")["codec_name"], "mp3");
}

TEST_F(MainFormCommandsTest, RefusalsAndFailuresAreShownAndWriteNothing) {
    TModalCatcher catcher;
    // Both marks inside frame 10 (marks set from the viewer are frame starts and clear each
    // other, so only the timeline itself can hold them): nothing to copy, no dialog.
    Form.FTrackLine->SetSelStart(10 * FrameTime);
    Form.FTrackLine->SetSelEnd(10 * FrameTime + FrameTime / 4);
    Form.UpdateActionStates();
    Form.acnSave->trigger();
    ASSERT_EQ(catcher.Seen.size(), 1u);
    EXPECT_EQ(catcher.Seen[0].Text.toStdString(),
              "The selection is shorter than one frame. Please select a longer segment.");
    EXPECT_EQ(catcher.Seen[0].Icon, QMessageBox::Warning);

    // The source as output: refused by the dialog, the source left whole.
    const auto size = std::filesystem::file_size(Source);
    Mark(10, 20);
    catcher.Seen.clear();
    catcher.Answer = QMessageBox::Yes;
    int offered = 0;
    catcher.Handle = [&](QWidget& w) {
        // Once with the source, then cancelled once the refusal has been seen.
        if (offered++ == 0)
            return TSaveAnswer{QString::fromStdString(Source), true, {}, {}}(w);
        return false;
    };
    Form.acnSave->trigger();
    EXPECT_EQ(std::filesystem::file_size(Source), size);
    bool refused = false;
    for (const auto& seen : catcher.Seen)
        refused |= seen.Text == "The output file is the source file.";
    EXPECT_TRUE(refused) << ::testing::PrintToString(Texts(catcher));
}

TEST_F(MainFormCommandsTest, TheSplitToolStartsAsASecondInstanceWithTheWholePath) {
    std::vector<QStringList> started;
    QString program;
    const auto previous = SetStartProgramHandler([&](const QString& p, const QStringList& args) {
        program = p;
        started.push_back(args);
        return true;
    });
    Form.Splitintoequalsizedparts1->trigger();
    Form.miCloseClick();
    Form.Splitintoequalsizedparts1->trigger();
    SetStartProgramHandler(previous);
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0], (QStringList{"/chop", QString::fromStdString(Source)}));
    EXPECT_EQ(started[1], QStringList{"/chop"});
    EXPECT_EQ(program, QApplication::applicationFilePath());
}

TEST_F(MainFormCommandsTest, HelpOpensTheManualBesideTheProgramOrSaysWhichFileIsMissing) {
    const QString manual = QDir(QApplication::applicationDirPath()).filePath("manual.html");
    ASSERT_FALSE(QFile::exists(manual)) << "a manual is in the test folder already";
    std::vector<QUrl> opened;
    const auto previous = SetOpenUrlHandler([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    {
        TModalCatcher catcher;
        Form.miHelpTopics->trigger();
        ASSERT_EQ(catcher.Seen.size(), 1u);
        EXPECT_EQ(catcher.Seen[0].Text, "Unable to open file " + manual);
        EXPECT_EQ(catcher.Seen[0].Icon, QMessageBox::Warning);
    }
    {
        QFile f(manual);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<html></html>");
    }
    TModalCatcher catcher;
    Form.FormHelp(); // as F1 reaches it
    QFile::remove(manual);
    SetOpenUrlHandler(previous);
    EXPECT_TRUE(catcher.Seen.empty());
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(manual));
}

TEST_F(MainFormCommandsTest, SystemInformationAndAboutComeUpWithAndWithoutAFile) {
    TModalCatcher catcher;
    Form.miSystemInfo->trigger();
    Form.miCloseClick();
    Form.miSystemInfo->trigger();
    Form.miAbout->trigger();
    ASSERT_EQ(catcher.Seen.size(), 3u);
    EXPECT_EQ(catcher.Seen[0].Title.toStdString(), "System Information");
    EXPECT_TRUE(catcher.Seen[0].Text.contains("Streams:"));
    EXPECT_FALSE(catcher.Seen[0].Text.contains("The file is not opened"));
    EXPECT_TRUE(catcher.Seen[1].Text.contains("\nThe file is not opened\n"));
    EXPECT_EQ(catcher.Seen[2].ClassName.toStdString(), "zarvex::TAboutForm");
}

namespace {

// Types the name into the save dialog and accepts it queued, so that a question the dialog asks
// on accepting comes up while the catcher can answer it.
std::function<bool(QWidget&)> SaveAs(const std::string& path) {
    return [path](QWidget& window) {
        auto* dialog = qobject_cast<QFileDialog*>(&window);
        if (!dialog)
            return false;
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(path));
        QMetaObject::invokeMethod(
            dialog, [dialog] { static_cast<QDialog*>(dialog)->accept(); }, Qt::QueuedConnection);
        return true;
    };
}

int CountPackets(const std::string& path, const std::string& flags) {
    const TCommandResult r =
        RunCapture("ffprobe -v error " + flags + " -select_streams v:0 -count_packets " +
                   "-show_entries stream=nb_read_packets -of csv=p=0 " + ShellQuote(path));
    return r.ExitCode == 0 ? std::atoi(r.Output.c_str()) : -1;
}

} // namespace

// A recording cut off at 60 %: the window offers to rebuild the index, steps through the
// recovered frames exactly and writes a repaired copy that needs no scan.
TEST_F(MainFormCommandsTest, ACutOffFileOpensAfterARebuildAndSavesARepairedCopy) {
    const std::string cut = Dir.File("cut.avi");
    std::filesystem::copy_file(Source, cut);
    std::filesystem::resize_file(cut, std::filesystem::file_size(Source) * 6 / 10);
    {
        TModalCatcher catcher(QMessageBox::Yes);
        Form.OpenFile(QString::fromStdString(cut));
        const std::vector<std::string> texts = Texts(catcher);
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[0], "QMessageBox: The index is not found. Rebuild it by reading the "
                            "whole file?");
        EXPECT_EQ(texts[1].rfind("QMessageBox: Index: rebuilt by scanning", 0), 0u) << texts[1];
    }
    ASSERT_TRUE(Form.FileIsOpen());
    EXPECT_EQ(Form.FProgress, nullptr);
    EXPECT_TRUE(Form.windowTitle().contains("cut.avi (index rebuilt)"));
    EXPECT_TRUE(Form.miSaveRepaired->isEnabled());
    TAVIViewer& viewer = *Form.FViewer;
    const int frames = int(viewer.Reader().VideoStream()->EntryCount());
    // At least what ffmpeg finds, less a last frame cut off.
    EXPECT_GE(frames, CountPackets(cut, "") - 1);
    // The player reads the rebuilt index: its length is the frames recovered, and the last of
    // them is the intact file's picture.
    EXPECT_EQ(viewer.Duration, frames * FrameTime);
    const auto showsFrame = [&](int frame) {
        return QTest::qWaitFor(
            [&] {
                const auto f = viewer.VideoWindow()->Frame();
                return f && f->Position == frame * FrameTime;
            },
            30000);
    };
    for (int i = 0; i < 37; ++i)
        Form.acnNextFrame->trigger();
    EXPECT_EQ(viewer.Position(), 37 * FrameTime);
    ASSERT_TRUE(showsFrame(37));
    EXPECT_EQ(viewer.VideoWindow()->Frame()->Pixels, FfmpegFramePixels(Source, 37, "bgra"));
    Form.acnLastFrame->trigger();
    Form.acnPrevFrame->trigger();
    Form.acnNextFrame->trigger();
    ASSERT_TRUE(showsFrame(frames - 1));
    EXPECT_EQ(viewer.VideoWindow()->Frame()->Pixels, FfmpegFramePixels(Source, frames - 1, "bgra"));

    const std::string repaired = Dir.File("repaired.avi");
    {
        TModalCatcher catcher(QMessageBox::Yes);
        catcher.Handle = SaveAs(repaired);
        Form.miSaveRepaired->trigger();
        EXPECT_EQ(Texts(catcher), std::vector<std::string>{"QFileDialog: "});
        // The source itself is refused, after the dialog's own overwrite question.
        catcher.Handle = SaveAs(cut);
        Form.miSaveRepaired->trigger();
        ASSERT_FALSE(catcher.Seen.empty());
        EXPECT_EQ(Texts(catcher).back(), "QMessageBox: The output file is the source file.");
    }
    EXPECT_EQ(std::filesystem::file_size(cut), std::filesystem::file_size(Source) * 6 / 10);
    EXPECT_EQ(CountPackets(repaired, ""), frames);
    EXPECT_EQ(CountPackets(repaired, "-fflags +ignidx"), frames);
    EXPECT_EQ(DecodeMessages(repaired), "");
}

// Declined, the file is refused as it always was.
TEST_F(MainFormCommandsTest, ACutOffFileIsRefusedWhenTheRebuildIsDeclined) {
    const std::string cut = Dir.File("cut.avi");
    std::filesystem::copy_file(Source, cut);
    std::filesystem::resize_file(cut, std::filesystem::file_size(Source) / 2);
    TModalCatcher catcher(QMessageBox::No);
    Form.OpenFile(QString::fromStdString(cut));
    EXPECT_EQ(Texts(catcher), (std::vector<std::string>{
                                  "QMessageBox: The index is not found. Rebuild it by reading "
                                  "the whole file?",
                                  "QMessageBox: The index is not found"}));
    EXPECT_FALSE(Form.FileIsOpen());
    EXPECT_FALSE(Form.miSaveRepaired->isEnabled());
    EXPECT_EQ(Form.windowTitle(), "Zarvex");
}
