// The main window on real ffmpeg-made files: captions, action states, the status bar's texts,
// marks, steps, drops, the wheel, the end of playback and the boxes shown for failed opens.
#include "viewing/MainForm.h"

#include "app/StartUp.h"
#include "app/icons/ToolbarIcons.h"
#include "media/NullAudioSink.h"
#include "splitting/ChopForm.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"
#include "viewing/VideoWindow.h"

#include "fixtures/MediaFixture.h"
#include "fixtures/ModalCatcher.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPalette>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

constexpr int64_t Second = 10000000;

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        // 12 s at 25 fps with a key frame every 2 s.
        static std::string clip;
        static TTempDir shared;
        if (clip.empty())
            clip = MakeMpeg4Avi(shared, "clip.avi", 12.0, 50);
        Clip = QString::fromStdString(clip);
        ASSERT_FALSE(Clip.isEmpty());
    }

    std::string Panel(int i) const { return Form.StatusPanels[i]->text().toStdString(); }
    int64_t Position() const { return Form.FViewer->Position(); }
    // Moves the position as the timeline does, through its change event.
    void Seek(double seconds) { Form.FTrackLine->SetCurPos(int64_t(seconds * Second)); }
    void Wheel(int delta) {
        QWheelEvent e(QPointF(100, 100), QPointF(100, 100), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&Form, &e);
    }
    static std::vector<bool> States(std::initializer_list<QAction*> actions) {
        std::vector<bool> states;
        for (QAction* a : actions)
            states.push_back(a->isEnabled());
        return states;
    }
    std::vector<bool> BackStates() const {
        return States(
            {Form.acnFirstFrame, Form.acnPrevFast, Form.acnPrevFrame, Form.acnSetEndSelection});
    }
    std::vector<bool> ForwardStates() const {
        return States({Form.acnLastFrame, Form.acnNextFast, Form.acnNextFrame, Form.acnPlay,
                       Form.acnSetStartSelection});
    }

    TTempDir Dir;
    QString Clip;
    TfrmMain Form{nullptr, media::TNullAudioSink::Factory()};
};

std::vector<std::string> MenuTexts(QMenu* menu) {
    std::vector<std::string> texts;
    for (QAction* a : menu->actions())
        texts.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    return texts;
}

} // namespace

TEST_F(MainFormTest, WithoutAFileOnlyOpeningAndTheToolsAreOffered) {
    EXPECT_EQ(Form.windowTitle().toStdString(), "Zarvex");
    EXPECT_EQ(Panel(0), "Please open an AVI file.");
    EXPECT_EQ(Panel(1), "");
    EXPECT_EQ(Panel(2), "");
    EXPECT_FALSE(Form.FTrackLine->isEnabled());
    for (QAction* a : {Form.acnSave, Form.miSaveFrame, Form.miSaveRepaired, Form.acnPlay,
                       Form.acnFirstFrame, Form.acnLastFrame, Form.acnPrevFast, Form.acnNextFast,
                       Form.acnPrevFrame, Form.acnNextFrame, Form.acnStartSelection,
                       Form.acnEndSelection, Form.acnSetStartSelection, Form.acnSetEndSelection})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    for (QAction* a : {Form.acnOpen, Form.miClose, Form.Splitintoequalsizedparts1,
                       Form.miSystemInfo, Form.miAbout, Form.miHelpTopics, Form.miExit})
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
    Wheel(-120);
    Wheel(120);
    EXPECT_EQ(Position(), 0);
    EXPECT_EQ(Form.PlayImage(), tiPlay);
}

