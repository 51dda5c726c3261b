// The main window's exact navigation on ffmpeg-made files: typed times and frame numbers and
// Go To show the picture ffmpeg decodes in that slot, the keys go where they say, and input
// that names no frame is explained and moves nothing.
#include "viewing/MainForm.h"

#include "media/NullAudioSink.h"
#include "viewing/GoToForm.h"
#include "viewing/PositionBox.h"
#include "viewing/SegmentList.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"
#include "viewing/VideoWindow.h"

#include "fixtures/MediaFixture.h"
#include "fixtures/ModalCatcher.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <sstream>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

class MainFormNavigationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        Form.show();
        Form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
    }
    void Open(const std::string& file) {
        ASSERT_FALSE(file.empty());
        Form.OpenFile(QString::fromStdString(file));
        ASSERT_TRUE(Form.FileIsOpen());
    }
    int64_t Frame() const { return Form.FViewer->TimeToFrame(Form.FViewer->Position()); }
    // The picture of the frame on screen, once it is there.
    media::TVideoFramePtr Shown(int64_t frame) const {
        media::TVideoFramePtr shown;
        (void)QTest::qWaitFor(
            [&] {
                shown = Form.FViewer->VideoWindow()->Frame();
                return shown && shown->FrameNumber == frame;
            },
            30000);
        return shown && shown->FrameNumber == frame ? shown : nullptr;
    }
    void Type(QLineEdit* field, const QString& text) {
        Form.activateWindow(); // a warning before may have taken it
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
        QTest::mouseClick(field, Qt::LeftButton);
        ASSERT_TRUE(field->hasFocus());
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(&Form, key, modifiers);
    }
    TPositionBox& Box() const { return *Form.FPositionBox; }

    TTempDir Dir;
    TfrmMain Form{nullptr, media::TNullAudioSink::Factory()};
};

// ffprobe's view of the video: the picture types in display order, and the key flags of the
// chunks, both one character a frame.
std::string Probe(const std::string& file, const std::string& entries) {
    const TCommandResult r = RunCapture("ffprobe -v error -select_streams v:0 -show_entries " +
                                        entries + " -of csv=p=0 " + ShellQuote(file));
    std::string column;
    std::istringstream lines(r.Output);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            column += line[0];
    return column;
}

} // namespace

