// The main window's segment list on real files: editing it with undo and redo, its list file
// and the offer to load it on opening, appending other files, and saving the segments (the
// outputs read back by ffprobe).
#include "viewing/MainForm.h"

#include "media/NullAudioSink.h"
#include "splitting/CutList.h"
#include "splitting/ForeignCutList.h"
#include "viewing/SegmentList.h"
#include "viewing/SegmentsSaveForm.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"

#include "fixtures/AviBuilder.h"
#include "fixtures/FileDialogDriver.h"
#include "fixtures/MediaFixture.h"
#include "fixtures/ModalCatcher.h"
#include "fixtures/RiffScan.h"
#include "fixtures/Tools.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

constexpr int64_t FrameTime = 400000; // 25 frames per second

struct TSegmentsAnswer {
    QString FileName;
    bool Separate = false;
    bool StreamCopy = true;

    bool operator()(QWidget& window) const {
        auto* dialog = qobject_cast<TfrmSegmentsSave*>(&window);
        if (!dialog)
            return false;
        dialog->edtFileName->setText(FileName);
        dialog->cbxVideoNoRecompression->setChecked(StreamCopy);
        (Separate ? dialog->rbEachFile : dialog->rbOneFile)->setChecked(true);
        QMetaObject::invokeMethod(dialog->btnOK, &QPushButton::click, Qt::QueuedConnection);
        return true;
    }
};

class MainFormSegmentsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        ZARVEX_REQUIRE_TOOL("ffprobe");
        Source = MakeMpeg4Avi(Dir, "clip.avi", 2.0, 25, "160x120");
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
    std::vector<TKeepRange> Ranges() const {
        std::vector<TKeepRange> ranges;
        for (const TCutListEntry& e : Form.Segments())
            ranges.push_back(e.Frames);
        return ranges;
    }
    QTreeWidget* Rows() const { return Form.FSegmentList->Rows(); }
    std::string Row(int row, int column) const {
        return Rows()->topLevelItem(row)->text(column).toStdString();
    }
    // Video packets as ffprobe counts them, "" when it cannot read the file.
    static std::string VideoPackets(const std::string& path) {
        const TCommandResult r =
            RunCapture("ffprobe -v error -select_streams v:0 -count_packets -show_entries "
                       "stream=codec_name,nb_read_packets -of compact=p=0 " +
                       ShellQuote(path));
        return CompactFields(r.Output.substr(0, r.Output.find('\n')))["nb_read_packets"];
    }

    TTempDir Dir;
    std::string Source;
    TfrmMain Form{nullptr, media::TNullAudioSink::Factory()};
};

} // namespace