TEST_F(MainFormTest, MenusToolbarHintsShortcutsAndPanels) {
    using V = std::vector<std::string>;
    EXPECT_EQ(MenuTexts(Form.miFile),
              (V{"Open", "Recent Files", "Save Selection", "Save Repaired Copy...", "Close", "-",
                 "Save Frame", "-", "Save Segments...", "Append AVI...", "Save Segment List...",
                 "Load Segment List...", "Offset Loaded List...", "-",
                 "Split into equal-sized parts", "-", "Exit"}));
    EXPECT_EQ(MenuTexts(Form.miEdit),
              (V{"Undo", "Redo", "-", "Select Start", "Select End", "Add Selection", "-",
                 "Set Segment Start", "Set Segment End", "Sort Segments", "Cut Out", "-",
                 "Find Ad Breaks..."}));
    EXPECT_EQ(MenuTexts(Form.miView),
              (V{"Segments", "-", "Jobs...", "-", "Zoom In", "Zoom Out", "Whole Recording"}));
    // The Position menu begins as it always did; the exact navigation follows.
    const V position = MenuTexts(Form.miPlay);
    EXPECT_EQ(V(position.begin(), position.begin() + std::min<size_t>(position.size(), 11)),
              (V{"First Frame", "Last Frame", "-", "Fast Backward", "Fast Forward", "-",
                 "Previous Frame", "Next Frame", "-", "Selection Start", "Selection End"}));
    EXPECT_EQ(MenuTexts(Form.miHelp), (V{"Help Topics", "System Info", "-", "About"}));
    EXPECT_EQ(Form.miPlay->title().toStdString(), "Position");

    V bar;
    for (QAction* a : Form.ToolBar->actions()) {
        auto* button = qobject_cast<QToolButton*>(Form.ToolBar->widgetForAction(a));
        bar.push_back(a->isSeparator() ? "-" : button->defaultAction()->text().toStdString());
        if (button) {
            EXPECT_EQ(button->size(), QSize(34, 30));
        }
    }
    EXPECT_EQ(bar, (V{"Open", "-", "Play/Pause", "Fast Backward", "Fast Forward", "Previous Frame",
                      "Next Frame", "-", "Select Start", "Select End", "-", "Save Selection", "-",
                      "Add Selection"}));
    EXPECT_EQ(Form.acnOpen->toolTip().toStdString(), "Open Movie");
    Form.acnOpen->setEnabled(false); // an action change keeps the button's own hint
    Form.acnOpen->setEnabled(true);
    EXPECT_EQ(Form.tbnOpen->toolTip().toStdString(), "Open File");
    EXPECT_EQ(Form.tbnPrevFast->toolTip().toStdString(), "Fast Backward");

    const std::pair<QAction*, const char*> keys[] = {
        {Form.acnOpen, "Ctrl+O"},         {Form.acnSave, "Ctrl+S"},
        {Form.acnPlay, "Space"},          {Form.acnFirstFrame, "Home"},
        {Form.acnLastFrame, "End"},       {Form.acnPrevFast, "Ctrl+Left"},
        {Form.acnNextFast, "Ctrl+Right"}, {Form.acnPrevFrame, "Left"},
        {Form.acnNextFrame, "Right"},     {Form.acnSetStartSelection, "1"},
        {Form.acnSetEndSelection, "2"},   {Form.miSaveFrame, "F"},
        {Form.acnStartSelection, ""},     {Form.miClose, ""},
        {Form.acnAddSegment, "A"},        {Form.acnUndo, "Ctrl+Z"},
        {Form.acnRedo, "Ctrl+Y"}};
    for (const auto& [action, key] : keys)
        EXPECT_EQ(action->shortcut().toString().toStdString(), key) << action->text().toStdString();

    EXPECT_EQ(Form.minimumSize(), QSize(400, 300));
    EXPECT_EQ(Form.FTrackLine->height(), 34);
    Form.SetStatusText(1, "Some text");
    EXPECT_EQ(Form.StatusPanels[1]->width(),
              Form.StatusPanels[1]->fontMetrics().horizontalAdvance("Some text") + 10);
}

TEST_F(MainFormTest, OpeningShowsTheFileAndOffersWhatThePositionAllows) {
    Form.OpenFile(Clip);
    EXPECT_EQ(Form.windowTitle().toStdString(), "clip.avi - Zarvex");
    EXPECT_EQ(Form.LastOpenFolder(), QFileInfo(Clip).absolutePath());
    EXPECT_TRUE(Form.FTrackLine->isEnabled());
    EXPECT_EQ(Form.FTrackLine->MaxPos, 12 * Second);
    EXPECT_EQ(Panel(0), "Position: 00:00.0 (frame: 0)");
    EXPECT_EQ(Panel(2), "Please select the start of segment that should be extracted.");
    EXPECT_TRUE(Form.miSaveFrame->isEnabled());
    EXPECT_FALSE(Form.acnSave->isEnabled());
    EXPECT_EQ(BackStates(), std::vector<bool>(4, false));
    EXPECT_EQ(ForwardStates(), std::vector<bool>(5, true));

    Form.acnLastFrame->trigger();
    EXPECT_EQ(Position(), 12 * Second);
    EXPECT_EQ(Form.FTrackLine->CurPos(), 12 * Second);
    EXPECT_EQ(Panel(0), "Position: 00:12.0 (frame: 300)");
    EXPECT_EQ(BackStates(), std::vector<bool>(4, true));
    EXPECT_EQ(ForwardStates(), std::vector<bool>(5, false));

    Form.acnFirstFrame->trigger();
    EXPECT_EQ(Position(), 0);
    Form.miClose->trigger();
    EXPECT_EQ(Form.windowTitle().toStdString(), "Zarvex");
    EXPECT_EQ(Panel(0), "Please open an AVI file.");
    EXPECT_FALSE(Form.miSaveFrame->isEnabled());
}