TEST_F(MainFormNavigationTest, TypedTimesFrameNumbersAndGoToShowThatFrame) {
    ZARVEX_REQUIRE_TOOL("ffprobe");
    // B-frames: the picture in a slot is not the one of the chunk at that place.
    const std::string file = Dir.File("b.avi");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=160x120:rate=25 -t 4 -c:v mpeg4 -q:v 4 "
                          "-g 25 -bf 2 " +
                          ShellQuote(file)));
    Open(file);
    const std::vector<uint64_t> pictures = FfmpegSlotHashes(file, 160, 120, "bgra");
    const std::string types = Probe(file, "frame=pict_type");
    const std::string keys = Probe(file, "packet=flags"); // K or _
    ASSERT_EQ(pictures.size(), 100u);
    ASSERT_EQ(types.size(), 100u);
    ASSERT_EQ(keys.substr(0, 50), "K" + std::string(24, '_') + "K" + std::string(23, '_') + "K");
    EXPECT_EQ(Box().lblTotal->text().toStdString(), "/ 0:00:04.000");

    const struct {
        QLineEdit* Field;
        const char* Text;
        int64_t Frame;
        const char* Time;
    } typed[] = {{Box().edtTime, "1.04", 26, "0:00:01.040"},
                 {Box().edtTime, "0:02.12", 53, "0:00:02.120"},
                 {Box().edtTime, "0:00:03,000", 75, "0:00:03.000"}, // an I picture
                 {Box().edtTime, "#37", 37, "0:00:01.480"},
                 {Box().edtFrame, "62", 62, "0:00:02.480"},
                 {Box().edtFrame, "#49", 49, "0:00:01.960"}}; // a key frame
    for (const auto& t : typed) {
        Type(t.Field, t.Text);
        EXPECT_EQ(Frame(), t.Frame) << t.Text;
        const media::TVideoFramePtr shown = Shown(t.Frame);
        ASSERT_TRUE(shown) << t.Text;
        EXPECT_EQ(HashBytes(shown->Pixels.data(), shown->Pixels.size()), pictures[size_t(t.Frame)])
            << t.Text;
        EXPECT_EQ(Box().edtTime->text().toStdString(), t.Time);
        EXPECT_EQ(Box().edtFrame->text().toStdString(), std::to_string(t.Frame));
        const char type = types[size_t(t.Frame)];
        // Key frames where the stream copy starts, as the timeline's ticks; else the picture.
        const std::string kind =
            keys[size_t(t.Frame)] == 'K' ? "key frame" : std::string(1, type) + " frame";
        // The kind is told once the picture has reached the window.
        (void)QTest::qWaitFor([&] { return Box().lblKind->text() == kind.c_str(); }, 10000);
        EXPECT_EQ(Box().lblKind->text().toStdString(), kind) << t.Text;
        EXPECT_FALSE(t.Field->hasFocus()); // the keys are the commands' again
    }

    TModalCatcher catcher;
    QString offered;
    catcher.Handle = [&](QWidget& window) {
        auto* dialog = qobject_cast<TfrmGoTo*>(&window);
        if (!dialog)
            return false;
        offered = dialog->edtPosition->text();
        dialog->edtPosition->setText("#81");
        QMetaObject::invokeMethod(dialog->btnOK, &QPushButton::click, Qt::QueuedConnection);
        return true;
    };
    Key(Qt::Key_G, Qt::ControlModifier);
    ASSERT_EQ(catcher.Seen.size(), 1u);
    EXPECT_EQ(offered.toStdString(), "0:00:01.960"); // it offers where we are
    EXPECT_EQ(Frame(), 81);
    const media::TVideoFramePtr shown = Shown(81);
    ASSERT_TRUE(shown);
    EXPECT_EQ(HashBytes(shown->Pixels.data(), shown->Pixels.size()), pictures[81]);
}

TEST_F(MainFormNavigationTest, TheKeysGoWhereTheySay) {
    // 75 s at 5 frames per second, a key frame every 10 s.
    Open(MakeMpeg4Avi(Dir, "long.avi", 75.0, 50, "64x48", 5, false));
    const int64_t end = Form.FViewer->Duration;
    const std::vector<std::pair<Qt::Key, int64_t>> keyFrames = {
        {Qt::Key_Down, 50}, {Qt::Key_Down, 100}, {Qt::Key_Up, 50}, {Qt::Key_Up, 0}};
    for (const auto& [key, frame] : keyFrames) {
        Key(key);
        EXPECT_EQ(Frame(), frame);
    }
    Key(Qt::Key_PageDown);
    EXPECT_EQ(Frame(), 300);
    Key(Qt::Key_PageDown); // less than a minute is left: the end, as End goes
    EXPECT_EQ(Form.FViewer->Position(), end);
    EXPECT_EQ(Box().lblKind->text().toStdString(), "end of video");
    Key(Qt::Key_PageUp);
    EXPECT_EQ(Frame(), 75);
    Key(Qt::Key_PageUp);
    EXPECT_EQ(Frame(), 0);

    // I and O mark as 1 and 2 do; the edges are the marks and the segments' ends.
    const auto markAt = [&](int64_t frame, Qt::Key key) {
        Form.FTrackLine->SetCurPos(Form.FViewer->FrameToTime(frame));
        Key(key);
    };
    markAt(10, Qt::Key_I);
    markAt(20, Qt::Key_O);
    EXPECT_EQ(Form.FTrackLine->SelStart(), Form.FViewer->FrameToTime(10));
    EXPECT_EQ(Form.FTrackLine->SelEnd(), Form.FViewer->FrameToTime(20));
    Key(Qt::Key_A);
    markAt(30, Qt::Key_I);
    markAt(40, Qt::Key_O);
    Form.FTrackLine->SetCurPos(0);
    for (const int64_t edge : {10, 20, 30, 40, 40}) {
        Key(Qt::Key_Down, Qt::ControlModifier);
        EXPECT_EQ(Frame(), edge);
    }
    Key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(Frame(), 30);
    // The segment list keeps its arrows.
    Form.FSegmentList->Rows()->setFocus();
    QTest::keyClick(Form.FSegmentList->Rows(), Qt::Key_Down);
    EXPECT_EQ(Frame(), 30);

    // L plays, K pauses, J plays backwards in steps until K (or the start).
    Form.pnlDisplay->setFocus();
    Key(Qt::Key_L);
    EXPECT_TRUE(Form.FViewer->Playing);
    Key(Qt::Key_K);
    EXPECT_FALSE(Form.FViewer->Playing);
    Form.FTrackLine->SetCurPos(Form.FViewer->FrameToTime(100));
    Key(Qt::Key_J);
    EXPECT_TRUE(Form.ReversePlaying());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Frame() < 95; }, 10000));
    Key(Qt::Key_K);
    EXPECT_FALSE(Form.ReversePlaying());
    const int64_t stopped = Frame();
    QTest::qWait(300);
    EXPECT_EQ(Frame(), stopped);
    Key(Qt::Key_J);
    Key(Qt::Key_Right); // any other move stops it too
    const int64_t moved = Frame();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form.ReversePlaying(); }, 10000));
    EXPECT_EQ(Frame(), moved);
}