TEST_F(MainFormSegmentsTest, AddRemoveReorderUndoAndRedo) {
    Form.show();
    Form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
    Mark(10, 20);
    Rows()->setFocus(); // the list's own search by typing must not take the key
    QTest::keyClick(Rows(), Qt::Key_A);
    Mark(30, 40);
    Form.acnAddSegment->trigger();
    // The frame at the end mark is not kept, as Save Selection copies.
    ASSERT_EQ(Ranges(), (std::vector<TKeepRange>{{10, 19}, {30, 39}}));
    ASSERT_EQ(Rows()->topLevelItemCount(), 2);
    EXPECT_EQ(Row(0, 0) + " " + Row(0, 1) + " " + Row(0, 2) + " " + Row(0, 3),
              "0:00:00.400 0:00:00.800 0:00:00.400 10-19");
    EXPECT_TRUE(Rows()->isColumnHidden(4)); // one file: no file column
    using TRanges = std::vector<std::pair<int64_t, int64_t>>;
    EXPECT_EQ(Form.FTrackLine->KeptRanges(),
              (TRanges{{10 * FrameTime, 20 * FrameTime}, {30 * FrameTime, 40 * FrameTime}}));

    Form.FSegmentList->SetCurrentRow(0);
    QTest::keyClick(Rows(), Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{30, 39}, {10, 19}}));
    QTest::keyClick(Rows(), Qt::Key_Up, Qt::AltModifier); // the moved row stays current
    EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{10, 19}, {30, 39}}));
    QTest::keyClick(Rows(), Qt::Key_Delete);
    EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{30, 39}}));
    // A click on a row goes to its start.
    const QRect rect = Rows()->visualItemRect(Rows()->topLevelItem(0));
    QTest::mouseClick(Rows()->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(Form.FViewer->Position(), 30 * FrameTime);

    QTest::keyClick(&Form, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{10, 19}, {30, 39}}));
    for (int i = 0; i < 3; ++i) // the up, the down and the second add
        Form.acnUndo->trigger();
    EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{10, 19}}));
    EXPECT_EQ(Form.FTrackLine->KeptRanges(), (TRanges{{10 * FrameTime, 20 * FrameTime}}));
    // The marks are undone too.
    EXPECT_EQ(Form.FTrackLine->SelEnd(), 40 * FrameTime);
    Form.acnUndo->trigger();
    EXPECT_EQ(Form.FTrackLine->SelStart(), 30 * FrameTime);
    EXPECT_EQ(Form.FTrackLine->SelEnd(), -1);
    Form.acnUndo->trigger();
    EXPECT_EQ(Form.FTrackLine->SelStart(), 10 * FrameTime);
    EXPECT_EQ(Form.FTrackLine->SelEnd(), 20 * FrameTime);
    for (int i = 0; i < 6; ++i)
        QTest::keyClick(&Form, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{30, 39}}));
    EXPECT_FALSE(Form.acnRedo->isEnabled());
    // Another file starts an empty list with no history, once the changed list may go.
    TModalCatcher catcher(QMessageBox::Discard);
    Form.OpenFile(QString::fromStdString(Source));
    ASSERT_EQ(catcher.Seen.size(), 1u);
    EXPECT_EQ(catcher.Seen[0].Text.toStdString(), "The segment list has changed. Save it?");
    EXPECT_TRUE(Form.Segments().empty());
    EXPECT_FALSE(Form.acnUndo->isEnabled());
}

TEST_F(MainFormSegmentsTest, ListFileAppendedFilesAndTheOfferOnOpening) {
    const std::string other = MakeMpeg4Avi(Dir, "other.avi", 1.0, 25, "160x120");
    const std::string larger = MakeMpeg4Avi(Dir, "larger.avi", 1.0, 25, "176x144");
    Mark(5, 15);
    Form.acnAddSegment->trigger();
    Form.AppendFile(QString::fromStdString(other));
    ASSERT_EQ(Form.Segments().size(), 2u);
    EXPECT_EQ(Form.Segments()[1].Frames, (TKeepRange{0, 24}));
    EXPECT_FALSE(Rows()->isColumnHidden(4));
    EXPECT_EQ(Row(0, 4) + " " + Row(1, 4), "clip.avi other.avi");
    // Only the open file's ranges are shaded.
    EXPECT_EQ(Form.FTrackLine->KeptRanges().size(), 1u);
    {
        TModalCatcher catcher;
        Form.AppendFile(QString::fromStdString(larger));
        ASSERT_EQ(catcher.Seen.size(), 1u);
        EXPECT_EQ(catcher.Seen[0].Text.toStdString(),
                  "The video of larger.avi is 176x144; clip.avi is 160x120.");
        EXPECT_EQ(Form.Segments().size(), 2u);
    }

    const std::string listPath = CutListPathFor(Source);
    Form.SaveSegmentList(QString::fromStdString(listPath));
    std::ifstream in(listPath);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(ParseCutList(text.str()).Entries, Form.Segments());
    const std::vector<TCutListEntry> saved = Form.Segments();
    {
        TModalCatcher catcher(QMessageBox::No);
        Form.OpenFile(QString::fromStdString(Source));
        ASSERT_EQ(catcher.Seen.size(), 1u);
        EXPECT_NE(catcher.Seen[0].Text.indexOf("clip.cuts"), -1);
        EXPECT_TRUE(Form.Segments().empty());
    }
    TModalCatcher catcher(QMessageBox::Yes);
    Form.OpenFile(QString::fromStdString(Source));
    EXPECT_EQ(Form.Segments(), saved);
    EXPECT_EQ(Rows()->topLevelItemCount(), 2);
    Form.acnUndo->trigger(); // the load is one step
    EXPECT_TRUE(Form.Segments().empty());
    // A file named without a folder lies beside the list.
    std::ofstream(Dir.File("relative.cuts")) << "0 9 0 0.4 other.avi\n";
    Form.LoadSegmentList(QString::fromStdString(Dir.File("relative.cuts")));
    ASSERT_EQ(Form.Segments().size(), 1u);
    EXPECT_TRUE(std::filesystem::equivalent(Form.Segments()[0].Source, other));
}