TEST_F(MainFormTest, StepsTheWheelAndTheTimelineMoveTogether) {
    Form.OpenFile(Clip);
    Form.acnNextFrame->trigger();
    EXPECT_EQ(Position(), 400000);
    EXPECT_EQ(Form.FTrackLine->CurPos(), 400000);
    EXPECT_EQ(Panel(0), "Position: 00:00.0 (frame: 1)");
    Form.acnPrevFrame->trigger();
    EXPECT_EQ(Position(), 0);
    Form.acnNextFast->trigger(); // frame 75, then the key frame after it
    EXPECT_EQ(Form.FTrackLine->CurPos(), 4 * Second);
    Seek(10);
    EXPECT_EQ(Position(), 10 * Second);
    Form.acnPrevFast->trigger(); // frame 175, then the key frame before it
    EXPECT_EQ(Form.FTrackLine->CurPos(), 6 * Second);
    Wheel(-120); // toward the user: forward
    EXPECT_EQ(Position(), 10 * Second);
    Wheel(120);
    EXPECT_EQ(Position(), 6 * Second);
    // A position inside a frame's interval is reported as that frame's start.
    Seek(3.21);
    EXPECT_EQ(Form.FTrackLine->CurPos(), int64_t(3.2 * Second));
    EXPECT_EQ(Panel(0), "Position: 00:03.2 (frame: 80)");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto f = Form.FViewer->VideoWindow()->Frame();
            return f && f->FrameNumber == 80;
        },
        30000));
}

TEST_F(MainFormTest, ZoomKeysAndCtrlWheelKeepThePositionInView) {
    Form.show();
    Form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
    Form.OpenFile(Clip);
    TTrackLine& line = *Form.FTrackLine;
    Seek(5);
    const int column = line.PosToX(line.CurPos());
    for (Qt::Key key : {Qt::Key_Plus, Qt::Key_Equal, Qt::Key_Plus})
        QTest::keyClick(&Form, key);
    ASSERT_TRUE(line.Zoomed());
    EXPECT_NEAR(line.PosToX(line.CurPos()), column, 1);
    const int64_t span = line.ViewEnd() - line.ViewStart();
    QTest::keyClick(&Form, Qt::Key_Minus);
    EXPECT_NEAR(double(line.ViewEnd() - line.ViewStart()), span * 1.5, Second / 1000.0);
    // Keys that move the position out of view take the view along.
    Form.acnLastFrame->trigger();
    EXPECT_GE(line.CurPos(), line.ViewStart());
    EXPECT_LE(line.CurPos(), line.ViewEnd());
    Form.acnFirstFrame->trigger();
    EXPECT_EQ(line.ViewStart(), 0);
    // Ctrl and the wheel over the timeline zoom there; the window's wheel still steps elsewhere.
    QTest::keyClick(&Form, Qt::Key_0);
    EXPECT_FALSE(line.Zoomed());
    const QPointF at(200, 10);
    QWheelEvent e(at, line.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                  Qt::ControlModifier, Qt::NoScrollPhase, false);
    const int64_t under = line.XToPos(200);
    QApplication::sendEvent(&line, &e);
    EXPECT_TRUE(line.Zoomed());
    EXPECT_NEAR(double(line.XToPos(200)), double(under), double(Second) / 10);
    EXPECT_EQ(Position(), 0);
}