TEST_F(MainFormNavigationTest, InputThatNamesNoFrameIsExplainedAndMovesNothing) {
    Open(MakeMpeg4Avi(Dir, "clip.avi", 2.0, 25, "160x120", 25, false));
    Form.FTrackLine->SetCurPos(Form.FViewer->FrameToTime(12));
    const struct {
        QLineEdit* Field;
        const char* Text;
        const char* Says;
    } bad[] = {{Box().edtTime, "abc", "m:ss.mmm"},
               {Box().edtTime, "1:75", "m:ss.mmm"}, // seconds run to 59
               {Box().edtTime, "#999", "past the end"},
               {Box().edtTime, "0:00:03.000", "frames 0 to 49"},
               {Box().edtFrame, "12.5", "not a frame number"}};
    for (const auto& b : bad) {
        TModalCatcher catcher;
        Type(b.Field, b.Text);
        ASSERT_EQ(catcher.Seen.size(), 1u) << b.Text;
        EXPECT_NE(catcher.Seen[0].Text.toStdString().find(b.Says), std::string::npos)
            << catcher.Seen[0].Text.toStdString();
        EXPECT_EQ(Frame(), 12) << b.Text;
        EXPECT_EQ(b.Field->text().toStdString(), b.Text); // kept to be corrected
    }
    QTest::mouseClick(Box().edtTime, Qt::LeftButton);
    QTest::keyClicks(Box().edtTime, "9");
    QTest::keyClick(Box().edtTime, Qt::Key_Escape);
    EXPECT_EQ(Box().edtTime->text().toStdString(), "0:00:00.480");

    // Go To keeps its dialog open on a bad text, until it is cancelled.
    TModalCatcher catcher;
    QStringList offered;
    catcher.Handle = [&](QWidget& window) {
        auto* dialog = qobject_cast<TfrmGoTo*>(&window);
        if (!dialog)
            return false;
        offered << dialog->edtPosition->text();
        if (offered.size() > 1)
            return false;
        dialog->edtPosition->setText("later");
        QMetaObject::invokeMethod(dialog->btnOK, &QPushButton::click, Qt::QueuedConnection);
        return true;
    };
    Form.acnGoTo->trigger();
    ASSERT_EQ(catcher.Seen.size(), 3u); // the dialog, the warning, the dialog still there
    EXPECT_EQ(catcher.Seen[1].ClassName.toStdString(), "QMessageBox");
    EXPECT_EQ(offered.value(1).toStdString(), "later");
    EXPECT_EQ(Frame(), 12);
}