TEST_F(MainFormSegmentsTest, SavingTheListRefusesSourcesAndAsksBeforeReplacing) {
    Mark(5, 15);
    Form.acnAddSegment->trigger();
    const auto save = [&](const std::string& path, QMessageBox::StandardButton answer) {
        TModalCatcher catcher(answer);
        Form.SaveSegmentList(QString::fromStdString(path));
        return catcher.Seen.size() == 1 ? catcher.Seen[0].Text.toStdString() : "";
    };
    const auto source = FileBytes(Source, 0, 1 << 24);
    EXPECT_EQ(save(Dir.File("./clip.avi"), QMessageBox::Yes),
              "The output file is the source file.");
    EXPECT_EQ(FileBytes(Source, 0, 1 << 24), source);

    const std::string list = Dir.File("list.cuts");
    WriteFileBytes(list, {'k'});
    EXPECT_EQ(save(list, QMessageBox::No), "The \"" + list + "\" file already exists. Overwrite?");
    EXPECT_EQ(FileBytes(list, 0, 10), std::vector<uint8_t>{'k'});
    EXPECT_EQ(save(list, QMessageBox::Yes), "The \"" + list + "\" file already exists. Overwrite?");
    std::ifstream in(list);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(ParseCutList(text.str()).Entries, Form.Segments());
    const auto files = std::distance(std::filesystem::directory_iterator(Dir.Path()), {});
    EXPECT_EQ(files, 2) << "the video and the list, no file left behind";

    const std::string missing = Dir.File("no/list.cuts");
    EXPECT_EQ(save(missing, QMessageBox::Ok),
              "The \"" + missing +
                  "\" file cannot be created.\nSystem Error.  Code: 2.\nNo such "
                  "file or directory");
}

TEST_F(MainFormSegmentsTest, SavesOneFileOrOneFileEach) {
    Mark(0, 10);
    Form.acnAddSegment->trigger();
    Mark(25, 35);
    Form.acnAddSegment->trigger();
    {
        TModalCatcher catcher;
        catcher.Handle = TSegmentsAnswer{QString::fromStdString(Dir.File("joined.avi"))};
        Form.miSaveSegments->trigger();
        EXPECT_EQ(catcher.Seen.size(), 1u); // the dialog, no warning
    }
    EXPECT_EQ(VideoPackets(Dir.File("joined.avi")), "20");
    {
        TModalCatcher catcher;
        catcher.Handle = TSegmentsAnswer{QString::fromStdString(Dir.File("part.avi")), true};
        Form.miSaveSegments->trigger();
        EXPECT_EQ(catcher.Seen.size(), 1u);
    }
    EXPECT_FALSE(std::filesystem::exists(Dir.File("part.avi")));
    EXPECT_EQ(VideoPackets(Dir.File("part_1.avi")), "10");
    EXPECT_EQ(VideoPackets(Dir.File("part_2.avi")), "10");
    // Recompressed (uncompressed here), one file each and one file.
    for (const bool separate : {true, false}) {
        TModalCatcher catcher;
        catcher.Handle =
            TSegmentsAnswer{QString::fromStdString(Dir.File("raw.avi")), separate, false};
        Form.miSaveSegments->trigger();
        EXPECT_EQ(catcher.Seen.size(), 1u);
    }
    EXPECT_EQ(VideoPackets(Dir.File("raw_1.avi")), "10");
    EXPECT_EQ(VideoPackets(Dir.File("raw_2.avi")), "10");
    EXPECT_EQ(VideoPackets(Dir.File("raw.avi")), "20");
    // The second segment follows the first: frame 10 of the output is frame 25 of the source.
    EXPECT_EQ(FfmpegFrameBgr24(Dir.File("raw.avi"), 10), FfmpegFrameBgr24(Source, 25));
    // The sound of both: 0.8 s of 16-bit stereo at 44.1 kHz.
    const TCommandResult sound = RunCapture(
        "ffmpeg -nostdin -v error -i " + ShellQuote(Dir.File("raw.avi")) + " -map 0:a -f s16le -");
    EXPECT_EQ(sound.Output.size(), 35280u * 4);
}