TEST_F(MainFormTest, MarksMakeASelectionAndClearEachOther) {
    Form.OpenFile(Clip);
    Seek(5);
    Form.acnSetStartSelection->trigger();
    EXPECT_EQ(Panel(2), "Please select the end of segment that should be extracted.");
    EXPECT_FALSE(Form.acnSave->isEnabled());
    Seek(12);
    Form.acnSetEndSelection->trigger();
    EXPECT_EQ(Panel(2), "Selection: 00:07.0, from 00:05.0 to 00:12.0");
    EXPECT_TRUE(Form.acnSave->isEnabled());
    EXPECT_EQ(Position(), 12 * Second); // marking does not move the position
    Form.acnStartSelection->trigger();
    EXPECT_EQ(Position(), 5 * Second);
    Form.acnEndSelection->trigger();
    EXPECT_EQ(Position(), 12 * Second);

    Seek(11);
    Form.acnSetEndSelection->trigger();
    Seek(11);
    Form.acnSetStartSelection->trigger(); // at the end mark: the end mark goes
    EXPECT_EQ(Form.FTrackLine->SelEnd(), -1);
    EXPECT_EQ(Panel(2), "Please select the end of segment that should be extracted.");
    EXPECT_FALSE(Form.acnEndSelection->isEnabled());
    Seek(2);
    Form.acnSetEndSelection->trigger(); // before the start mark: the start mark goes
    EXPECT_EQ(Form.FTrackLine->SelStart(), -1);
    EXPECT_EQ(Panel(2), "Please select the start of segment that should be extracted.");

    Form.OpenFile(Clip);
    EXPECT_EQ(Form.FTrackLine->SelStart(), -1);
    EXPECT_EQ(Form.FTrackLine->SelEnd(), -1);
}

TEST_F(MainFormTest, MarksSetWhilePlayingTakeThePictureOnScreen) {
    Form.OpenFile(Clip);
    Form.acnPlay->trigger();
    auto shown = [&] {
        const media::TVideoFramePtr f = Form.FViewer->VideoWindow()->Frame();
        return f ? f->Position : -1;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown() >= Second / 2; }, 10000));
    QTest::qWait(10); // the clock moves on between pictures
    const int64_t before = shown();
    Form.acnSetStartSelection->trigger();
    const int64_t after = shown(), mark = Form.FTrackLine->SelStart();
    Form.FViewer->Pause();
    EXPECT_LE(before, mark);
    EXPECT_LE(mark, after);
    EXPECT_EQ(Form.FViewer->FrameToTime(Form.FViewer->TimeToFrame(mark)), mark);
}

TEST_F(MainFormTest, ATenSecondSelectionFromFiveSeconds) {
    const std::string longer = MakeMpeg4Avi(Dir, "longer.avi", 20.0, 250, "160x120", 25, false);
    Form.OpenFile(QString::fromStdString(longer));
    Seek(5);
    Form.acnSetStartSelection->trigger();
    Seek(15);
    Form.acnSetEndSelection->trigger();
    EXPECT_EQ(Panel(2), "Selection: 00:10.0, from 00:05.0 to 00:15.0");
    EXPECT_EQ(Form.StatusPanels[2]->width(), Form.StatusPanels[2]->fontMetrics().horizontalAdvance(
                                                 QString::fromStdString(Panel(2))) +
                                                 10);
    EXPECT_EQ(Form.windowTitle().toStdString(), "longer.avi - Zarvex");
}

std::string FormatTime(double seconds) {
    return TfrmMain::FormatPlayTime(seconds).toStdString();
}

TEST(MainFormTime, FormatPlayTime) {
    EXPECT_EQ(FormatTime(0), "00:00.0");
    EXPECT_EQ(FormatTime(75.37), "01:15.3");
    EXPECT_EQ(FormatTime(3725.5), "01:02:05.5");
    EXPECT_EQ(FormatTime(36000), "10:00:00.0");
    EXPECT_EQ(FormatTime(3599.95), "59:59.9");
    EXPECT_EQ(FormatTime(3600), "01:00:00.0");
    EXPECT_EQ(FormatTime(1.2 - 0.4), "00:00.8");
}

// A drag that enters the window and drops the urls there; whether the window took it.
bool DropOn(QWidget& target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &drop);
    return drop.isAccepted();
}

TEST_F(MainFormTest, DroppingFilesOpensTheFirstOnly) {
    const QString second =
        QString::fromStdString(MakeMpeg4Avi(Dir, "second one.avi", 1.0, 25, "160x120", 25, false));
    EXPECT_TRUE(DropOn(Form, {QUrl::fromLocalFile(Clip), QUrl::fromLocalFile(second),
                              QUrl::fromLocalFile(QString::fromStdString(Dir.File("third.avi")))}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form.FileIsOpen(); }, 10000));
    EXPECT_EQ(Form.windowTitle().toStdString(), "clip.avi - Zarvex");

    // A first file that does not exist is ignored, even when the others do.
    DropOn(Form, {QUrl::fromLocalFile(QString::fromStdString(Dir.File("gone.avi"))),
                  QUrl::fromLocalFile(second)});
    QTest::qWait(100);
    EXPECT_EQ(Form.windowTitle().toStdString(), "clip.avi - Zarvex");
    EXPECT_FALSE(DropOn(Form, {QUrl("https://example.org/clip.avi")}));

    // A long path with blanks arrives whole.
    std::string deep = Dir.File("");
    for (int i = 0; i < 12; ++i)
        deep += "a folder with a rather long name " + std::to_string(i) + "/";
    std::filesystem::create_directories(deep);
    ASSERT_GT(deep.size(), 300u);
    std::filesystem::copy_file(second.toStdString(), deep + "deep.avi");
    DropOn(Form, {QUrl::fromLocalFile(QString::fromStdString(deep + "deep.avi"))});
    (void)QTest::qWaitFor([&] { return Form.windowTitle().toStdString() == "deep.avi - Zarvex"; },
                          10000);
    EXPECT_EQ(Form.windowTitle().toStdString(), "deep.avi - Zarvex");
    EXPECT_EQ(Form.FViewer->FileName(), deep + "deep.avi");
}

TEST_F(MainFormTest, TheEndOfPlaybackReturnsToTheStart) {
    const std::string shortClip = MakeMpeg4Avi(Dir, "short.avi", 1.0, 25, "160x120");
    Form.OpenFile(QString::fromStdString(shortClip));
    Seek(0.6);
    Form.acnPlay->trigger();
    EXPECT_EQ(Form.PlayImage(), tiPause);
    EXPECT_TRUE(Form.FViewer->Playing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form.FViewer->Playing; }, 20000));
    EXPECT_EQ(Form.PlayImage(), tiPlay);
    EXPECT_EQ(Position(), 0);
    EXPECT_EQ(Form.FTrackLine->CurPos(), 0);
    EXPECT_EQ(Panel(0), "Position: 00:00.0 (frame: 0)");
    EXPECT_TRUE(Form.acnPlay->isEnabled());
}

TEST_F(MainFormTest, APlaybackErrorStopsAndWarnsOnce) {
    Form.OpenFile(QString::fromStdString(MakeMpeg4Avi(Dir, "short.avi", 1.0, 25, "160x120")));
    Form.acnPlay->trigger();
    ASSERT_TRUE(Form.FViewer->Playing);
    TModalCatcher catcher;
    // Video and sound both give up on the same damage.
    Form.FViewer->MediaPlayer().Notify(media::EventErrorAbort, -5);
    Form.FViewer->MediaPlayer().Notify(media::EventErrorAbort, -5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !catcher.Seen.empty(); }, 10000));
    QTest::qWait(100);
    ASSERT_EQ(catcher.Seen.size(), 1u);
    EXPECT_EQ(catcher.Seen[0].Icon, QMessageBox::Warning);
    EXPECT_TRUE(catcher.Seen[0].Text.contains("Media Error: FFFFFFFB (Input/output error)"))
        << catcher.Seen[0].Text.toStdString();
    EXPECT_FALSE(Form.FViewer->Playing);
    EXPECT_EQ(Form.PlayImage(), tiPlay);
    const int64_t stopped = Position();
    QTest::qWait(300);
    EXPECT_EQ(Position(), stopped);
    EXPECT_EQ(Form.FTrackLine->CurPos(), stopped);
    EXPECT_TRUE(Form.FileIsOpen());
}