TEST_F(MainFormSegmentsTest, EdgesAndTypedTimesEditTheSelectedSegmentInTimeOrder) {
    Form.show();
    Form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
    Mark(30, 40);
    Form.acnAddSegment->trigger();
    Mark(10, 20);
    Form.acnAddSegment->trigger(); // goes before the later one
    ASSERT_EQ(Ranges(), (std::vector<TKeepRange>{{10, 19}, {30, 39}}));
    EXPECT_EQ(Form.FSegmentList->CurrentRow(), 0);
    Form.FTrackLine->SetCurPos(12 * FrameTime);
    QTest::keyClick(&Form, Qt::Key_1, Qt::ControlModifier);
    Form.FTrackLine->SetCurPos(35 * FrameTime);
    QTest::keyClick(&Form, Qt::Key_2, Qt::ControlModifier);
    ASSERT_EQ(Ranges(), (std::vector<TKeepRange>{{12, 34}, {30, 39}}));
    EXPECT_EQ(Row(0, 0) + " " + Row(0, 1), "0:00:00.480 0:00:01.400");
    // Overlapping rows are marked, and saving them asks first.
    EXPECT_FALSE(Rows()->topLevelItem(1)->icon(0).isNull());
    {
        TModalCatcher catcher(QMessageBox::No);
        Form.miSaveSegments->trigger();
        ASSERT_EQ(catcher.Seen.size(), 1u); // the question, no save dialog
        EXPECT_NE(catcher.Seen[0].Text.indexOf("overlap"), -1);
    }
    // A double click on an end opens an editor for it; the frame shown at the time is the first not
    // kept.
    emit Rows()->itemDoubleClicked(Rows()->topLevelItem(1), 1);
    auto* editor = Rows()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    // What the editor commits.
    Rows()->topLevelItem(1)->setText(1, "0:00:01.5");
    QCoreApplication::processEvents();
    EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{12, 34}, {30, 36}}));
    {
        TModalCatcher catcher;
        Form.SetSegmentEdge(1, false, 1.6); // after its end
        Form.SetSegmentEdge(1, false, -1);  // no time
        ASSERT_EQ(catcher.Seen.size(), 2u);
        EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{12, 34}, {30, 36}}));
    }
    Form.ReorderSegments({1, 0});
    Form.miSortSegments->trigger();
    EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{12, 34}, {30, 36}}));
    for (int i = 0; i < 3; ++i) // the sort, the move and the typed end
        Form.acnUndo->trigger();
    EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{12, 34}, {30, 39}}));
}

TEST_F(MainFormSegmentsTest, ClosingWithAChangedListAsksFirst) {
    Mark(5, 15);
    Form.acnAddSegment->trigger();
    for (const auto& close : {std::function<void()>([&] { Form.miCloseClick(); }),
                              std::function<void()>([&] { EXPECT_FALSE(Form.close()); })}) {
        TModalCatcher catcher(QMessageBox::Cancel);
        close();
        ASSERT_EQ(catcher.Seen.size(), 1u);
        EXPECT_TRUE(Form.FileIsOpen());
    }
    // Save asks where, as Save Segment List does, and then closes.
    {
        TModalCatcher catcher(QMessageBox::Save);
        catcher.Handle = [&](QWidget& window) {
            auto* dialog = qobject_cast<QFileDialog*>(&window);
            if (!dialog)
                return false;
            dialog->findChild<QLineEdit*>("fileNameEdit")
                ->setText(QString::fromStdString(Dir.File("asked.cuts")));
            static_cast<QDialog*>(dialog)->accept();
            return true;
        };
        Form.OpenFile(QString::fromStdString(Source));
        EXPECT_EQ(catcher.Seen.size(), 2u); // the question and the file dialog
    }
    std::ifstream in(Dir.File("asked.cuts"));
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(ParseCutList(text.str()).Entries.size(), 1u);
    // A saved list goes without a question.
    Mark(5, 15);
    Form.acnAddSegment->trigger();
    ASSERT_TRUE(Form.SaveSegmentList(QString::fromStdString(Dir.File("kept.cuts"))));
    TModalCatcher catcher;
    Form.miCloseClick();
    EXPECT_TRUE(catcher.Seen.empty());
    EXPECT_FALSE(Form.FileIsOpen());
}

TEST_F(MainFormSegmentsTest, OutputsAreOfferedAndTypedBesideTheSource) {
    Mark(0, 10);
    Form.acnAddSegment->trigger();
    QString offered;
    const auto save = [&](const QString& typed) {
        TModalCatcher catcher;
        catcher.Handle = [&](QWidget& window) {
            auto* dialog = qobject_cast<TfrmSegmentsSave*>(&window);
            offered = dialog ? dialog->edtFileName->text() : QString();
            return !typed.isEmpty() && TSegmentsAnswer{typed}(window);
        };
        Form.miSaveSegments->trigger();
        return catcher.Seen.size();
    };
    EXPECT_EQ(save("bare"), 1u);
    EXPECT_EQ(offered.toStdString(), Dir.File("clip-cut.avi"));
    // Taken in the source's folder, not in the working folder, and said where.
    EXPECT_EQ(VideoPackets(Dir.File("bare.avi")), "10");
    EXPECT_FALSE(std::filesystem::exists("bare.avi"));
    EXPECT_EQ(Form.statusBar()->currentMessage().toStdString(), "Saved to " + Dir.File("bare.avi"));
    std::ofstream(Dir.File("clip-cut.avi")) << "taken";
    save("");
    EXPECT_EQ(offered.toStdString(), Dir.File("clip-cut-2.avi"));
}

TEST_F(MainFormSegmentsTest, CutOutSavesTheRestAndPlaySegmentsSkipsWhatIsCut) {
    Mark(10, 20);
    Form.acnAddSegment->trigger();
    Mark(30, 40);
    Form.acnAddSegment->trigger();
    Form.miCutOut->trigger();
    using TRanges = std::vector<std::pair<int64_t, int64_t>>;
    EXPECT_EQ(Form.FTrackLine->KeptRanges(), (TRanges{{0, 10 * FrameTime},
                                                      {20 * FrameTime, 30 * FrameTime},
                                                      {40 * FrameTime, 50 * FrameTime}}));
    {
        TModalCatcher catcher;
        // Uncompressed, so that the pictures compare exactly.
        catcher.Handle =
            TSegmentsAnswer{QString::fromStdString(Dir.File("rest.avi")), false, false};
        Form.miSaveSegments->trigger();
        EXPECT_EQ(catcher.Seen.size(), 1u);
    }
    EXPECT_EQ(VideoPackets(Dir.File("rest.avi")), "30");
    EXPECT_EQ(FfmpegFrameBgr24(Dir.File("rest.avi"), 10), FfmpegFrameBgr24(Source, 20));

    // Played: frames 0-9, 20-29 and 40-49; passing a kept range's end goes on at the next.
    Form.acnPlaySegments->trigger();
    EXPECT_TRUE(Form.FViewer->Playing);
    // The clock runs meanwhile: a position is checked by the range it lies in.
    const auto frame = [&] { return Form.FViewer->TimeToFrame(Form.FViewer->Position()); };
    EXPECT_LT(frame(), 10);
    Form.FViewer->SetPosition(12 * FrameTime);
    EXPECT_GE(frame(), 20);
    EXPECT_LT(frame(), 30);
    Form.FViewer->SetPosition(50 * FrameTime);
    EXPECT_FALSE(Form.FViewer->Playing);

    Form.acnUndo->trigger(); // Cut Out is a step of its own
    EXPECT_FALSE(Form.miCutOut->isChecked());
    EXPECT_EQ(Form.FTrackLine->KeptRanges(),
              (TRanges{{10 * FrameTime, 20 * FrameTime}, {30 * FrameTime, 40 * FrameTime}}));
}