TEST_F(MainFormTest, FailedOpensExplainAndLeaveNoFileOpen) {
    Form.OpenFile(Clip);
    const std::string unknown = MakeUnknownVideoAvi(Dir, "zzzz.avi");
    ASSERT_FALSE(unknown.empty());
    {
        TModalCatcher catcher;
        Form.OpenFile(QString::fromStdString(unknown));
        ASSERT_EQ(catcher.Seen.size(), 1u);
        EXPECT_EQ(catcher.Seen[0].ClassName.toStdString(), "zarvex::TfrmCodecs");
        EXPECT_EQ(catcher.Seen[0].Title.toStdString(), "Unable to open AVI file");
        EXPECT_TRUE(catcher.Seen[0].Text.contains("ZZZZ video codec"))
            << catcher.Seen[0].Text.toStdString();
        EXPECT_TRUE(catcher.Seen[0].Text.contains("Media error:00040257"));
    }
    EXPECT_FALSE(Form.FileIsOpen());
    EXPECT_EQ(Form.windowTitle().toStdString(), "Zarvex");
    EXPECT_EQ(Panel(0), "Please open an AVI file.");
    EXPECT_EQ(Form.LastOpenFolder().toStdString(), Dir.File("").substr(0, Dir.File("").size() - 1));

    const std::string text = Dir.File("notes.avi");
    std::ofstream(text) << "These are not the frames you are looking for.\n";
    TModalCatcher catcher;
    Form.OpenFile(QString::fromStdString(text));
    ASSERT_EQ(catcher.Seen.size(), 1u);
    EXPECT_EQ(catcher.Seen[0].ClassName.toStdString(), "QMessageBox");
    EXPECT_EQ(catcher.Seen[0].Icon, QMessageBox::Warning);
    EXPECT_EQ(catcher.Seen[0].Text.toStdString(), "The file has unknown format");
    EXPECT_FALSE(Form.FileIsOpen());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainFormTest, ThePictureKeepsItsAspectInThePanel) {
    Form.show();
    Form.OpenFile(Clip);
    QApplication::processEvents();
    // Size the window so that the viewer gets 400 x 200.
    const QSize viewer = Form.FViewer->size();
    Form.resize(Form.size() + QSize(400, 200) - viewer);
    QApplication::processEvents();
    ASSERT_EQ(Form.FViewer->size(), QSize(400, 200));
    const QPoint at = Form.FViewer->pos();
    EXPECT_EQ(Form.FViewer->VideoWindow()->geometry(), QRect(at + QPoint(69, 2), QSize(266, 199)));
    Form.resize(Form.size() + QSize(0, 100)); // now 400 x 300: the full width
    QApplication::processEvents();
    EXPECT_EQ(Form.FViewer->VideoWindow()->geometry(), QRect(at + QPoint(2, 2), QSize(399, 299)));
}

TEST_F(MainFormTest, KeysDriveTheActions) {
    Form.show();
    Form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
    Form.OpenFile(Clip);
    QTest::keyClick(&Form, Qt::Key_Right);
    EXPECT_EQ(Position(), 400000);
    QTest::keyClick(&Form, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(Position(), 4 * Second);
    QTest::keyClick(&Form, Qt::Key_1);
    EXPECT_EQ(Form.FTrackLine->SelStart(), 4 * Second);
    QTest::keyClick(&Form, Qt::Key_End);
    QTest::keyClick(&Form, Qt::Key_2);
    EXPECT_EQ(Form.FTrackLine->SelEnd(), 12 * Second);
    QTest::keyClick(&Form, Qt::Key_Home);
    EXPECT_EQ(Position(), 0);
}

TEST(MainFormStatusBar, TheLongestTextsFitAtTheFirstSize) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const QString clip =
        QString::fromStdString(MakeMpeg4Avi(dir, "clip.avi", 1.0, 25, "160x120", 25, false));
    QSettings(QString("holtmark"), QString("zarvex")).remove("");
    TfrmMain form(nullptr, media::TNullAudioSink::Factory());
    // The design size, wider where the desktop's font needs it.
    EXPECT_EQ(form.height(), 428);
    EXPECT_EQ(form.width(), std::max(520, form.StatusBarWidthNeeded()));
    form.show();
    const auto expectFit = [&](const char* state) {
        QApplication::processEvents();
        const int barWidth = form.statusBar()->width();
        for (const QLabel* panel : form.StatusPanels) {
            const int text = panel->fontMetrics().horizontalAdvance(panel->text());
            EXPECT_LE(text + 10, panel->width()) << state << ": " << panel->text().toStdString();
            EXPECT_LE(panel->geometry().right(), barWidth) << state;
        }
    };
    expectFit("no file");
    form.OpenFile(clip);
    expectFit("opened"); // the longest: the start of the selection is asked for
    form.acnSetStartSelection->trigger();
    expectFit("start marked");
    form.FTrackLine->SetCurPos(form.FViewer->Duration);
    form.acnSetEndSelection->trigger();
    expectFit("selection");
    form.SetStatusText(0, "Position: 10:00:00.0 (frame: 900000)");
    form.SetStatusText(1, "Key frame before the start: 899999");
    form.SetStatusText(2, "Selection: 10:00:00.0, from 10:00:00.0 to 20:00:00.0");
    expectFit("ten hours");
}