TEST_F(MainFormSegmentsTest, RecentFilesKeepTheLastEightAndDropTheGoneOnes) {
    std::vector<std::string> copies;
    for (int i = 0; i < 9; ++i) {
        copies.push_back(Dir.File("copy" + std::to_string(i) + ".avi"));
        std::filesystem::copy_file(Source, copies.back());
        Form.OpenFile(QString::fromStdString(copies.back()));
    }
    QStringList files = Form.RecentFiles();
    ASSERT_EQ(files.size(), 8);
    EXPECT_EQ(files.front().toStdString(), copies[8]);
    EXPECT_EQ(files.back().toStdString(), copies[1]);
    EXPECT_EQ(Form.miRecentFiles->actions().size(), 8);
    // A file opened again comes first, once.
    Form.miRecentFiles->actions().at(7)->trigger();
    EXPECT_EQ(Form.FViewer->FileName(), copies[1]);
    EXPECT_EQ(Form.RecentFiles().front().toStdString(), copies[1]);
    EXPECT_EQ(Form.RecentFiles().size(), 8);

    std::filesystem::remove(copies[8]);
    TModalCatcher catcher;
    Form.miRecentFiles->actions().at(1)->trigger();
    ASSERT_EQ(catcher.Seen.size(), 1u);
    EXPECT_NE(catcher.Seen[0].Text.indexOf("no longer exists"), -1);
    EXPECT_EQ(Form.FViewer->FileName(), copies[1]);
    EXPECT_FALSE(Form.RecentFiles().contains(QString::fromStdString(copies[8])));
    EXPECT_EQ(Form.miRecentFiles->actions().size(), 7);
}

TEST_F(MainFormSegmentsTest, DraggingAnEdgeOfTheSelectedSegmentIsOneUndoableEdit) {
    Form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
    TTrackLine& line = *Form.FTrackLine;
    Mark(10, 20);
    Form.acnAddSegment->trigger();
    QCoreApplication::processEvents(); // the list's dock takes its room
    ASSERT_EQ(line.ActiveRange(), std::pair(10 * FrameTime, 20 * FrameTime));
    const int band = line.TrackRect().bottom() + 6;
    const auto send = [&](QEvent::Type type, int x, Qt::MouseButtons held) {
        const QPointF at(x, band);
        QMouseEvent event(type, at, line.mapToGlobal(at), Qt::LeftButton, held, {});
        QApplication::sendEvent(&line, &event);
    };
    const int64_t position = line.CurPos();
    send(QEvent::MouseButtonPress, line.PosToX(20 * FrameTime) + 2, Qt::LeftButton);
    send(QEvent::MouseMove, line.PosToX(30 * FrameTime), Qt::LeftButton);
    EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{10, 19}})) << "changed once let go";
    send(QEvent::MouseButtonRelease, line.PosToX(30 * FrameTime), Qt::NoButton);
    EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{10, 29}}));
    EXPECT_EQ(line.CurPos(), position) << "a dragged edge leaves the position";
    EXPECT_EQ(line.ActiveRange(), std::pair(10 * FrameTime, 30 * FrameTime));
    Form.acnUndo->trigger();
    EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{10, 19}}));
    // Away from the edges a press moves the position as before.
    send(QEvent::MouseButtonPress, line.PosToX(15 * FrameTime), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, line.PosToX(15 * FrameTime), Qt::NoButton);
    EXPECT_NEAR(double(line.CurPos()), 15.0 * FrameTime, FrameTime);
    EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{10, 19}}));
}

// An MPlayer EDL beside the video is offered on opening and its removals become the kept
// segments, as one step to undo; an offset moves them; saved as cutlist.at and VDR marks they read
// back as the same frames; a list with a line that cannot be read is refused naming the line.
TEST_F(MainFormSegmentsTest, ListsOfOtherProgramsLoadOffsetAndSave) {
    // Removes 0.4 s up to 1.0 s: frames 10 to 24 of the 50.
    std::ofstream(Dir.File("clip.edl")) << "0.4 1.0 0\n";
    {
        TModalCatcher catcher(QMessageBox::Yes);
        Form.OpenFile(QString::fromStdString(Source));
        ASSERT_EQ(catcher.Seen.size(), 1u);
        EXPECT_NE(catcher.Seen[0].Text.indexOf("clip.edl"), -1);
    }
    const std::vector<TKeepRange> kept{{0, 9}, {25, 49}};
    EXPECT_EQ(Ranges(), kept);
    EXPECT_NEAR(Form.Segments()[1].Start, 1.0, 1e-9);
    Form.acnUndo->trigger();
    EXPECT_TRUE(Form.Segments().empty());
    Form.acnRedo->trigger();
    ASSERT_TRUE(Form.miOffsetList->isEnabled());
    {
        TModalCatcher catcher;
        catcher.Handle = [](QWidget& window) {
            auto* dialog = qobject_cast<QInputDialog*>(&window);
            if (!dialog)
                return false;
            dialog->setIntValue(2);
            QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
            return true;
        };
        Form.miOffsetList->trigger();
    }
    const std::vector<TKeepRange> moved{{0, 11}, {27, 49}};
    EXPECT_EQ(Ranges(), moved);

    for (const char* name : {"again.cutlist", "marks"}) {
        TModalCatcher none; // the list names this file: nothing to ask
        ASSERT_TRUE(Form.SaveSegmentList(QString::fromStdString(Dir.File(name))));
        Form.acnUndo->trigger();
        Form.LoadSegmentList(QString::fromStdString(Dir.File(name)));
        EXPECT_EQ(Ranges(), moved) << name;
        EXPECT_TRUE(none.Seen.empty()) << name;
    }
    // The filter chosen in the dialog is the format, and gives a bare name its extension.
    DriveFileDialog(
        [&](QFileDialog& d) {
            d.selectNameFilter("MPlayer EDL (*.edl)");
            TypeAndAccept(d, QString::fromStdString(Dir.File("picked")));
        },
        [&] { Form.miSaveSegmentList->trigger(); });
    std::ifstream picked(Dir.File("picked.edl"));
    std::stringstream text;
    text << picked.rdbuf();
    EXPECT_EQ(DetectListFormat(text.str(), ""), TListFormat::MPlayerEdl);
    Form.acnUndo->trigger();
    Form.LoadSegmentList(QString::fromStdString(Dir.File("picked.edl")));
    EXPECT_EQ(Ranges(), moved);

    std::ofstream(Dir.File("bad.edl")) << "0.4 1.0 0\nnonsense here\n";
    TModalCatcher refused;
    Form.LoadSegmentList(QString::fromStdString(Dir.File("bad.edl")));
    ASSERT_EQ(refused.Seen.size(), 1u);
    EXPECT_NE(refused.Seen[0].Text.indexOf("Line 2: nonsense here"), -1);
    EXPECT_EQ(Ranges(), moved);
}

// A cutlist.at list made for another file is asked about before it is loaded; a range past the
// end is cut there, and the message says so.
TEST_F(MainFormSegmentsTest, CutlistForAnotherFileIsAskedAbout) {
    std::ofstream(Dir.File("otr.cutlist"))
        << "[General]\nApplyToFile=other.avi\nOriginalFileSizeBytes=12\nFramesPerSecond=25\n"
           "NoOfCuts=1\n[Cut0]\nStartFrame=40\nDurationFrames=30\n";
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        TModalCatcher catcher(answer);
        Form.LoadSegmentList(QString::fromStdString(Dir.File("otr.cutlist")));
        ASSERT_EQ(catcher.Seen.size(), answer == QMessageBox::Yes ? 2u : 1u);
        EXPECT_NE(catcher.Seen[0].Text.indexOf("other.avi"), -1);
        if (answer == QMessageBox::No)
            EXPECT_TRUE(Form.Segments().empty());
        else
            EXPECT_NE(catcher.Seen[1].Text.indexOf("1 range of the list ran past the end"), -1);
    }
    EXPECT_EQ(Ranges(), (std::vector<TKeepRange>{{40, 49}}));
}