TEST(MainFormSettings, PlacementAndTheOpenFolderAreKept) {
    QSettings(QString("holtmark"), QString("zarvex")).remove("");
    {
        TfrmMain form(nullptr, media::TNullAudioSink::Factory());
        EXPECT_EQ(form.height(), 428); // nothing stored yet
        form.setGeometry(40, 50, 610, 470);
        form.show();
        QApplication::processEvents();
        TTempDir dir;
        const std::string missing = dir.File("missing.avi");
        TModalCatcher catcher; // the warning for the missing file
        form.OpenFile(QString::fromStdString(missing));
        EXPECT_EQ(catcher.Seen.size(), 1u);
    }
    TfrmMain again(nullptr, media::TNullAudioSink::Factory());
    EXPECT_EQ(again.size(), QSize(610, 470));
    EXPECT_EQ(again.LastOpenFolder().isEmpty(), false);
    EXPECT_EQ(QSettings("holtmark", "zarvex").value("LastOpenFolder").toString(),
              again.LastOpenFolder());
}

TEST(MainFormStartUp, AFileNameAloneOpensNothing) {
    // Qt appends a display name, once set, to every window title ("About — Zarvex").
    InitApplication();
    EXPECT_EQ(QGuiApplication::applicationDisplayName().toStdString(), "zarvex")
        << "no display name: it falls back to the application's name";
    EXPECT_EQ(QCoreApplication::applicationName().toStdString(), "zarvex");
    EXPECT_EQ(QGuiApplication::desktopFileName().toStdString(), "zarvex");
    TTempDir dir;
    const std::string clip = MakeMpeg4Avi(dir, "clip.avi", 0.5, 25, "160x120", 25, false);
    TStartUpForms forms = StartUp({QString::fromStdString(clip)});
    ASSERT_NE(forms.frmMain, nullptr);
    EXPECT_EQ(forms.MainForm(), forms.frmMain.get());
    EXPECT_TRUE(forms.frmMain->isVisible());
    EXPECT_FALSE(forms.frmMain->FileIsOpen());
    EXPECT_EQ(forms.frmMain->windowTitle().toStdString(), "Zarvex");
}

TEST(MainFormStartUp, SplitModeInAnyCaseStartsOnlyTheSplitWindowOnTheGivenFile) {
    TTempDir dir;
    const std::string clip = MakeMpeg4Avi(dir, "my clip.avi", 0.5, 25, "160x120", 25, false);
    TStartUpForms forms = StartUp({"/ChOp", QString::fromStdString(clip)});
    EXPECT_EQ(forms.frmMain, nullptr);
    ASSERT_NE(forms.frmChop, nullptr);
    EXPECT_EQ(forms.MainForm(), forms.frmChop.get());
    EXPECT_TRUE(forms.frmChop->isVisible());
    EXPECT_EQ(forms.frmChop->lblSourceFile->text().toStdString(), clip);
    EXPECT_EQ(forms.frmChop->windowTitle().toStdString(), "Zarvex - split into equal-sized parts");

    EXPECT_FALSE(IsSplitMode({}));
    EXPECT_FALSE(IsSplitMode({"clip.avi", "/chop"}));
    EXPECT_TRUE(IsSplitMode({"/CHOP"}));
}

// The desktop turning dark while the window is open redraws the toolbar's icons light.
TEST_F(MainFormTest, ADarkPaletteRedrawsTheToolbarIcons) {
    const auto shade = [&] {
        const QImage image = Form.acnNextFrame->icon().pixmap(24, 24).toImage();
        int lightest = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) == 255)
                    lightest = std::max(lightest, qGray(image.pixel(x, y)));
        return lightest;
    };
    EXPECT_LT(shade(), 128);
    const QPalette light = QApplication::palette();
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    QCoreApplication::processEvents();
    EXPECT_GT(shade(), 200);
    QApplication::setPalette(light);
    QCoreApplication::processEvents();
    EXPECT_LT(shade(), 128);
}
